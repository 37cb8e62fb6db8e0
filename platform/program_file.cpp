#include "platform/program_file.h"

#include <windows.h>

std::string ProgramFileTitle()
{
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string name(path, length < MAX_PATH ? length : 0);
  const auto slash = name.find_last_of("\\/");
  if (slash != std::string::npos)
    name.erase(0, slash + 1);
  const auto dot = name.find_last_of('.');
  if (dot != std::string::npos)
    name.erase(dot);
  return name;
}
