#include "core/program_info.h"

#include <cstdint>
#include <vector>

#include "core/korvalind_c.h"
#include "core/os_version_text.h"
#include "core/program_path.h"
#include "core/random_source.h"
#include "core/settings.h"
#include "platform/ascii_text.h"
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

HWND FindWindowWithTitle(const std::string& text)
{
  const std::string wanted = UpperAscii(text);
  HWND window = FindWindowA(nullptr, nullptr);
  for (int examined = 0; window != nullptr && examined < 1001; ++examined) {
    char title[255];
    const int length = GetWindowTextA(window, title, sizeof title);
    if (length > 0 &&
        UpperAscii(std::string(title, static_cast<std::size_t>(length))).find(wanted) != std::string::npos) {
      char className[256];
      const int classLength = GetClassNameA(window, className, sizeof className);
      if (std::string(className, static_cast<std::size_t>(classLength > 0 ? classLength : 0)) != "THintWindow")
        return window;
    }
    window = GetWindow(window, GW_HWNDNEXT);
  }
  return nullptr;
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

void Randomize()
{
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  const std::uint64_t clock = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  // The counter and the process id tell apart two programs started in the
  // same clock tick (desktop client and service at logon).
  SetRandomState(clock ^ (static_cast<std::uint64_t>(counter.QuadPart) << 17) ^
                 (static_cast<std::uint64_t>(GetCurrentProcessId()) << 48));
}

// A nudged tick comes 2.5 s from now.
constexpr unsigned NudgeInterval = 2500;

void CheckIPNow()
{
  KorvalindC->TimerMyIP->SetInterval(NudgeInterval);
}

void UpdateNow()
{
  KorvalindC->TimerSetIP->SetInterval(NudgeInterval);
}
