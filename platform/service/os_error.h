#pragma once

#include <string>

#include <windows.h>

#include "platform/exception.h"

// A failed system call, with the system's error code.
class EOSError : public Exception {
public:
  EOSError(std::string message, DWORD errorCode) : Exception(std::move(message)), ErrorCode(errorCode) {}

  DWORD ErrorCode;
};

// The system's text for an error code, without the line end it comes with;
// "Error <code>" when the system has no text for it.
std::string SysErrorMessage(DWORD errorCode);

// Throws EOSError for GetLastError().
[[noreturn]] void RaiseLastOSError();
