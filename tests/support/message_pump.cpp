#include "tests/support/message_pump.h"

#include <windows.h>

namespace {

void PumpPending()
{
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

}  // namespace

void PumpMessagesFor(std::chrono::milliseconds duration)
{
  PumpMessagesUntil([] { return false; }, duration);
}

bool PumpMessagesUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    PumpPending();
    if (condition())
      return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline)
      return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left < 10 ? left : 10), QS_ALLINPUT);
  }
}
