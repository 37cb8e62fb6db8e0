#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "tests/desktop/desktop_program.h"
#include "tests/support/test_paths.h"

using namespace std::chrono_literals;

namespace {

// The number of tabs korvalind.exe shows when started with the arguments;
// -1 when its window does not appear. The program is closed again.
int TabCount(const std::string& dir, const std::string& arguments)
{
  TDesktopProgram program(dir);
  if (!program.Start(arguments))
    return -1;
  HWND window = program.WaitForWindow(nullptr, MainWindowCaption, 30s);
  if (window == nullptr)
    return -1;
  HWND tabs = nullptr;
  WaitUntil([&] { return (tabs = FindWindowExA(window, nullptr, WC_TABCONTROLA, nullptr)) != nullptr; }, 10s);
  const int count = tabs == nullptr ? -1 : static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
  PostMessageA(window, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.WaitForEnd(30s));
  EXPECT_EQ(0u, program.ExitCode());
  return count;
}

TEST(CommandLineTest, TwoOrMoreArgumentsHideTheLogTab)
{
  const std::string dir = FreshTestDir("command line");
  EXPECT_EQ(4, TabCount(dir, ""));
  EXPECT_EQ(4, TabCount(dir, "one"));
  EXPECT_EQ(3, TabCount(dir, "one two"));
  EXPECT_EQ(3, TabCount(dir, "one two three"));
}

}  // namespace
