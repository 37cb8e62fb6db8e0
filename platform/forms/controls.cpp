#include "platform/forms/controls.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

#include <commctrl.h>

#include "platform/application.h"
#include "platform/critical_section.h"
#include "platform/window_class.h"

namespace {

const char* const PlainClassName = "KorvalindWindow";

// Leads from each window of this layer to its control. Every message to a
// control looks it up, so the table lives in the process: a window property
// costs a round trip to the Wine server per look-up. A window is entered once
// it is subclassed and leaves with its last message (WM_NCDESTROY), or with
// its control should that message not have come through; the lock lets a
// thread that owns windows of its own look up and change the table safely.
class TControlTable {
public:
  void Enter(HWND window, TWinControl* control)
  {
    std::lock_guard<TCriticalSection> hold(lock_);
    controls_[window] = control;
  }

  // Only while the entry is still the control's: a reused handle may belong
  // to another control by now.
  void Leave(HWND window, const TWinControl* control)
  {
    std::lock_guard<TCriticalSection> hold(lock_);
    const auto found = controls_.find(window);
    if (found != controls_.end() && found->second == control)
      controls_.erase(found);
  }

  TWinControl* Find(HWND window)
  {
    std::lock_guard<TCriticalSection> hold(lock_);
    const auto found = controls_.find(window);
    return found != controls_.end() ? found->second : nullptr;
  }

private:
  TCriticalSection lock_;
  std::unordered_map<HWND, TWinControl*> controls_;
};

// Never destroyed: controls of objects with static lifetime may go after
// the program's own statics have.
TControlTable& ControlTable()
{
  static auto* table = new TControlTable;
  return *table;
}

LPCSTR SystemCursor(TCursor cursor)
{
  switch (cursor) {
  case crArrow: return reinterpret_cast<LPCSTR>(IDC_ARROW);
  case crIBeam: return reinterpret_cast<LPCSTR>(IDC_IBEAM);
  case crHourGlass: return reinterpret_cast<LPCSTR>(IDC_WAIT);
  case crHandPoint: return reinterpret_cast<LPCSTR>(IDC_HAND);
  case crDefault: break;
  }
  return nullptr;
}

}  // namespace

const char* PlainWindowClass()
{
  static bool registered = false;
  if (!registered) {
    WNDCLASSA windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = PlainClassName;
    registered = EnsureWindowClass(windowClass);
  }
  return PlainClassName;
}

void InitCommonControlsOnce()
{
  static const bool done = [] {
    INITCOMMONCONTROLSEX init{};
    init.dwSize = sizeof(init);
    init.dwICC = ICC_TAB_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
    return InitCommonControlsEx(&init) != FALSE;
  }();
  (void)done;
}

TControl::TControl(TComponent* owner) : TComponent(owner)
{
  Font.OnChange = [this] {
    if (!inheritingFont_)
      parentFont_ = false;
    FontChanged();
  };
}

TControl::~TControl()
{
  Font.OnChange = nullptr;
  if (parent_ != nullptr)
    parent_->RemoveControl(this);
  parent_ = nullptr;
}

void TControl::SetParent(TWinControl* parent)
{
  if (parent == parent_)
    return;
  for (TWinControl* p = parent; p != nullptr; p = p->Parent())
    if (p == this)
      throw std::invalid_argument("a control cannot be its own parent");
  if (parent_ != nullptr)
    parent_->RemoveControl(this);
  parent_ = parent;
  if (parent_ != nullptr) {
    parent_->InsertControl(this);
    if (parentFont_)
      InheritFont(parent_->Font);
    if (parentColor_)
      InheritColor(parent_->Color());
  }
  ParentChanged();
}

void TControl::SetBounds(int left, int top, int width, int height)
{
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (left == left_ && top == top_ && width == width_ && height == height_)
    return;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  BoundsChanged();
}

void TControl::SetAlign(TAlign value)
{
  if (value == align_)
    return;
  align_ = value;
  if (parent_ != nullptr)
    parent_->AlignControls();
}

void TControl::SetVisible(bool value)
{
  if (value == visible_)
    return;
  visible_ = value;
  VisibleChanged();
}

bool TControl::Showing() const
{
  return visible_ && parent_ != nullptr && parent_->Showing();
}

void TControl::SetEnabled(bool value)
{
  if (value == enabled_)
    return;
  enabled_ = value;
  EnabledChanged();
}

void TControl::SetText(const std::string& value)
{
  if (value == GetText())
    return;
  text_ = value;
  TextChanged();
}

void TControl::SetParentFont(bool value)
{
  parentFont_ = value;
  if (value && parent_ != nullptr)
    InheritFont(parent_->Font);
}

void TControl::SetColor(TColor value)
{
  parentColor_ = false;
  if (value == color_)
    return;
  color_ = value;
  ColorChanged();
}

void TControl::SetParentColor(bool value)
{
  parentColor_ = value;
  if (value && parent_ != nullptr)
    InheritColor(parent_->Color());
}

void TControl::InheritFont(const TFont& font)
{
  inheritingFont_ = true;
  try {
    Font.Assign(font);
  } catch (...) {
    inheritingFont_ = false;
    throw;
  }
  inheritingFont_ = false;
}

void TControl::InheritColor(TColor color)
{
  if (color == color_)
    return;
  color_ = color;
  ColorChanged();
}

void TControl::Click()
{
  if (OnClick)
    OnClick(this);
}

void TControl::MouseEntered()
{
  if (mouseInside_)
    return;
  mouseInside_ = true;
  if (OnMouseEnter)
    OnMouseEnter(this);
}

void TControl::MouseLeft()
{
  if (!mouseInside_)
    return;
  mouseInside_ = false;
  if (OnMouseLeave)
    OnMouseLeave(this);
}

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {}

TWinControl::~TWinControl()
{
  // Children outlive their parent only as loose controls without a window.
  for (TControl* control : controls_)
    control->parent_ = nullptr;
  controls_.clear();
  if (handle_ != nullptr) {
    HWND window = handle_;
    DestroyWindow(window);
    ControlTable().Leave(window, this);
    handle_ = nullptr;
  }
  if (brush_ != nullptr)
    DeleteObject(brush_);
}

HWND TWinControl::Handle()
{
  if (handle_ == nullptr)
    CreateHandle();
  return handle_;
}

TWinControl* TWinControl::FromHandle(HWND window)
{
  if (window == nullptr)
    return nullptr;
  return ControlTable().Find(window);
}

void TWinControl::CreateHandle()
{
  if (handle_ != nullptr || creating_)
    return;
  HWND parentWindow = nullptr;
  if (Parent() != nullptr) {
    parentWindow = Parent()->Handle();
    // Making the parent's window makes its children's, this one's too.
    if (handle_ != nullptr)
      return;
  }
  creating_ = true;
  TCreateParams params;
  CreateParams(params);
  DWORD style = params.Style;
  if (parentWindow != nullptr) {
    style |= WS_CHILD;
    params.ParentWindow = parentWindow;
    if (WindowVisible())
      style |= WS_VISIBLE;
  }
  if (!Enabled())
    style |= WS_DISABLED;
  if (tabStop_)
    style |= WS_TABSTOP;
  static int nextChildId = 100;
  HMENU menuOrId = nullptr;
  if ((style & WS_CHILD) != 0)
    menuOrId = reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextChildId++ & 0x7FFF));
  plainWindow_ = params.ClassName == PlainWindowClass();
  HWND window = CreateWindowExA(params.ExStyle, params.ClassName.c_str(), text_.c_str(), style, Left(), Top(), Width(),
                                WindowHeight(), params.ParentWindow, menuOrId, GetModuleHandleA(nullptr), nullptr);
  if (window == nullptr) {
    creating_ = false;
    throw std::runtime_error("cannot create the window of " + (Name().empty() ? params.ClassName : Name()));
  }
  handle_ = window;
  ControlTable().Enter(window, this);
  defaultProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TWinControl::SubclassProc)));
  creating_ = false;
  ApplyFont();
  CreateWnd();
  CreateChildHandles();
  AlignControls();
  UpdateShowing();
}

void TWinControl::CreateChildHandles()
{
  const std::vector<TControl*> children = controls_;
  for (TControl* control : children)
    if (auto* child = dynamic_cast<TWinControl*>(control); child != nullptr && child->handle_ == nullptr)
      child->CreateHandle();
}

void TWinControl::DestroyHandle()
{
  if (handle_ == nullptr)
    return;
  for (TControl* control : controls_)
    if (auto* child = dynamic_cast<TWinControl*>(control); child != nullptr)
      child->DestroyHandle();
  DestroyWnd();
  HWND window = handle_;
  DestroyWindow(window);
  ControlTable().Leave(window, this);
  handle_ = nullptr;
  UpdateShowing();
}

void TWinControl::RecreateWnd()
{
  if (handle_ == nullptr)
    return;
  DestroyHandle();
  CreateHandle();
}

LRESULT CALLBACK TWinControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  TWinControl* control = FromHandle(window);
  if (control == nullptr)
    return DefWindowProcA(window, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    WNDPROC original = control->defaultProc_;
    ControlTable().Leave(window, control);
    control->handle_ = nullptr;
    control->defaultProc_ = nullptr;
    return original != nullptr ? CallWindowProcA(original, window, message, wParam, lParam)
                               : DefWindowProcA(window, message, wParam, lParam);
  }
  try {
    return control->WndProc(message, wParam, lParam);
  } catch (...) {
    ReportCurrentException(control);
    return 0;
  }
}

LRESULT TWinControl::DefaultHandler(UINT message, WPARAM wParam, LPARAM lParam)
{
  if (defaultProc_ != nullptr)
    return CallWindowProcA(defaultProc_, handle_, message, wParam, lParam);
  return DefWindowProcA(handle_, message, wParam, lParam);
}

HBRUSH TWinControl::ColorBrush()
{
  const COLORREF rgb = ColorToRGB(Color());
  if (brush_ == nullptr || brushColor_ != rgb) {
    if (brush_ != nullptr)
      DeleteObject(brush_);
    brush_ = CreateSolidBrush(rgb);
    brushColor_ = rgb;
  }
  return brush_;
}

HBRUSH TWinControl::CtlColor(HDC dc)
{
  SetTextColor(dc, ColorToRGB(Font.Color()));
  SetBkColor(dc, ColorToRGB(Color()));
  return ColorBrush();
}

bool TWinControl::CommandNotify(WORD)
{
  return false;
}

bool TWinControl::NotifyNotify(NMHDR&, LRESULT&)
{
  return false;
}

LRESULT TWinControl::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  switch (message) {
  case WM_COMMAND:
    if (lParam != 0) {
      if (TWinControl* child = FromHandle(reinterpret_cast<HWND>(lParam)); child != nullptr && child != this)
        if (child->CommandNotify(HIWORD(wParam)))
          return 0;
    }
    break;
  case WM_NOTIFY:
    if (auto* header = reinterpret_cast<NMHDR*>(lParam); header != nullptr) {
      if (TWinControl* child = FromHandle(header->hwndFrom); child != nullptr && child != this) {
        LRESULT result = 0;
        if (child->NotifyNotify(*header, result))
          return result;
      }
    }
    break;
  case WM_CTLCOLORSTATIC:
  case WM_CTLCOLOREDIT:
  case WM_CTLCOLORBTN:
  case WM_CTLCOLORLISTBOX:
    if (TWinControl* child = FromHandle(reinterpret_cast<HWND>(lParam)); child != nullptr && child != this)
      if (HBRUSH brush = child->CtlColor(reinterpret_cast<HDC>(wParam)); brush != nullptr)
        return reinterpret_cast<LRESULT>(brush);
    break;
  case WM_ERASEBKGND:
    if (plainWindow_) {
      RECT client;
      GetClientRect(handle_, &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, ColorBrush());
      return 1;
    }
    break;
  case WM_SETCURSOR:
    if (reinterpret_cast<HWND>(wParam) == handle_ && LOWORD(lParam) == HTCLIENT) {
      if (LPCSTR cursor = SystemCursor(Cursor()); cursor != nullptr) {
        ::SetCursor(LoadCursorA(nullptr, cursor));
        return TRUE;
      }
    }
    break;
  case WM_MOUSEMOVE:
    if (!MouseInside()) {
      TRACKMOUSEEVENT track{};
      track.cbSize = sizeof(track);
      track.dwFlags = TME_LEAVE;
      track.hwndTrack = handle_;
      TrackMouseEvent(&track);
      MouseEntered();
    }
    break;
  case WM_MOUSELEAVE: MouseLeft(); break;
  case WM_SIZE: {
    const LRESULT result = DefaultHandler(message, wParam, lParam);
    AlignControls();
    return result;
  }
  default: break;
  }
  return DefaultHandler(message, wParam, lParam);
}

int TWinControl::ClientWidth() const
{
  if (handle_ != nullptr) {
    RECT client;
    GetClientRect(handle_, &client);
    return client.right - client.left;
  }
  return Width();
}

int TWinControl::ClientHeight() const
{
  if (handle_ != nullptr) {
    RECT client;
    GetClientRect(handle_, &client);
    return client.bottom - client.top;
  }
  return Height();
}

void TWinControl::SetTabStop(bool value)
{
  tabStop_ = value;
  if (handle_ != nullptr) {
    LONG_PTR style = GetWindowLongPtrA(handle_, GWL_STYLE);
    style = value ? (style | WS_TABSTOP) : (style & ~static_cast<LONG_PTR>(WS_TABSTOP));
    SetWindowLongPtrA(handle_, GWL_STYLE, style);
  }
}

void TWinControl::SetFocus()
{
  ::SetFocus(Handle());
}

bool TWinControl::Showing() const
{
  return TControl::Showing();
}

void TWinControl::UpdateShowing()
{
  const bool now = handle_ != nullptr && Showing();
  if (now != showing_) {
    showing_ = now;
    ShowingChanged();
  }
  const std::vector<TControl*> children = controls_;
  for (TControl* control : children)
    if (auto* child = dynamic_cast<TWinControl*>(control); child != nullptr)
      child->UpdateShowing();
}

RECT TWinControl::AlignRect() const
{
  return RECT{0, 0, ClientWidth(), ClientHeight()};
}

void TWinControl::AlignControls()
{
  if (aligning_)
    return;
  aligning_ = true;
  RECT area = AlignRect();
  auto place = [&](TAlign which) {
    for (TControl* control : controls_) {
      if (control->Align() != which || !control->Visible())
        continue;
      const int width = control->Width();
      const int height = control->Height();
      switch (which) {
      case alTop:
        control->SetBounds(area.left, area.top, area.right - area.left, height);
        area.top += height;
        break;
      case alBottom:
        control->SetBounds(area.left, area.bottom - height, area.right - area.left, height);
        area.bottom -= height;
        break;
      case alLeft:
        control->SetBounds(area.left, area.top, width, area.bottom - area.top);
        area.left += width;
        break;
      case alRight:
        control->SetBounds(area.right - width, area.top, width, area.bottom - area.top);
        area.right -= width;
        break;
      case alClient: control->SetBounds(area.left, area.top, area.right - area.left, area.bottom - area.top); break;
      case alNone: break;
      }
    }
  };
  try {
    place(alTop);
    place(alBottom);
    place(alLeft);
    place(alRight);
    place(alClient);
  } catch (...) {
    aligning_ = false;
    throw;
  }
  aligning_ = false;
}

void TWinControl::InsertControl(TControl* control)
{
  controls_.push_back(control);
}

void TWinControl::RemoveControl(TControl* control)
{
  auto it = std::find(controls_.begin(), controls_.end(), control);
  if (it != controls_.end())
    controls_.erase(it);
  if (control->Align() != alNone)
    AlignControls();
}

void TWinControl::ApplyFont()
{
  if (handle_ != nullptr)
    SendMessageA(handle_, WM_SETFONT, reinterpret_cast<WPARAM>(Font.Handle()), TRUE);
}

void TWinControl::BoundsChanged()
{
  if (handle_ != nullptr)
    SetWindowPos(handle_, nullptr, Left(), Top(), Width(), WindowHeight(), SWP_NOZORDER | SWP_NOACTIVATE);
  if (Parent() != nullptr && Align() != alNone)
    Parent()->AlignControls();
}

void TWinControl::TextChanged()
{
  if (handle_ != nullptr)
    SetWindowTextA(handle_, text_.c_str());
}

void TWinControl::FontChanged()
{
  ApplyFont();
  if (handle_ != nullptr)
    InvalidateRect(handle_, nullptr, TRUE);
  const std::vector<TControl*> children = controls_;
  for (TControl* control : children)
    if (control->ParentFont())
      control->InheritFont(Font);
}

void TWinControl::ColorChanged()
{
  if (handle_ != nullptr)
    InvalidateRect(handle_, nullptr, TRUE);
  const std::vector<TControl*> children = controls_;
  for (TControl* control : children)
    if (control->ParentColor())
      control->InheritColor(Color());
}

void TWinControl::EnabledChanged()
{
  if (handle_ != nullptr)
    EnableWindow(handle_, Enabled());
}

void TWinControl::VisibleChanged()
{
  if (handle_ != nullptr)
    ShowWindow(handle_, WindowVisible() ? SW_SHOWNOACTIVATE : SW_HIDE);
  if (Parent() != nullptr && Align() != alNone)
    Parent()->AlignControls();
  UpdateShowing();
}

void TWinControl::ParentChanged()
{
  if (Parent() == nullptr) {
    DestroyHandle();
    return;
  }
  if (Parent()->HandleAllocated()) {
    if (handle_ != nullptr) {
      ::SetParent(handle_, Parent()->WindowHandle());
      UpdateShowing();
    } else {
      CreateHandle();
    }
  } else if (handle_ != nullptr) {
    DestroyHandle();
  }
  if (Align() != alNone)
    Parent()->AlignControls();
}
