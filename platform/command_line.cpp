#include "platform/command_line.h"

#include <cstdlib>

#include "platform/ascii_text.h"

std::vector<std::string> ParamList()
{
  std::vector<std::string> params;
  for (int i = 1; i < __argc && __argv != nullptr; ++i)
    params.emplace_back(__argv[i] != nullptr ? __argv[i] : "");
  return params;
}

bool FindCmdLineSwitch(const std::vector<std::string>& params, const std::string& name)
{
  for (const std::string& param : params)
    if (param.size() > 1 && (param[0] == '-' || param[0] == '/') && SameTextAscii(param.substr(1), name))
      return true;
  return false;
}
