#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "platform/application.h"
#include "platform/timer.h"

namespace {

TEST(ApplicationTest, IsTheOneGlobalApplication)
{
  {
    TApplication application;
    EXPECT_EQ(&application, Application);
  }
  EXPECT_EQ(nullptr, Application);
}

TEST(ApplicationTest, RunEndsWhenATimerHandlerTerminates)
{
  TApplication application;
  auto* timer = new TTimer(&application);
  int ticks = 0;
  timer->SetInterval(10);
  timer->OnTimer = [&](TObject*) {
    if (++ticks == 3)
      application.Terminate();
  };
  application.Run();
  EXPECT_TRUE(application.Terminated());
  EXPECT_EQ(3, ticks);
}

TEST(ApplicationTest, TerminateFromAnotherThreadEndsRun)
{
  TApplication application;
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    application.Terminate();
  });
  application.Run();
  other.join();
  EXPECT_TRUE(application.Terminated());
}

TEST(ApplicationTest, ExceptionsFromHandlersReachOnExceptionAndTheLoopGoesOn)
{
  TApplication application;
  std::string reported;
  TObject* reportedSender = nullptr;
  application.OnException = [&](TObject* sender, const std::exception& e) {
    reported = e.what();
    reportedSender = sender;
  };
  auto* timer = new TTimer(&application);
  int ticks = 0;
  timer->SetInterval(10);
  timer->OnTimer = [&](TObject*) {
    if (++ticks == 1)
      throw std::runtime_error("handler failed");
    application.Terminate();
  };
  application.Run();
  EXPECT_EQ("handler failed", reported);
  EXPECT_EQ(timer, reportedSender);
  EXPECT_EQ(2, ticks);
}

}  // namespace
