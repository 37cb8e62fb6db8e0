#include "desktop/simple_timer.h"

#include <string>

#include "platform/application.h"
#include "platform/exception.h"

TSimpleTimerHandler* SharedTimerHandler = nullptr;

namespace {

const char* const kTimerWindowClass = "TKorvalindSimpleTimerWindow";

// Identifiers are drawn from a counter rather than taken from the object's
// address: addresses are reused, and a WM_TIMER queued for a destroyed timer
// must never be delivered to whatever object is built in its place.
UINT_PTR nextTimerIdentifier = 1;

void RegisterTimerWindowClass()
{
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = TimerWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kTimerWindowClass;
    if (RegisterClassA(&wc) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
      throw Exception("Cannot register the timer window class (error " + std::to_string(GetLastError()) + ")");
    return true;
  }();
  (void)registered;
}

// Module finalization: a handler still alive at exit (a timer leaked) goes too.
struct TimerModuleFinalization {
  ~TimerModuleFinalization()
  {
    delete SharedTimerHandler;
    SharedTimerHandler = nullptr;
  }
} timerModuleFinalization;

}  // namespace

TSimpleTimerHandler::TSimpleTimerHandler()
{
  RegisterTimerWindowClass();
  handle_ = CreateWindowExA(WS_EX_TOOLWINDOW, kTimerWindowClass, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  if (handle_ == nullptr)
    throw Exception("Cannot create the timer window (error " + std::to_string(GetLastError()) + ")");
}

TSimpleTimerHandler::~TSimpleTimerHandler()
{
  if (handle_ != nullptr)
    DestroyWindow(handle_);
}

TSimpleTimer* TSimpleTimerHandler::FindTimer(UINT_PTR identifier) const
{
  const auto found = liveTimers_.find(identifier);
  return found == liveTimers_.end() ? nullptr : found->second;
}

void AcquireTimerWindow()
{
  if (SharedTimerHandler == nullptr)
    SharedTimerHandler = new TSimpleTimerHandler;
  ++SharedTimerHandler->userCount_;
}

void ReleaseTimerWindow()
{
  if (SharedTimerHandler == nullptr)
    return;
  if (SharedTimerHandler->userCount_ > 0)
    --SharedTimerHandler->userCount_;
  if (SharedTimerHandler->userCount_ == 0) {
    delete SharedTimerHandler;
    SharedTimerHandler = nullptr;
  }
}

LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  if (message != WM_TIMER)
    return DefWindowProcA(window, message, wParam, lParam);
  if (SharedTimerHandler == nullptr || SharedTimerHandler->Handle() != window)
    return 0;
  TSimpleTimer* timer = SharedTimerHandler->FindTimer(static_cast<UINT_PTR>(wParam));
  if (timer == nullptr)
    return 0;  // its timer was destroyed while the message waited in the queue
  // Nothing may unwind through the system's frames.
  try {
    timer->Tick();
  } catch (const std::exception& e) {
    ReportUnhandledException(timer, e);
  } catch (...) {
    ReportUnhandledException(timer, Exception("Unknown exception"));
  }
  return 0;
}

TSimpleTimer::TSimpleTimer() : TSimpleTimer(1000, nullptr) {}

TSimpleTimer::TSimpleTimer(std::uint32_t interval, TNotifyEvent handler)
{
  identifier_ = nextTimerIdentifier++;
  OneShot = false;
  enabled_ = false;
  interval_ = interval;
  ChangeTimerHandler(std::move(handler));
  AcquireTimerWindow();
  SharedTimerHandler->liveTimers_[identifier_] = this;
}

TSimpleTimer::~TSimpleTimer()
{
  if (enabled_)
    StopTimer(true);
  if (SharedTimerHandler != nullptr)
    SharedTimerHandler->liveTimers_.erase(identifier_);
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
