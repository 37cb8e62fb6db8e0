#include "platform/timer.h"

#include <algorithm>

#include "platform/application.h"

namespace {

const UINT_PTR kTimerId = 1;
// Sent by another thread that changed the timer: the system's timer belongs to
// the window's thread, so only that thread may restart it.
const UINT kUpdateTimerMessage = WM_APP + 1;

}  // namespace

TTimer::TTimer(TComponent* owner)
    : TComponent(owner),
      window_(std::make_unique<THiddenWindow>([this](UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
        return HandleMessage(message, wParam, lParam, result);
      }))
{
  UpdateTimer();
}

TTimer::~TTimer()
{
  enabled_ = false;
  KillTimer(window_->Handle(), kTimerId);
}

void TTimer::SetEnabled(bool value)
{
  if (value == enabled_)
    return;
  enabled_ = value;
  UpdateTimer();
}

void TTimer::SetInterval(unsigned value)
{
  if (value == interval_)
    return;
  interval_ = value;
  UpdateTimer();
}

void TTimer::Timer()
{
  if (OnTimer)
    OnTimer(this);
}

void TTimer::UpdateTimer()
{
  if (!window_->OnOwnerThread()) {
    SendMessageA(window_->Handle(), kUpdateTimerMessage, 0, 0);
    return;
  }
  KillTimer(window_->Handle(), kTimerId);
  if (enabled_ && interval_ != 0)
    SetTimer(window_->Handle(), kTimerId, std::min(interval_, MaxInterval), nullptr);
}

bool TTimer::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result)
{
  result = 0;
  if (message == kUpdateTimerMessage) {
    UpdateTimer();
    return true;
  }
  if (message == WM_TIMER && wParam == kTimerId) {
    // A tick already queued when the timer was switched off must not run.
    if (!enabled_ || interval_ == 0)
      return true;
    try {
      Timer();
    } catch (...) {
      ReportCurrentException(this);
    }
    return true;
  }
  return false;
}
