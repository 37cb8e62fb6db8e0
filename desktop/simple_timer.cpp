#include "desktop/simple_timer.h"

#include <string>

#include "platform/application.h"

TSimpleTimerHandler* SharedTimerHandler = nullptr;

namespace {

const char* const TimerWindowClassName = "TKorvalindSimpleTimerWindow";

// Identifiers are drawn from a counter rather than taken from the object's
// address: addresses are reused, and a WM_TIMER queued for a destroyed timer
// must never be delivered to whatever object is built in its place.
UINT_PTR nextTimerIdentifier = 1;

// Module finalization: a handler still alive at exit (a timer leaked) goes too.
struct TimerModuleFinalization {
  ~TimerModuleFinalization()
  {
    delete SharedTimerHandler;
    SharedTimerHandler = nullptr;
  }
} timerModuleFinalization;

}  // namespace

void AcquireTimerWindow()
{
  TSimpleTimerHandler::Acquire(SharedTimerHandler, TimerWindowClassName, TimerWindowProc, "timer");
}

void ReleaseTimerWindow()
{
  TSimpleTimerHandler::Release(SharedTimerHandler);
}

LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  if (message != WM_TIMER)
    return DefWindowProcA(window, message, wParam, lParam);
  if (SharedTimerHandler == nullptr || SharedTimerHandler->Handle() != window)
    return 0;
  TSimpleTimer* timer = SharedTimerHandler->Find(static_cast<UINT_PTR>(wParam));
  if (timer == nullptr)
    return 0;  // its timer was destroyed while the message waited in the queue
  // Nothing may unwind through the system's frames.
  try {
    timer->Tick();
  } catch (...) {
    ReportCurrentException(timer);
  }
  return 0;
}

TSimpleTimer::TSimpleTimer() : TSimpleTimer(DefaultInterval, nullptr) {}

TSimpleTimer::TSimpleTimer(std::uint32_t interval, TNotifyEvent handler)
{
  identifier_ = nextTimerIdentifier++;
  OneShot = false;
  enabled_ = false;
  interval_ = interval;
  ChangeTimerHandler(std::move(handler));
  AcquireTimerWindow();
  SharedTimerHandler->Add(identifier_, this);
}

TSimpleTimer::~TSimpleTimer()
{
  if (enabled_)
    StopTimer(true);
  if (SharedTimerHandler != nullptr)
    SharedTimerHandler->Remove(identifier_);
  ReleaseTimerWindow();
}

void TSimpleTimer::SetEnabled(bool value)
{
  if (value)
    StartTimer();
  else
    StopTimer(true);
}

bool TSimpleTimer::StartTimer()
{
  if (interval_ == 0)
    return false;
  if (enabled_)
    StopTimer(true);  // restart the period from now
  if (SharedTimerHandler == nullptr || SetTimer(SharedTimerHandler->Handle(), identifier_, interval_, nullptr) == 0)
    return false;
  enabled_ = true;
  return true;
}

bool TSimpleTimer::StopTimer(bool clearEnabled)
{
  if (clearEnabled)
    enabled_ = false;
  if (SharedTimerHandler == nullptr)
    return false;
  return KillTimer(SharedTimerHandler->Handle(), identifier_) != FALSE;
}

void TSimpleTimer::ChangeTimerInterval(std::uint32_t value)
{
  if (value == interval_)
    return;  // a running timer keeps its phase
  interval_ = value;
  if (!enabled_)
    return;
  if (value != 0)
    StartTimer();
  else
    StopTimer(false);  // paused: Enabled stays true
}

void TSimpleTimer::ChangeTimerHandler(TNotifyEvent handler)
{
  onTimer_ = std::move(handler);
  if (!onTimer_ && enabled_)
    StopTimer(false);
}

void TSimpleTimer::Tick()
{
  if (OneShot)
    StopTimer(true);
  if (!onTimer_)
    return;
  // A copy: the handler may destroy this timer or replace its handler while it runs.
  TNotifyEvent handler = onTimer_;
  handler(this);
}
