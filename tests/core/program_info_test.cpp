#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <vector>

#include "core/korvalind_functions.h"
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

TEST(ProgramInfoTest, VersionValuesOfBothPrograms)
{
  const std::string desktop = BinaryPath("desktop\\korvalind.exe");
  const std::string service = BinaryPath("service\\korvalindd.exe");
  EXPECT_EQ("Korvalind-Poster", GetVersionValue("ProductName", desktop));
  EXPECT_EQ("4.3", GetVersionValue("ProductVersion", desktop));
  EXPECT_EQ("4.3.0.701", GetVersionValue("FileVersion", desktop));
  EXPECT_FALSE(GetVersionValue("FileDescription", desktop).empty());
  EXPECT_EQ("Korvalind-Poster-Daemon", GetVersionValue("ProductName", service));
  EXPECT_EQ("4.3", GetVersionValue("ProductVersion", service));
  EXPECT_EQ("4.3.0.701", GetVersionValue("FileVersion", service));
  EXPECT_EQ("", GetVersionValue("NoSuchKey", desktop));
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
  }

  void TearDown() override
  {
    for (HWND window : windows_)
      DestroyWindow(window);
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

// The tests of one run share one window list, and other programs show the
// desktop client's caption, so each title here carries this process's id.
std::string Title(const char* text)
{
  return text + std::to_string(GetCurrentProcessId());
}

TEST_F(FindWindowTest, FindsTheTitleInAnyCaseButNotATooltip)
{
  HWND main = Create("TTestMainWindow", Title("korvalind-poster test") + " 4.3");
  // created later, so it comes first in the window list
  Create("THintWindow", Title("Korvalind-Poster Test") + " ");
  EXPECT_EQ(main, FindWindowWithTitle(Title("Korvalind-Poster Test") + " "));
  EXPECT_EQ(main, FindWindowWithTitle(Title("POSTER TEST") + " 4"));
  EXPECT_EQ(main, FindWindowWithTitle(Title("korvalind-poster test") + " 4.3"));  // the whole title
  EXPECT_EQ(nullptr, FindWindowWithTitle(Title("Korvalind-Poster Test") + " 4.4"));
}

TEST_F(FindWindowTest, OnlyATooltipWithTheTitleFindsNothing)
{
  Create("THintWindow", Title("Korvalind-Poster Test") + " 4.3");
  EXPECT_EQ(nullptr, FindWindowWithTitle(Title("Korvalind-Poster Test") + " "));
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
  const std::string wanted = Title("Korvalind-Poster Test") + " ";
  HWND main = Create("TTestMainWindow", wanted + "4.3");
  std::vector<HWND> fillers;
  // Windows created later come first. Set exactly n windows before the
  // match; other programs of the run may add theirs meanwhile, so a count
  // that moved during the search makes the attempt void.
  auto searchWith = [&](int n, HWND& found) {
    int count = WindowsBefore(main);
    for (; count < n; ++count)
      fillers.push_back(Create("TTestMainWindow", fillers.size() % 2 ? "other window" : ""));
    for (; count > n && !fillers.empty(); --count) {
      DestroyWindow(fillers.back());
      std::erase(windows_, fillers.back());
      fillers.pop_back();
    }
    if (WindowsBefore(main) != n)
      return false;
    found = FindWindowWithTitle(wanted);
    return WindowsBefore(main) == n;
  };
  for (const auto& [before, expected] : {std::pair<int, HWND>{1000, main}, {1001, nullptr}}) {
    bool done = false;
    for (int attempt = 0; attempt < 5 && !done; ++attempt) {
      HWND found = nullptr;
      if (searchWith(before, found)) {
        EXPECT_EQ(expected, found) << before << " windows before the match";
        done = true;
      }
    }
    EXPECT_TRUE(done) << "the window list never held still";
  }
}

}  // namespace
