#include "desktop/simple_timer.h"

#include <chrono>
#include <memory>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "platform/application.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

struct TickLog {
  std::vector<Clock::time_point> ticks;
  int Count() const { return static_cast<int>(ticks.size()); }
  TNotifyEvent Handler()
  {
    return [this](TObject*) { ticks.push_back(Clock::now()); };
  }
};

long long MillisecondsBetween(Clock::time_point from, Clock::time_point to)
{
  return std::chrono::duration_cast<std::chrono::milliseconds>(to - from).count();
}

TEST(SimpleTimer, ConstructionLeavesTheTimerStopped)
{
  TSimpleTimer plain;
  EXPECT_EQ(plain.Interval(), 1000u);
  EXPECT_FALSE(plain.Enabled());
  EXPECT_FALSE(plain.OneShot);
  EXPECT_FALSE(plain.OnTimer());

  TickLog log;
  TSimpleTimer poll(20, log.Handler());
  EXPECT_EQ(poll.Interval(), 20u);
  EXPECT_FALSE(poll.Enabled());
  PumpMessagesFor(100ms);
  EXPECT_EQ(log.Count(), 0);
}

TEST(SimpleTimer, RunningTimerCallsBackWithItselfAsSender)
{
  TObject* sender = nullptr;
  int ticks = 0;
  TSimpleTimer timer(30, [&](TObject* s) {
    sender = s;
    ++ticks;
  });
  timer.SetEnabled(true);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_TRUE(PumpMessagesUntil([&] { return ticks >= 3; }, 5s));
  EXPECT_EQ(sender, &timer);
  timer.SetEnabled(false);
  const int stoppedAt = ticks;
  PumpMessagesFor(150ms);
  EXPECT_EQ(ticks, stoppedAt);
}

TEST(SimpleTimer, ZeroIntervalNeverStartsAndPausesARunningTimer)
{
  TickLog log;
  TSimpleTimer timer(0, log.Handler());
  EXPECT_FALSE(timer.StartTimer());
  timer.SetEnabled(true);
  EXPECT_FALSE(timer.Enabled());
  PumpMessagesFor(100ms);
  EXPECT_EQ(log.Count(), 0);

  // Running, then Interval 0: paused but still reported enabled.
  timer.SetInterval(30);
  EXPECT_FALSE(timer.Enabled()) << "an interval alone does not start a stopped timer";
  timer.SetEnabled(true);
  ASSERT_TRUE(PumpMessagesUntil([&] { return log.Count() >= 1; }, 5s));
  timer.SetInterval(0);
  EXPECT_TRUE(timer.Enabled());
  log.ticks.clear();
  PumpMessagesFor(200ms);
  EXPECT_EQ(log.Count(), 0);

  // A non-zero interval resumes it with the new period.
  const auto resumed = Clock::now();
  timer.SetInterval(250);
  ASSERT_TRUE(PumpMessagesUntil([&] { return log.Count() >= 1; }, 5s));
  EXPECT_GE(MillisecondsBetween(resumed, log.ticks[0]), 200);
  EXPECT_TRUE(timer.Enabled());
}

TEST(SimpleTimer, WritingTheSameIntervalKeepsThePhaseButEnablingRestartsIt)
{
  // Kept phase: the tick comes about 400 ms after the write; a restart would
  // put it 1000 ms after. The gap leaves room for a loaded machine.
  TickLog same;
  TSimpleTimer keeps(1000, same.Handler());
  keeps.SetEnabled(true);
  PumpMessagesFor(600ms);
  const auto rewritten = Clock::now();
  keeps.SetInterval(1000);
  ASSERT_TRUE(PumpMessagesUntil([&] { return same.Count() >= 1; }, 5s));
  EXPECT_LT(MillisecondsBetween(rewritten, same.ticks[0]), 900);

  TickLog restarted;
  TSimpleTimer restarts(400, restarted.Handler());
  restarts.SetEnabled(true);
  PumpMessagesFor(250ms);
  const auto reenabled = Clock::now();
  restarts.SetEnabled(true);
  ASSERT_TRUE(PumpMessagesUntil([&] { return restarted.Count() >= 1; }, 5s));
  EXPECT_GE(MillisecondsBetween(reenabled, restarted.ticks[0]), 350);
}

TEST(SimpleTimer, RemovingTheHandlerPausesUntilEnabledOrIntervalIsWritten)
{
  TickLog log;
  TSimpleTimer timer(30, log.Handler());
  timer.SetEnabled(true);
  ASSERT_TRUE(PumpMessagesUntil([&] { return log.Count() >= 1; }, 5s));

  timer.SetOnTimer(nullptr);
  EXPECT_TRUE(timer.Enabled());
  timer.SetOnTimer(log.Handler());
  log.ticks.clear();
  PumpMessagesFor(200ms);
  EXPECT_EQ(log.Count(), 0) << "assigning a handler again does not restart the timer";

  timer.SetInterval(40);
  EXPECT_TRUE(PumpMessagesUntil([&] { return log.Count() >= 1; }, 5s));

  timer.SetOnTimer(nullptr);
  timer.SetOnTimer(log.Handler());
  log.ticks.clear();
  timer.SetEnabled(true);
  EXPECT_TRUE(PumpMessagesUntil([&] { return log.Count() >= 1; }, 5s));
}

TEST(SimpleTimer, OneShotIsStoppedWhenItsCallbackRunsAndCanRearmItself)
{
  int ticks = 0;
  bool enabledDuringCallback = true;
  TSimpleTimer timer(30, nullptr);
  timer.OneShot = true;
  timer.SetOnTimer([&](TObject*) {
    ++ticks;
    enabledDuringCallback = timer.Enabled();
    if (ticks == 1)
      timer.SetEnabled(true);
  });
  timer.SetEnabled(true);
  ASSERT_TRUE(PumpMessagesUntil([&] { return ticks >= 2; }, 5s));
  EXPECT_FALSE(enabledDuringCallback);
  PumpMessagesFor(150ms);
  EXPECT_EQ(ticks, 2);
  EXPECT_FALSE(timer.Enabled());
}

TEST(SimpleTimer, DestroyingAPausedOrStoppedTimerIsQuiet)
{
  auto paused = std::make_unique<TSimpleTimer>(30, [](TObject*) {});
  paused->SetEnabled(true);
  paused->SetInterval(0);
  EXPECT_FALSE(paused->StopTimer(false)) << "no system timer is set while paused";
  EXPECT_TRUE(paused->Enabled());
  paused.reset();

  TSimpleTimer stopped;
  EXPECT_FALSE(stopped.StopTimer(true));
  EXPECT_FALSE(stopped.Enabled());
}

TEST(SimpleTimer, SharedWindowLivesFromTheFirstTimerToTheLast)
{
  ASSERT_EQ(SharedTimerHandler, nullptr);
  auto first = std::make_unique<TSimpleTimer>();
  ASSERT_NE(SharedTimerHandler, nullptr);
  const HWND window = SharedTimerHandler->Handle();
  EXPECT_TRUE(IsWindow(window));
  auto second = std::make_unique<TSimpleTimer>();
  EXPECT_EQ(SharedTimerHandler->Handle(), window);
  EXPECT_EQ(SharedTimerHandler->UserCount(), 2u);

  first.reset();
  EXPECT_EQ(SharedTimerHandler->UserCount(), 1u);
  second.reset();
  EXPECT_EQ(SharedTimerHandler, nullptr);
  EXPECT_FALSE(IsWindow(window));

  int ticks = 0;
  auto later = std::make_unique<TSimpleTimer>(20, [&](TObject*) { ++ticks; });
  ASSERT_NE(SharedTimerHandler, nullptr);
  EXPECT_TRUE(IsWindow(SharedTimerHandler->Handle()));
  later->SetEnabled(true);
  EXPECT_TRUE(PumpMessagesUntil([&] { return ticks >= 1; }, 5s));
  later.reset();
  EXPECT_EQ(SharedTimerHandler, nullptr);

  // An unbalanced release is harmless.
  ReleaseTimerWindow();
  EXPECT_EQ(SharedTimerHandler, nullptr);
}

TEST(SimpleTimer, MessageQueuedForADestroyedTimerIsDropped)
{
  int keeperTicks = 0;
  TSimpleTimer keeper(1000, [&](TObject*) { ++keeperTicks; });  // keeps the window alive
  int goneTicks = 0;
  auto gone = std::make_unique<TSimpleTimer>(1000, [&](TObject*) { ++goneTicks; });
  const UINT_PTR goneId = gone->Identifier();
  PostMessageA(SharedTimerHandler->Handle(), WM_TIMER, goneId, 0);
  gone.reset();

  // A timer built now must not inherit the old identifier.
  int newTicks = 0;
  TSimpleTimer successor(1000, [&](TObject*) { ++newTicks; });
  EXPECT_NE(successor.Identifier(), goneId);
  PumpMessagesFor(100ms);
  EXPECT_EQ(goneTicks, 0);
  EXPECT_EQ(newTicks, 0);
  EXPECT_EQ(keeperTicks, 0);

  // The same path delivers a message for a live timer.
  PostMessageA(SharedTimerHandler->Handle(), WM_TIMER, successor.Identifier(), 0);
  PumpMessagesFor(50ms);
  EXPECT_EQ(newTicks, 1);
}

TEST(SimpleTimer, CallbackMayDestroyItsOwnTimer)
{
  TSimpleTimer keeper;
  int ticks = 0;
  TSimpleTimer* timer = new TSimpleTimer(20, nullptr);
  timer->SetOnTimer([&](TObject* sender) {
    ++ticks;
    delete static_cast<TSimpleTimer*>(sender);
  });
  timer->SetEnabled(true);
  ASSERT_TRUE(PumpMessagesUntil([&] { return ticks >= 1; }, 5s));
  PumpMessagesFor(100ms);
  EXPECT_EQ(ticks, 1);
}

TEST(SimpleTimer, ExceptionFromTheCallbackGoesToTheApplication)
{
  TApplication application;
  std::vector<std::string> reported;
  application.OnException = [&](TObject*, const std::exception& e) { reported.push_back(e.what()); };
  int ticks = 0;
  TSimpleTimer timer(20, [&](TObject*) {
    ++ticks;
    throw std::runtime_error("tick failed");
  });
  timer.SetEnabled(true);
  ASSERT_TRUE(PumpMessagesUntil([&] { return ticks >= 2; }, 5s));
  timer.SetEnabled(false);
  ASSERT_FALSE(reported.empty());
  EXPECT_EQ(reported[0], "tick failed");
}

}  // namespace
