#include "platform/application.h"

#include <cstdio>

#include "platform/exception.h"
#include "platform/program_file.h"
#include "platform/window_class.h"

TApplication* Application = nullptr;

std::atomic<TFormsLayer*> TApplication::formsLayer_{nullptr};

TApplication::TApplication() : TComponent(nullptr), Title(ProgramFileTitle()), mainThreadId_(GetCurrentThreadId())
{
  if (Application == nullptr)
    Application = this;
}

TApplication::~TApplication()
{
  // Forms and data modules go before the global reference does: their
  // destructors may still report through it, and their windows are owned by
  // the application window.
  DestroyComponents();
  MainFormDestroyed();
  hooks_.clear();
  if (handle_ != nullptr) {
    HWND window = handle_;
    handle_ = nullptr;
    SetWindowLongPtrA(window, GWLP_USERDATA, 0);
    DestroyWindow(window);
  }
  if (Application == this)
    Application = nullptr;
}

namespace {

const char* const AppWindowClassName = "KorvalindApplication";

}  // namespace

HWND TApplication::Handle()
{
  if (handle_ != nullptr)
    return handle_;
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = AppWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, "MAINICON");
  if (windowClass.hIcon == nullptr)
    windowClass.hIcon = LoadIconA(nullptr, reinterpret_cast<LPCSTR>(IDI_APPLICATION));
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.lpszClassName = AppWindowClassName;
  // A failure shows as the window that cannot be created below.
  EnsureWindowClass(windowClass);
  // No size, in the middle of the screen: only its taskbar button is seen.
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2;
  const int y = GetSystemMetrics(SM_CYSCREEN) / 2;
  handle_ = CreateWindowExA(0, AppWindowClassName, Title.c_str(),
                            WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU | WS_MINIMIZEBOX, x, y, 0, 0, nullptr,
                            nullptr, instance, nullptr);
  if (handle_ != nullptr)
    SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return handle_;
}

void TApplication::UpdateTitle()
{
  if (handle_ != nullptr)
    SetWindowTextA(handle_, Title.c_str());
}

void TApplication::UseFormsLayer(TFormsLayer& layer)
{
  formsLayer_ = &layer;
}

void TApplication::FormCreated(TComponent* component)
{
  // Without the forms layer no form exists: the component is a data module.
  TFormsLayer* forms = formsLayer_;
  if (forms == nullptr || mainForm_ != nullptr)
    return;
  if (TForm* form = forms->MainFormCandidate(component); form != nullptr) {
    mainForm_ = form;
    mainFormComponent_ = component;
  }
}

void TApplication::MainFormDestroyed()
{
  mainForm_ = nullptr;
  mainFormComponent_ = nullptr;
}

HWND TApplication::ShownMainFormWindow() const
{
  if (mainForm_ == nullptr)
    return nullptr;
  HWND window = formsLayer_.load()->FormWindow(*mainForm_);
  return window != nullptr && IsWindowVisible(window) ? window : nullptr;
}

void TApplication::Notification(TComponent* component, TOperation operation)
{
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == mainFormComponent_)
    MainFormDestroyed();
}

void TApplication::HookMainWindow(const void* id, TWindowHook hook)
{
  auto shared = std::make_shared<TWindowHook>(std::move(hook));
  for (THookEntry& entry : hooks_) {
    if (entry.id == id) {
      entry.hook = shared;
      return;
    }
  }
  hooks_.push_back(THookEntry{id, shared});
}

void TApplication::UnhookMainWindow(const void* id)
{
  for (auto it = hooks_.begin(); it != hooks_.end(); ++it) {
    if (it->id == id) {
      hooks_.erase(it);
      return;
    }
  }
}

bool TApplication::Minimized() const
{
  return handle_ != nullptr && IsIconic(handle_);
}

void TApplication::Minimize()
{
  HWND window = Handle();
  if (window == nullptr || IsIconic(window))
    return;
  SetActiveWindow(window);
  ShowWindow(window, SW_MINIMIZE);
}

void TApplication::Restore()
{
  HWND window = Handle();
  if (window == nullptr)
    return;
  if (IsIconic(window)) {
    SetActiveWindow(window);
    ShowWindow(window, SW_RESTORE);
  }
  if (mainForm_ != nullptr)
    formsLayer_.load()->RestoreMainForm(*mainForm_);
}

LRESULT CALLBACK TApplication::AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  auto* application = reinterpret_cast<TApplication*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (application == nullptr)
    return DefWindowProcA(window, message, wParam, lParam);
  try {
    return application->WndProc(message, wParam, lParam);
  } catch (...) {
    ReportCurrentException(application);
    return 0;
  }
}

LRESULT TApplication::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  MSG msg{};
  msg.hwnd = handle_;
  msg.message = message;
  msg.wParam = wParam;
  msg.lParam = lParam;
  // A copy of the list: a hook may add or remove hooks; each hook is kept
  // alive while it runs.
  const std::vector<THookEntry> hooks = hooks_;
  for (const THookEntry& entry : hooks) {
    if (entry.hook && *entry.hook && (*entry.hook)(msg))
      return 0;
  }
  wParam = msg.wParam;
  lParam = msg.lParam;
  switch (message) {
  case WM_SYSCOMMAND:
    switch (wParam & 0xFFF0) {
    case SC_MINIMIZE: Minimize(); return 0;
    case SC_RESTORE: Restore(); return 0;
    case SC_CLOSE:
      if (mainForm_ != nullptr) {
        formsLayer_.load()->Close(*mainForm_);
        return 0;
      }
      break;
    }
    break;
  case WM_CLOSE:
    if (mainForm_ != nullptr) {
      formsLayer_.load()->Close(*mainForm_);
      return 0;
    }
    break;
  case WM_SETFOCUS:
    // The application window has nothing to type into: the main form takes
    // the focus when it shows.
    if (HWND window = ShownMainFormWindow(); window != nullptr && IsWindowEnabled(window)) {
      SetFocus(window);
      return 0;
    }
    break;
  }
  return DefWindowProcA(handle_, message, wParam, lParam);
}

void TApplication::Run()
{
  if (ShowMainForm && mainForm_ != nullptr && !terminated_) {
    // Showing runs the form's and its pages' OnShow handlers, and no window
    // procedure stands between them and this call.
    try {
      formsLayer_.load()->ShowMainForm(*this, *mainForm_);
    } catch (...) {
      ReportCurrentException(mainFormComponent_);
    }
  }
  while (!terminated_)
    HandleMessage();
}

void TApplication::DispatchTaken(MSG& msg)
{
  if (msg.message == WM_QUIT) {
    terminated_ = true;
    return;
  }
  if (msg.message == WM_KEYDOWN || msg.message == WM_SYSKEYDOWN || msg.message == WM_CHAR) {
    // Enter, Escape and Tab belong to the form the key was typed in.
    if (TFormsLayer* forms = formsLayer_; forms != nullptr && forms->DialogKey(msg))
      return;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
}

void TApplication::ProcessMessages()
{
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    DispatchTaken(msg);
}

void TApplication::HandleMessage()
{
  // One call that waits and takes: under Wine, a look into the empty queue
  // and then WaitMessage cost one more round trip to the server and a yield
  // of the processor, and a 100 ms timer pays that ten times a second.
  MSG msg;
  if (GetMessageA(&msg, nullptr, 0, 0) != -1)
    DispatchTaken(msg);
}

void TApplication::Terminate()
{
  if (GetCurrentThreadId() == mainThreadId_)
    PostQuitMessage(0);
  else
    PostThreadMessageA(mainThreadId_, WM_QUIT, 0, 0);
}

void TApplication::HandleException(TObject* sender, const std::exception& e)
{
  if (OnException) {
    try {
      OnException(sender, e);
      return;
    } catch (...) {
      // a failing handler must not take the message loop down with it
    }
  }
  std::fprintf(stderr, "%s: unhandled exception: %s\n", Title.empty() ? "application" : Title.c_str(), e.what());
}

void TApplication::ShowException(const std::exception& e)
{
  if (showingException_) {
    std::fprintf(stderr, "%s: %s\n", Title.c_str(), e.what());
    return;
  }
  showingException_ = true;
  MessageBoxA(ShownMainFormWindow(), e.what(), Title.c_str(), MB_OK | MB_ICONERROR);
  showingException_ = false;
}

void ReportUnhandledException(TObject* sender, const std::exception& e)
{
  if (Application != nullptr)
    Application->HandleException(sender, e);
  else
    std::fprintf(stderr, "unhandled exception: %s\n", e.what());
}

void ReportCurrentException(TObject* sender)
{
  try {
    throw;
  } catch (const std::exception& e) {
    ReportUnhandledException(sender, e);
  } catch (...) {
    ReportUnhandledException(sender, Exception("Unknown exception"));
  }
}
