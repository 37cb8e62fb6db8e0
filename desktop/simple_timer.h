#pragma once

#include <cstdint>

#include <windows.h>

#include "desktop/shared_message_window.h"
#include "platform/component.h"

class TSimpleTimer;

// The hidden window that receives WM_TIMER for every TSimpleTimer of the
// process; it finds a timer by its identifier. Lives from the first timer
// built to the last one destroyed (AcquireTimerWindow / ReleaseTimerWindow).
using TSimpleTimerHandler = TSharedMessageWindow<TSimpleTimer, UINT_PTR>;

// Process-wide handler, null while no timer exists.
extern TSimpleTimerHandler* SharedTimerHandler;

void AcquireTimerWindow();
void ReleaseTimerWindow();
LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Lightweight periodic timer on SetTimer/WM_TIMER of one shared hidden window.
// States: stopped (Enabled false), running (Enabled true, system timer set)
// and paused (Enabled true, system timer gone: Interval 0 or no handler).
// Writing the value a property already holds does nothing; Enabled := true
// always restarts the period.
class TSimpleTimer : public TObject {
public:
  static constexpr std::uint32_t DefaultInterval = 1000;  // ms

  TSimpleTimer();  // DefaultInterval, no handler
  TSimpleTimer(std::uint32_t interval, TNotifyEvent handler);
  ~TSimpleTimer() override;

  TSimpleTimer(const TSimpleTimer&) = delete;
  TSimpleTimer& operator=(const TSimpleTimer&) = delete;

  // The nIDEvent of this timer. Unique for the life of the process, so a
  // WM_TIMER still queued for a destroyed timer can never reach a newer
  // object that happens to sit at the same address.
  UINT_PTR Identifier() const { return identifier_; }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);

  std::uint32_t Interval() const { return interval_; }
  void SetInterval(std::uint32_t value) { ChangeTimerInterval(value); }

  const TNotifyEvent& OnTimer() const { return onTimer_; }
  void SetOnTimer(TNotifyEvent handler) { ChangeTimerHandler(std::move(handler)); }

  // Stops the timer before each callback, which makes it a one-shot timer.
  bool OneShot = false;

  // Whether the system timer is now set.
  bool StartTimer();
  // clearEnabled unset leaves the timer paused. Returns whether KillTimer succeeded.
  bool StopTimer(bool clearEnabled);

private:
  friend LRESULT CALLBACK TimerWindowProc(HWND, UINT, WPARAM, LPARAM);

  void ChangeTimerInterval(std::uint32_t value);
  void ChangeTimerHandler(TNotifyEvent handler);
  void Tick();

  UINT_PTR identifier_ = 0;
  bool enabled_ = false;
  std::uint32_t interval_ = DefaultInterval;
  TNotifyEvent onTimer_;
};
