#include "core/os_version_text.h"

#include "core/integer_text.h"

namespace {

struct TVersionName {
  std::uint32_t platformId, major, minor;
  const char* name;
};

const TVersionName VersionNames[] = {
    {1, 4, 0, " - Windows 95"},
    {1, 4, 10, " - Windows 98"},
    {1, 4, 90, " - Windows Me"},
    {2, 3, 51, " - Windows NT 3.51"},
    {2, 4, 0, " - Windows NT 4"},
    {2, 5, 0, " - Windows 2000"},
    {2, 5, 1, " - Windows XP"},
    {2, 5, 2, " - Windows .NET Server"},
    {2, 6, 0, " - Windows Vista / Srv 2008"},
    {2, 6, 1, " - Windows 7 / Srv 2008 R2"},
};

}  // namespace

std::string FormatOSVersionText(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                                const std::string& servicePack)
{
  std::string text = "(";
  text += IntToText(static_cast<std::int32_t>(major));
  text += '.';
  text += IntToText(static_cast<std::int32_t>(minor));
  text += ')';
  for (const TVersionName& entry : VersionNames)
    if (entry.platformId == platformId && entry.major == major && entry.minor == minor) {
      text += entry.name;
      break;
    }
  if (!servicePack.empty()) {
    text += ' ';
    text += servicePack;
  }
  return text;
}
