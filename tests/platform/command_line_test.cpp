#include <gtest/gtest.h>

#include "platform/command_line.h"

namespace {

struct SwitchCase {
  std::vector<std::string> params;
  const char* name;
  bool found;
};

TEST(CommandLineSwitch, LeadingDashOrSlashInAnyCase)
{
  const SwitchCase cases[] = {
      {{"-install"}, "INSTALL", true},
      {{"/INSTALL"}, "INSTALL", true},
      {{"/InStAlL"}, "INSTALL", true},
      {{"-Uninstall"}, "UNINSTALL", true},
      {{"/silent", "-install"}, "SILENT", true},
      {{"/silent", "-install"}, "INSTALL", true},
      // not switches, or other switches
      {{"install"}, "INSTALL", false},
      {{"--install"}, "INSTALL", false},
      {{"\\install"}, "INSTALL", false},
      {{"/installx"}, "INSTALL", false},
      {{"/instal"}, "INSTALL", false},
      {{"/uninstall"}, "INSTALL", false},
      {{"/ install"}, "INSTALL", false},
      {{"/"}, "INSTALL", false},
      {{""}, "INSTALL", false},
      {{}, "INSTALL", false},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& p : c.params)
      shown += "[" + p + "]";
    SCOPED_TRACE(shown + " " + c.name);
    EXPECT_EQ(c.found, FindCmdLineSwitch(c.params, c.name));
  }
}

TEST(CommandLineSwitch, ParamListLeavesOutTheProgramName)
{
  for (const auto& param : ParamList())
    EXPECT_EQ(std::string::npos, param.find("test_service.exe")) << param;
}

}  // namespace
