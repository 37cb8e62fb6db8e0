#pragma once

#include <windows.h>

// A handle of the service control manager or of one service, closed when it
// goes out of scope, so no error path leaves one open.
class TServiceHandle {
public:
  explicit TServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ~TServiceHandle()
  {
    if (handle_ != nullptr)
      CloseServiceHandle(handle_);
  }
  TServiceHandle(const TServiceHandle&) = delete;
  TServiceHandle& operator=(const TServiceHandle&) = delete;
  SC_HANDLE Get() const { return handle_; }

private:
  SC_HANDLE handle_;
};
