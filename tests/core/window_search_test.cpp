#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <windows.h>

#include "core/window_search.h"

namespace {

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
