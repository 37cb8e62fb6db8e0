#include <gtest/gtest.h>

#include <cstdint>

#include "core/os_version_text.h"

namespace {

TEST(FormatOSVersionTextTest, Table)
{
  const struct {
    std::uint32_t platformId, major, minor;
    const char* servicePack;
    const char* expected;
  } cases[] = {
      {1, 4, 0, "", "(4.0) - Windows 95"},
      {1, 4, 10, " A ", "(4.10) - Windows 98  A "},
      {1, 4, 90, "", "(4.90) - Windows Me"},
      {2, 3, 51, "", "(3.51) - Windows NT 3.51"},
      {2, 4, 0, "Service Pack 6", "(4.0) - Windows NT 4 Service Pack 6"},
      {2, 5, 0, "", "(5.0) - Windows 2000"},
      {2, 5, 1, "Service Pack 3", "(5.1) - Windows XP Service Pack 3"},
      {2, 5, 2, "", "(5.2) - Windows .NET Server"},
      {2, 6, 0, "", "(6.0) - Windows Vista / Srv 2008"},
      {2, 6, 1, "Service Pack 1", "(6.1) - Windows 7 / Srv 2008 R2 Service Pack 1"},
      {2, 6, 2, "", "(6.2)"},
      {2, 10, 0, "Service Pack 1", "(10.0) Service Pack 1"},
      {1, 5, 1, "", "(5.1)"},  // the XP numbers on the other platform
      {0, 3, 10, "", "(3.10)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, FormatOSVersionText(c.platformId, c.major, c.minor, c.servicePack));
}

}  // namespace
