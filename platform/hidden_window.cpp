#include "platform/hidden_window.h"

#include "platform/application.h"
#include "platform/exception.h"
#include "platform/window_class.h"

namespace {

const char* const kClassName = "TKorvalindHiddenWindow";

void RegisterHiddenWindowClass()
{
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;  // replaced per window once its object is attached
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClassName;
    RequireWindowClass(wc, "hidden");
    return true;
  }();
  (void)registered;
}

}  // namespace

THiddenWindow::THiddenWindow(THandler handler) : handler_(std::move(handler)), threadId_(GetCurrentThreadId())
{
  RegisterHiddenWindowClass();
  handle_ = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  if (handle_ == nullptr)
    throw Exception("Cannot create a hidden window (error " + std::to_string(GetLastError()) + ")");
  SetWindowLongPtrA(handle_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrA(handle_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&THiddenWindow::WindowProc));
}

THiddenWindow::~THiddenWindow()
{
  if (handle_ != nullptr) {
    SetWindowLongPtrA(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
  }
}

LRESULT CALLBACK THiddenWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  auto* self = reinterpret_cast<THiddenWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self != nullptr && self->handler_) {
    // Nothing may unwind through the system's frames: route it to the application.
    try {
      LRESULT result = 0;
      if (self->handler_(message, wParam, lParam, result))
        return result;
    } catch (...) {
      ReportCurrentException(nullptr);
      return 0;
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
