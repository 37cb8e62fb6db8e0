#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "core/os_version_text.h"
#include "core/program_info.h"
#include "core/random_source.h"
#include "core/settings.h"
#include "tests/support/test_paths.h"

namespace {

std::string Upper(std::string text)
{
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

TEST(ProgramInfoTest, FolderAndNameOfTheRunningProgram)
{
  EXPECT_EQ(Upper(BinaryPath("tests\\core")), Upper(GetProgramDir()));
  EXPECT_EQ("test_core_base.exe", GetProgramName(true));
  EXPECT_EQ("test_core_base", GetProgramName(false));
}

TEST(ProgramInfoTest, TheTestHookRedirectsOnlyTheFolder)
{
  const std::string real = GetProgramDir();
  SetProgramDirForTesting("C:\\elsewhere");
  EXPECT_EQ("C:\\elsewhere", GetProgramDir());
  EXPECT_EQ("C:\\elsewhere\\korvalind.ini", ConfigFilePath());
  EXPECT_EQ("test_core_base", GetProgramName(false));
  SetProgramDirForTesting("");
  EXPECT_EQ(real, GetProgramDir());
}

TEST(ProgramInfoTest, VersionValueOfAGivenProgram)
{
  // The values themselves: VersionInfoTest. Here: the file named is read,
  // not the running program, which carries the desktop client's values.
  EXPECT_EQ("Korvalind-Poster-Daemon", GetVersionValue("ProductName", BinaryPath("service\\korvalindd.exe")));
  EXPECT_EQ("4.3.0.701", GetVersionValue("FileVersion", BinaryPath("service\\korvalindd.exe")));
  EXPECT_EQ("", GetVersionValue("NoSuchKey", BinaryPath("desktop\\korvalind.exe")));
}

TEST(ProgramInfoTest, VersionValueIsEmptyWithoutAVersionResource)
{
  const std::string dir = FreshTestDir("program_info");
  const std::string text = dir + "\\plain.txt";
  std::ofstream(text) << "no resource here";
  EXPECT_EQ("", GetVersionValue("ProductName", text));
}

TEST(ProgramInfoTest, WithoutAnExistingFileTheRunningProgramIsAsked)
{
  // this test program carries the desktop client's version resource
  EXPECT_EQ("Korvalind-Poster", GetVersionValue("ProductName"));
  EXPECT_EQ("Korvalind-Poster", GetVersionValue("ProductName", BinaryPath("absent.exe")));
  EXPECT_EQ("Korvalind-Poster", GetVersionValue("ProductName", BinaryPath("tests")));  // a folder is no file
  EXPECT_EQ("", GetVersionValue("NoSuchKey"));
}

TEST(ProgramInfoTest, PlatformAndOperatingSystemTexts)
{
  EXPECT_EQ("Windows NT", GetPlatformName());
  const std::string os = GetOSVersionText();
  ASSERT_FALSE(os.empty());
  EXPECT_EQ('(', os.front());
  EXPECT_NE(std::string::npos, os.find(")"));
  EXPECT_EQ(os, GetOSVersionText());  // read once, the same all run
}

TEST(ProgramInfoTest, BuildIdentFormsTheBannerText)
{
  BuildIdent();
  ASSERT_EQ(3u, SessionCode.size());
  for (char c : SessionCode) {
    EXPECT_GE(c, 'a');
    EXPECT_LE(c, 'y');
  }
  EXPECT_EQ("Korvalind-Poster", ProductName);
  EXPECT_EQ("4.3", ProductVersion);
  EXPECT_EQ("4.3.0.701", FileVersion);
  EXPECT_EQ("Korvalind-Poster 4.3 (Build:4.3.0.701;" + SessionCode + ";Windows NT)", IdentText);
}

TEST(ProgramInfoTest, RandomizeTakesTheClock)
{
  SetRandomState(1);
  const std::string fixed = RandomLetters(12);
  SetRandomState(1);
  Randomize();
  EXPECT_NE(fixed, RandomLetters(12));
}

// The programs of a test run share one window list, and other tests show the
// desktop client's caption or come and go with hidden windows. So each case
// runs on a thread of its own on a desktop of its own, where the window list
// holds only the windows it creates.
class FindWindowTest : public testing::Test {
protected:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
  {
    return DefWindowProcA(window, message, wParam, lParam);
  }

  static void Register(const char* className)
  {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);  // a second registration fails harmlessly
  }

  void SetUp() override
  {
    Register("TTestMainWindow");
    Register("THintWindow");
    Register("THintWindow2");
  }

  void OnOwnDesktop(const std::function<void()>& body)
  {
    std::thread thread([&] {
      static int count = 0;
      const std::string name =
          "korvalind-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
      HDESK desktop = CreateDesktopA(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
      ASSERT_NE(nullptr, desktop);
      ASSERT_TRUE(SetThreadDesktop(desktop));
      body();
      for (HWND window : windows_)
        DestroyWindow(window);
      windows_.clear();
      CloseDesktop(desktop);
    });
    thread.join();
  }

  HWND Create(const char* className, const std::string& title)
  {
    HWND window = CreateWindowExA(0, className, title.c_str(), WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    EXPECT_NE(nullptr, window);
    windows_.push_back(window);
    return window;
  }

  std::vector<HWND> windows_;
};

TEST_F(FindWindowTest, FindsTheTitleInAnyCaseButNotATooltip)
{
  OnOwnDesktop([&] {
    EXPECT_EQ(nullptr, FindWindowWithTitle("Korvalind-Poster "));
    Create("TTestMainWindow", "Korvalind-Poster");  // no blank after the name
    EXPECT_EQ(nullptr, FindWindowWithTitle("Korvalind-Poster "));
    HWND main = Create("TTestMainWindow", "korvalind-poster 4.3");
    // created later, so it comes first in the window list
    Create("THintWindow", "Korvalind-Poster ");
    EXPECT_EQ(main, FindWindowWithTitle("Korvalind-Poster "));
    EXPECT_EQ(main, FindWindowWithTitle("POSTER 4"));
    EXPECT_EQ(main, FindWindowWithTitle("korvalind-poster 4.3"));  // the whole title
    EXPECT_EQ(nullptr, FindWindowWithTitle("Korvalind-Poster 4.4"));
  });
}

TEST_F(FindWindowTest, OnlyATooltipWithTheTitleFindsNothing)
{
  OnOwnDesktop([&] {
    Create("THintWindow", "Korvalind-Poster 4.3");
    EXPECT_EQ(nullptr, FindWindowWithTitle("Korvalind-Poster "));
    // only the class named exactly "THintWindow" is left out
    HWND other = Create("THintWindow2", "Korvalind-Poster 4.3");
    EXPECT_EQ(other, FindWindowWithTitle("Korvalind-Poster "));
  });
}

// The top-level windows before window in the list FindWindowWithTitle walks.
int WindowsBefore(HWND window)
{
  int count = 0;
  for (HWND w = FindWindowA(nullptr, nullptr); w != nullptr && w != window; w = GetWindow(w, GW_HWNDNEXT))
    ++count;
  return count;
}

TEST_F(FindWindowTest, LooksAtNoMoreThan1001Windows)
{
  OnOwnDesktop([&] {
    HWND main = Create("TTestMainWindow", "Korvalind-Poster 4.3");
    // windows created later come first
    for (int before = WindowsBefore(main); before < 1000; ++before)
      Create("TTestMainWindow", before % 2 ? "other window" : "");
    ASSERT_EQ(1000, WindowsBefore(main));
    EXPECT_EQ(main, FindWindowWithTitle("Korvalind-Poster "));  // the 1001st is looked at
    Create("TTestMainWindow", "one more");
    ASSERT_EQ(1001, WindowsBefore(main));
    EXPECT_EQ(nullptr, FindWindowWithTitle("Korvalind-Poster "));
  });
}

}  // namespace
