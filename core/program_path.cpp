#include "core/program_path.h"

std::string ProgramDirOfPath(const std::string& path)
{
  std::string dir(path);
  while (dir.size() > 1 && dir.back() != '\\')
    dir.pop_back();
  if (dir.size() > 1)
    dir.pop_back();
  return dir;
}

std::string ProgramNameOfPath(const std::string& path, bool withExtension)
{
  const std::size_t slash = path.rfind('\\');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  if (!withExtension)
    name.erase(name.size() < 4 ? 0 : name.size() - 4);
  return name;
}
