#include "core/os_version_text.h"

#include <windows.h>

// Read once, as the system reports it to this program at start.
const TRunningVersion& RunningVersion()
{
  static const TRunningVersion version = [] {
    TRunningVersion v;
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (GetVersionExA(&info)) {
#pragma GCC diagnostic pop
      v.known = true;
      v.platformId = info.dwPlatformId;
      v.major = info.dwMajorVersion;
      v.minor = info.dwMinorVersion;
      v.servicePack = info.szCSDVersion;
    }
    return v;
  }();
  return version;
}

std::string GetOSVersionText()
{
  const TRunningVersion& v = RunningVersion();
  return FormatOSVersionText(v.platformId, v.major, v.minor, v.servicePack);
}
