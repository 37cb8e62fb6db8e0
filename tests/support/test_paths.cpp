#include "tests/support/test_paths.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace {

std::string FromEnvironment(const char* name)
{
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0')
    throw std::runtime_error(std::string(name) + " is not set: run the tests through ctest");
  return value;
}

std::string Join(const std::string& root, const std::string& relative)
{
  return relative.empty() ? root : root + "/" + relative;
}

}  // namespace

std::string HostPath(const std::string& unixPath)
{
#ifdef _WIN32
  std::string path = "Z:" + unixPath;
  for (char& c : path)
    if (c == '/')
      c = '\\';
  return path;
#else
  return unixPath;
#endif
}

std::string SourcePath(const std::string& relative)
{
  return HostPath(Join(FromEnvironment("KORVALIND_SOURCE_DIR"), relative));
}

std::string BinaryPath(const std::string& relative)
{
  return HostPath(Join(FromEnvironment("KORVALIND_BINARY_DIR"), relative));
}

std::string FreshTestDir(const std::string& name)
{
  std::filesystem::path dir(BinaryPath("test-data/" + name));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir.string();
}
