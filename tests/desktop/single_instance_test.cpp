#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/desktop/desktop_program.h"
#include "tests/support/test_paths.h"

using namespace std::chrono_literals;

namespace {

bool MutexExists()
{
  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, "Korvalind");
  if (mutex == nullptr)
    return false;
  CloseHandle(mutex);
  return true;
}

class SingleInstanceTest : public testing::Test {
protected:
  void SetUp() override
  {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = FreshTestDir(std::string("single instance.") + info->name());
  }
  std::string dir_;
};

TEST_F(SingleInstanceTest, SecondInstanceShowsTheMessageAndEndsWithZeroWhileTheFirstRunsOn)
{
  TDesktopProgram first(dir_);
  TDesktopProgram second(dir_);
  ASSERT_TRUE(first.Start());
  ASSERT_TRUE(WaitUntil(MutexExists, 30s)) << "the first instance never claimed the mutex";

  ASSERT_TRUE(second.Start());
  HWND box = second.WaitForWindow("#32770", nullptr, 30s);
  ASSERT_NE(nullptr, box) << "no message box; exit code " << second.ExitCode();
  // The box's window may be found before its texts are made.
  EXPECT_TRUE(WaitUntil(
      [&] {
        const auto texts = ChildTexts(box, "Static");
        return std::find(texts.begin(), texts.end(), "Anwendung läuft bereits.") != texts.end();
      },
      30s));
  // Nothing else of the program exists in the second instance.
  EXPECT_EQ(nullptr, second.FindWindowOf(nullptr, MainWindowCaption));
  EXPECT_TRUE(second.Running()) << "the message box must wait for its OK";

  PostMessageA(box, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(second.WaitForEnd(30s));
  EXPECT_EQ(0u, second.ExitCode());
  EXPECT_TRUE(first.Running());
  EXPECT_TRUE(MutexExists());
}

TEST_F(SingleInstanceTest, AfterTheFirstInstanceEndsTheNextOneStarts)
{
  {
    TDesktopProgram first(dir_);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(WaitUntil(MutexExists, 30s));
    first.Kill();
  }
  EXPECT_TRUE(WaitUntil([] { return !MutexExists(); }, 10s));
  TDesktopProgram next(dir_);
  ASSERT_TRUE(next.Start());
  ASSERT_TRUE(WaitUntil(MutexExists, 30s));
  EXPECT_EQ(nullptr, next.WaitForWindow("#32770", nullptr, 2s));
  EXPECT_TRUE(next.Running());
}

}  // namespace
