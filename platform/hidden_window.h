#pragma once

#include <functional>

#include <windows.h>

// A window that is never shown, for objects that need window messages (timers,
// cross-thread requests) on the thread that creates them. The window's
// procedure finds its object through the window's user-data slot.
class THiddenWindow {
public:
  // Returns true when it handled the message and set result.
  using THandler = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)>;

  explicit THiddenWindow(THandler handler);
  ~THiddenWindow();

  THiddenWindow(const THiddenWindow&) = delete;
  THiddenWindow& operator=(const THiddenWindow&) = delete;

  HWND Handle() const { return handle_; }
  DWORD ThreadId() const { return threadId_; }
  bool OnOwnerThread() const { return GetCurrentThreadId() == threadId_; }

private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  THandler handler_;
  HWND handle_ = nullptr;
  DWORD threadId_ = 0;
};
