#include "platform/forms/form.h"

#include "platform/application.h"
#include "platform/forms/button.h"

namespace {

// Posted to a form whose OnClose chose caFree: it is destroyed once the
// message that closed it has been handled.
constexpr UINT FormReleaseMessage = WM_APP + 0x3F01;

template <class T, class Test>
T* FindControl(TWinControl* parent, const Test& test)
{
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* control = parent->Controls(i);
    if (auto* match = dynamic_cast<T*>(control); match != nullptr && test(*match))
      return match;
    if (auto* container = dynamic_cast<TWinControl*>(control); container != nullptr)
      if (T* found = FindControl<T>(container, test); found != nullptr)
        return found;
  }
  return nullptr;
}

bool Usable(TWinControl& control)
{
  HWND window = control.WindowHandle();
  return window != nullptr && IsWindowVisible(window) && IsWindowEnabled(window);
}

class TApplicationForms final : public TFormsLayer {
public:
  TForm* MainFormCandidate(TComponent* component) override
  {
    auto* form = dynamic_cast<TForm*>(component);
    if (form != nullptr)
      form->Handle();
    return form;
  }

  HWND FormWindow(const TForm& form) override { return form.WindowHandle(); }

  bool DialogKey(const MSG& message) override
  {
    auto* form = dynamic_cast<TForm*>(TWinControl::FromHandle(GetAncestor(message.hwnd, GA_ROOT)));
    if (form == nullptr)
      return false;
    // The key presses a button here, outside any window procedure.
    try {
      return form->DialogKey(message);
    } catch (...) {
      ReportCurrentException(form);
      return true;
    }
  }

  void ShowMainForm(TApplication& application, TForm& form) override
  {
    if (form.WindowState() == wsMinimized)
      application.Minimize();
    else
      form.SetVisible(true);
  }

  void RestoreMainForm(TForm& form) override
  {
    if (form.WindowState() == wsMinimized)
      form.SetWindowState(wsNormal);
  }

  void Close(TForm& form) override { form.Close(); }
};

}  // namespace

TForm::TForm(TComponent* owner) : TWinControl(owner)
{
  static TApplicationForms forms;
  TApplication::UseFormsLayer(forms);
  visible_ = false;
  SetParentFont(false);
  SetParentColor(false);
  SetBounds(0, 0, 320, 240);
}

TForm::~TForm()
{
  if (OnDestroy) {
    try {
      OnDestroy(this);
    } catch (...) {
      // a destructor is no place to fail
    }
  }
  if (Application != nullptr && Application->MainForm() == this)
    Application->MainFormDestroyed();
  // The components go while the window still exists: some of them (a tray
  // icon) put back what they changed on it.
  DestroyComponents();
}

bool TForm::IsMainForm() const
{
  return Application != nullptr && Application->MainForm() == this;
}

void TForm::AfterConstruction()
{
  created_ = true;
  if (!OnCreate)
    return;
  // A failing creation handler is reported like any other handler's failure;
  // the form exists all the same, and the program goes on.
  try {
    OnCreate(this);
  } catch (...) {
    ReportCurrentException(this);
  }
}

void TForm::SetClientWidth(int value)
{
  clientWidth_ = value < 0 ? 0 : value;
  SizeFromClient();
}

void TForm::SetClientHeight(int value)
{
  clientHeight_ = value < 0 ? 0 : value;
  SizeFromClient();
}

void TForm::SetBorderStyle(TFormBorderStyle value)
{
  if (value == borderStyle_)
    return;
  borderStyle_ = value;
  ApplyWindowStyle(true);
  SizeFromClient();
}

void TForm::SetBorderIcons(TBorderIcons value)
{
  if (value == borderIcons_)
    return;
  borderIcons_ = value;
  ApplyWindowStyle(false);
}

void TForm::ApplyWindowStyle(bool exStyleToo)
{
  if (WindowHandle() == nullptr)
    return;
  TCreateParams params;
  CreateParams(params);
  SetWindowLongPtrA(WindowHandle(), GWL_STYLE, static_cast<LONG_PTR>(params.Style | (visible_ ? WS_VISIBLE : 0)));
  if (exStyleToo)
    SetWindowLongPtrA(WindowHandle(), GWL_EXSTYLE, static_cast<LONG_PTR>(params.ExStyle));
  SetWindowPos(WindowHandle(), nullptr, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TForm::CreateParams(TCreateParams& params)
{
  params.ClassName = PlainWindowClass();
  params.Style = WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
  params.ExStyle = WS_EX_CONTROLPARENT;
  switch (borderStyle_) {
  case bsNone: params.Style |= WS_POPUP; break;
  case bsSingle:
  case bsToolWindow: params.Style |= WS_CAPTION | WS_BORDER; break;
  case bsSizeable:
  case bsSizeToolWin: params.Style |= WS_CAPTION | WS_THICKFRAME; break;
  case bsDialog:
    params.Style |= WS_CAPTION | WS_DLGFRAME;
    params.ExStyle |= WS_EX_DLGMODALFRAME;
    break;
  }
  if (borderStyle_ == bsToolWindow || borderStyle_ == bsSizeToolWin)
    params.ExStyle |= WS_EX_TOOLWINDOW;
  if (borderStyle_ != bsNone && borderIcons_.Contains(biSystemMenu)) {
    params.Style |= WS_SYSMENU;
    if (borderStyle_ != bsDialog && borderStyle_ != bsToolWindow && borderStyle_ != bsSizeToolWin) {
      if (borderIcons_.Contains(biMinimize))
        params.Style |= WS_MINIMIZEBOX;
      if (borderIcons_.Contains(biMaximize))
        params.Style |= WS_MAXIMIZEBOX;
    }
  }
  if (formStyle_ == fsStayOnTop)
    params.ExStyle |= WS_EX_TOPMOST;
  // Owned by the application window, which carries the taskbar button.
  params.ParentWindow = Application != nullptr ? Application->Handle() : nullptr;
}

void TForm::CreateWnd()
{
  HINSTANCE instance = GetModuleHandleA(nullptr);
  HICON icon = LoadIconA(instance, "MAINICON");
  if (icon == nullptr)
    icon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  SendMessageA(WindowHandle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
  SendMessageA(WindowHandle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  SizeFromClient();
}

void TForm::SizeFromClient()
{
  if (clientWidth_ <= 0 && clientHeight_ <= 0)
    return;
  TCreateParams params;
  CreateParams(params);
  RECT frame{0, 0, clientWidth_, clientHeight_};
  AdjustWindowRectEx(&frame, params.Style, FALSE, params.ExStyle);
  TControl::SetBounds(Left(), Top(), frame.right - frame.left, frame.bottom - frame.top);
}

void TForm::SetBounds(int left, int top, int width, int height)
{
  TControl::SetBounds(left, top, width, height);
}

RECT TForm::AlignRect() const
{
  if (WindowHandle() != nullptr) {
    RECT client;
    GetClientRect(WindowHandle(), &client);
    return client;
  }
  return RECT{0, 0, clientWidth_, clientHeight_};
}

void TForm::PlaceWindow()
{
  if (placed_)
    return;
  placed_ = true;
  if (position_ == poScreenCenter) {
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
    TControl::SetBounds((screenWidth - Width()) / 2, (screenHeight - Height()) / 2, Width(), Height());
  }
}

TWindowState TForm::WindowState() const
{
  HWND window = WindowHandle();
  if (window != nullptr && visible_) {
    if (IsIconic(window))
      return wsMinimized;
    if (IsZoomed(window))
      return wsMaximized;
    return wsNormal;
  }
  return windowState_;
}

void TForm::SetWindowState(TWindowState value)
{
  windowState_ = value;
  HWND window = WindowHandle();
  if (window == nullptr || !visible_)
    return;
  switch (value) {
  case wsNormal:
    if (IsIconic(window) || IsZoomed(window))
      ShowWindow(window, SW_RESTORE);
    break;
  case wsMinimized:
    if (IsMainForm())
      Application->Minimize();
    else
      ShowWindow(window, SW_MINIMIZE);
    break;
  case wsMaximized: ShowWindow(window, SW_MAXIMIZE); break;
  }
}

bool TForm::Showing() const
{
  return visible_ && WindowHandle() != nullptr;
}

void TForm::SetVisible(bool value)
{
  if (value == visible_ && (!value || (WindowHandle() != nullptr && IsWindowVisible(WindowHandle())))) {
    return;
  }
  visible_ = value;
  if (value) {
    HWND window = Handle();
    PlaceWindow();
    if (IsMainForm()) {
      HWND application = Application->Handle();
      if (application != nullptr && !IsWindowVisible(application))
        ShowWindow(application, SW_SHOWNOACTIVATE);
    }
    int command = SW_SHOWNORMAL;
    if (windowState_ == wsMaximized)
      command = SW_SHOWMAXIMIZED;
    else if (windowState_ == wsMinimized && !IsMainForm())
      command = SW_SHOWMINIMIZED;
    ShowWindow(window, command);
    windowState_ = wsNormal == windowState_ || command != SW_SHOWNORMAL ? windowState_ : wsNormal;
  } else if (WindowHandle() != nullptr) {
    ShowWindow(WindowHandle(), SW_HIDE);
  }
  UpdateShowing();
}

void TForm::ShowingChanged()
{
  if (Showing()) {
    if (OnShow)
      OnShow(this);
  } else if (OnHide) {
    OnHide(this);
  }
}

void TForm::TextChanged()
{
  TWinControl::TextChanged();
}

void TForm::Close()
{
  TCloseAction action = caHide;
  if (OnClose)
    OnClose(this, action);
  if (action == caNone)
    return;
  if (IsMainForm()) {
    Application->Terminate();
    return;
  }
  switch (action) {
  case caHide: SetVisible(false); break;
  case caMinimize: SetWindowState(wsMinimized); break;
  case caFree:
    SetVisible(false);
    PostMessageA(Handle(), FormReleaseMessage, 0, 0);
    break;
  case caNone: break;
  }
}

bool TForm::DialogKey(const MSG& message)
{
  if (message.message != WM_KEYDOWN || WindowHandle() == nullptr)
    return false;
  HWND focus = GetFocus();
  switch (message.wParam) {
  case VK_RETURN: {
    // An open drop-down list takes Enter for itself.
    for (HWND window = focus; window != nullptr && window != WindowHandle(); window = GetParent(window)) {
      char className[16] = {};
      GetClassNameA(window, className, sizeof(className));
      if (lstrcmpiA(className, "COMBOBOX") == 0 && SendMessageA(window, CB_GETDROPPEDSTATE, 0, 0) != 0)
        return false;
    }
    if (auto* focused = dynamic_cast<TButton*>(FromHandle(focus)); focused != nullptr && Usable(*focused)) {
      focused->Click();
      return true;
    }
    if (TButton* button = FindControl<TButton>(this, [](TButton& b) { return b.Default() && Usable(b); })) {
      button->Click();
      return true;
    }
    return false;
  }
  case VK_ESCAPE:
    if (TButton* button = FindControl<TButton>(this, [](TButton& b) { return b.Cancel() && Usable(b); })) {
      button->Click();
      return true;
    }
    return false;
  case VK_TAB: {
    const bool backwards = (GetKeyState(VK_SHIFT) & 0x8000) != 0;
    HWND next = GetNextDlgTabItem(WindowHandle(), focus, backwards ? TRUE : FALSE);
    if (next != nullptr)
      ::SetFocus(next);
    return true;
  }
  default: return false;
  }
}

LRESULT TForm::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  switch (message) {
  case WM_CLOSE: Close(); return 0;
  case WM_SYSCOMMAND:
    // The main form is minimised through the application window, whose
    // WM_SIZE then tells the application's hooks.
    if ((wParam & 0xFFF0) == SC_MINIMIZE && IsMainForm()) {
      Application->Minimize();
      return 0;
    }
    break;
  case WM_WINDOWPOSCHANGED: {
    const LRESULT result = DefaultHandler(message, wParam, lParam);
    HWND window = WindowHandle();
    if (window != nullptr && !IsIconic(window)) {
      RECT frame;
      GetWindowRect(window, &frame);
      left_ = frame.left;
      top_ = frame.top;
      width_ = frame.right - frame.left;
      height_ = frame.bottom - frame.top;
      RECT client;
      GetClientRect(window, &client);
      clientWidth_ = client.right;
      clientHeight_ = client.bottom;
    }
    return result;
  }
  default:
    if (message == FormReleaseMessage) {
      delete this;
      return 0;
    }
    break;
  }
  return TWinControl::WndProc(message, wParam, lParam);
}
