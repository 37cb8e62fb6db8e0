#include "platform/service/os_error.h"

std::string SysErrorMessage(DWORD errorCode)
{
  char* buffer = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, errorCode, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text;
  if (length != 0 && buffer != nullptr)
    text.assign(buffer, length);
  if (buffer != nullptr)
    LocalFree(buffer);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  if (text.empty())
    text = "Error " + std::to_string(errorCode);
  return text;
}

void RaiseLastOSError()
{
  const DWORD code = GetLastError();
  throw EOSError(SysErrorMessage(code), code);
}
