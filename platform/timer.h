#pragma once

#include <memory>

#include "platform/component.h"
#include "platform/hidden_window.h"

// Window-message timer. The core's scheduling relies on these rules:
// - setting Interval or Enabled to the value it holds does nothing;
// - any other change on an enabled timer restarts its countdown from zero;
// - a new Interval on a disabled timer is only stored until it is enabled;
// - Interval 0 never fires; otherwise it fires every Interval until disabled;
// - OnTimer runs on the thread that created the timer.
class TTimer : public TComponent {
public:
  // The longest interval the system's timers accept (about 24.8 days).
  static constexpr unsigned MaxInterval = 0x7FFFFFFF;

  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);

  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned value);

  TNotifyEvent OnTimer;

  // Fires OnTimer as a tick would (tests and "now" buttons call this).
  void Timer();

private:
  void UpdateTimer();
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

  bool enabled_ = true;
  unsigned interval_ = 1000;
  std::unique_ptr<THiddenWindow> window_;
};
