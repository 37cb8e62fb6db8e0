#include "net/sync_net_socket.h"

#include "platform/application.h"

namespace {

constexpr int kWaitAbandoned = 12001;
// How late a change made without a message (a flag set by another part of
// the program) is seen at most.
constexpr DWORD kLongestQuietWaitMs = 100;

}  // namespace

int TCustomSyncNetSocket::RunAndWait(const std::function<void()>& proc, bool& done)
{
  done = false;
  if (proc)
    proc();
  return WaitReady(done);
}

int TCustomSyncNetSocket::WaitReady(bool& done)
{
  // Handlers run inside the wait and may destroy this socket: after every
  // batch of messages only the flag that outlives it is read.
  const auto alive = AliveFlag();
  bool sawOpen = false;
  for (;;) {
    if (done)
      return 0;
    if (!*alive)
      return kWaitAbandoned;
    if ((Application != nullptr && Application->Terminated()) || QuitReceived())
      return kWaitAbandoned;
    if (State() != wsClosed)
      sawOpen = true;
    else if (sawOpen)
      return kWaitAbandoned;
    PumpMessages();
    if (done)
      return 0;
    if (!*alive)
      return kWaitAbandoned;
    // Sleep until a message arrives rather than polling.
    MsgWaitForMultipleObjectsEx(0, nullptr, kLongestQuietWaitMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}
