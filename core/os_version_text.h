#pragma once

#include <cstdint>
#include <string>

// The running system's version as it reports it to this program (Win32
// only); known is false when it could not be read.
struct TRunningVersion {
  bool known = false;
  std::uint32_t platformId = 0, major = 0, minor = 0;
  std::string servicePack;
};
const TRunningVersion& RunningVersion();

// The operating-system text of the update request, such as
// "(5.1) - Windows XP Service Pack 3" (Win32 only).
std::string GetOSVersionText();
// The same from given version data.
std::string FormatOSVersionText(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                                const std::string& servicePack);
