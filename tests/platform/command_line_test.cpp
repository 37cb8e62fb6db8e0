#include <windows.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/command_line.h"
#include "tests/support/test_paths.h"

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

// This program once more, started by the test below: it writes what ParamList
// gives, one argument a line, to the file the test names.
constexpr const char* ParamListFileVariable = "KORVALIND_PARAM_LIST_FILE";
constexpr DWORD ChildTimeoutMs = 60000;

TEST(CommandLineSwitch, DISABLED_WritesItsParamList)
{
  const char* path = std::getenv(ParamListFileVariable);
  ASSERT_NE(path, nullptr);
  std::ofstream out(path, std::ios::binary);
  for (const auto& param : ParamList())
    out << param << '\n';
}

TEST(CommandLineSwitch, ParamListIsTheArgumentsAfterTheProgramName)
{
  char self[MAX_PATH];
  ASSERT_NE(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  const std::string file = FreshTestDir("param_list") + "\\params.txt";
  ASSERT_TRUE(SetEnvironmentVariableA(ParamListFileVariable, file.c_str()));
  const std::vector<std::string> arguments = {"--gtest_filter=CommandLineSwitch.DISABLED_WritesItsParamList",
                                              "--gtest_also_run_disabled_tests", "/install", "two words", "-SILENT"};
  std::string commandLine = "\"" + std::string(self) + "\"";
  for (const auto& argument : arguments)
    commandLine += " \"" + argument + "\"";

  // The child's own GoogleTest output stays out of this program's.
  SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE quiet = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(quiet, INVALID_HANDLE_VALUE);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = quiet;
  PROCESS_INFORMATION child{};
  const BOOL started =
      CreateProcessA(self, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
  CloseHandle(quiet);
  ASSERT_TRUE(started);
  const DWORD waited = WaitForSingleObject(child.hProcess, ChildTimeoutMs);
  DWORD exitCode = 1;
  GetExitCodeProcess(child.hProcess, &exitCode);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  ASSERT_EQ(waited, WAIT_OBJECT_0);
  ASSERT_EQ(exitCode, 0u);

  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> params;
  for (std::string line; std::getline(in, line);)
    params.push_back(line);
  EXPECT_EQ(params, arguments);
}

}  // namespace
