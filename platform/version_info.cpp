#include "platform/version_info.h"

#include <vector>

#include <windows.h>

std::string ReadVersionValue(const std::string& fileName, const std::string& key)
{
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(fileName.c_str(), &handle);
  if (size == 0)
    return {};
  std::vector<char> info(size);
  if (!GetFileVersionInfoA(fileName.c_str(), 0, size, info.data()))
    return {};
  const std::string query = "\\StringFileInfo\\040704E4\\" + key;
  char* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) || value == nullptr)
    return {};
  // The length counts the terminating zero when there is one.
  std::string text(value, length);
  const auto end = text.find('\0');
  return end == std::string::npos ? text : text.substr(0, end);
}
