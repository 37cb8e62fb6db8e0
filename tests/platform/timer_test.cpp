#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/timer.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

namespace {

// Intervals are tens to hundreds of milliseconds; the expectations leave
// room for a loaded machine (late ticks), never for a rule being broken.
struct TickCounter {
  explicit TickCounter(TTimer& timer)
  {
    timer.OnTimer = [this](TObject*) {
      ++ticks;
      thread = GetCurrentThreadId();
    };
  }
  int ticks = 0;
  DWORD thread = 0;
};

TEST(TimerTest, StartsEnabledWithOneSecond)
{
  TTimer timer(nullptr);
  EXPECT_TRUE(timer.Enabled());
  EXPECT_EQ(1000u, timer.Interval());
}

TEST(TimerTest, FiresEveryIntervalUntilDisabledOnTheOwningThread)
{
  TTimer timer(nullptr);
  TickCounter counter(timer);
  timer.SetInterval(20);
  ASSERT_TRUE(PumpMessagesUntil([&] { return counter.ticks >= 3; }, 3s));
  EXPECT_EQ(GetCurrentThreadId(), counter.thread);

  timer.SetEnabled(false);
  const int ticksWhenDisabled = counter.ticks;
  PumpMessagesFor(150ms);
  EXPECT_EQ(ticksWhenDisabled, counter.ticks);
}

TEST(TimerTest, IntervalZeroNeverFires)
{
  TTimer timer(nullptr);
  TickCounter counter(timer);
  timer.SetInterval(0);
  PumpMessagesFor(200ms);
  EXPECT_EQ(0, counter.ticks);
  EXPECT_TRUE(timer.Enabled());
}

TEST(TimerTest, IntervalOnADisabledTimerIsOnlyStored)
{
  TTimer timer(nullptr);
  TickCounter counter(timer);
  timer.SetEnabled(false);
  timer.SetInterval(20);
  PumpMessagesFor(200ms);
  EXPECT_EQ(0, counter.ticks);
  EXPECT_EQ(20u, timer.Interval());

  timer.SetEnabled(true);
  EXPECT_TRUE(PumpMessagesUntil([&] { return counter.ticks >= 1; }, 3s));
}

TEST(TimerTest, SettingTheValueItHoldsDoesNotRestartTheCountdown)
{
  TTimer timer(nullptr);
  TickCounter counter(timer);
  timer.SetInterval(300);
  // Re-assigning the same values every 20 ms would starve the timer if it
  // restarted the countdown.
  const auto deadline = std::chrono::steady_clock::now() + 1500ms;
  while (std::chrono::steady_clock::now() < deadline && counter.ticks == 0) {
    timer.SetInterval(300);
    timer.SetEnabled(true);
    PumpMessagesFor(20ms);
  }
  EXPECT_GE(counter.ticks, 1);
}

TEST(TimerTest, ChangingAnEnabledTimerRestartsItsCountdown)
{
  TTimer timer(nullptr);
  TickCounter counter(timer);
  timer.SetInterval(600);
  // Alternating the interval every 25 ms restarts the 600 ms countdown each
  // time, so nothing fires while the changes go on.
  const auto deadline = std::chrono::steady_clock::now() + 1500ms;
  unsigned next = 601;
  while (std::chrono::steady_clock::now() < deadline) {
    timer.SetInterval(next);
    next = next == 601 ? 600 : 601;
    PumpMessagesFor(25ms);
  }
  EXPECT_EQ(0, counter.ticks);

  // Switching off and on again restarts it as well.
  const auto start = std::chrono::steady_clock::now();
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  ASSERT_TRUE(PumpMessagesUntil([&] { return counter.ticks >= 1; }, 5s));
  EXPECT_GE(std::chrono::steady_clock::now() - start, 550ms);
}

TEST(TimerTest, ChangesFromAnotherThreadTakeEffectOnTheOwningThread)
{
  TTimer timer(nullptr);
  TickCounter counter(timer);
  timer.SetEnabled(false);
  timer.SetInterval(20);
  std::atomic<bool> done{false};
  std::thread other([&] {
    timer.SetEnabled(true);  // hands the restart to the owning thread and waits for it
    done = true;
  });
  EXPECT_TRUE(PumpMessagesUntil([&] { return done && counter.ticks >= 2; }, 3s));
  other.join();
  EXPECT_EQ(GetCurrentThreadId(), counter.thread);
}

TEST(TimerTest, TimerCallsTheHandlerDirectly)
{
  TTimer timer(nullptr);
  TickCounter counter(timer);
  timer.SetEnabled(false);
  timer.Timer();
  EXPECT_EQ(1, counter.ticks);
}

}  // namespace
