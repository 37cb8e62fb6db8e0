#include "core/program_info.h"

#include <vector>

#include <windows.h>

#include "core/os_version_text.h"
#include "core/program_path.h"
#include "core/random_source.h"
#include "core/settings.h"
#include "platform/version_info.h"

std::string ProductName;
std::string ProductVersion;
std::string FileVersion;

namespace {

std::string programDirForTesting;

std::string ModulePath()
{
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0)
      return {};
    if (length < buffer.size())
      return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
}

// Before any other core code runs, as the random draws of the core expect.
// Started from here, a unit both programs link, rather than beside Randomize:
// the linker leaves out a unit of the library that nothing calls.
const bool randomizedAtStart = (Randomize(), true);

}  // namespace

void SetProgramDirForTesting(const std::string& dir)
{
  programDirForTesting = dir;
}

std::string GetProgramDir()
{
  if (!programDirForTesting.empty())
    return programDirForTesting;
  return ProgramDirOfPath(ModulePath());
}

std::string GetProgramName(bool withExtension)
{
  return ProgramNameOfPath(ModulePath(), withExtension);
}

std::string GetVersionValue(const std::string& key, const std::string& fileName)
{
  const DWORD attributes = fileName.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(fileName.c_str());
  const bool existingFile = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  // The running program by its full path: the same file that a search by its
  // bare name would find first, without depending on the current folder.
  return ReadVersionValue(existingFile ? fileName : ModulePath(), key);
}

std::string GetPlatformName()
{
  const TRunningVersion& version = RunningVersion();
  if (!version.known)
    return {};
  switch (version.platformId) {
  case 0: return "Win32s";
  case 1: return "Windows 95";
  case 2: return "Windows NT";
  default: return {};
  }
}

void BuildIdent()
{
  ProductName = GetVersionValue("ProductName");
  ProductVersion = GetVersionValue("ProductVersion");
  FileVersion = GetVersionValue("FileVersion");
  SessionCode = RandomLetters(3);
  IdentText =
      ProductName + " " + ProductVersion + " (Build:" + FileVersion + ";" + SessionCode + ";" + GetPlatformName() + ")";
}
