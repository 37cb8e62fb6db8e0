#pragma once

#include <functional>

#include "net/line_net_socket.h"

// The synchronous-wait layer: start an operation, then wait, with the
// thread's messages (and so the socket's events) processed meanwhile, until a
// handler sets done.
class TCustomSyncNetSocket : public TCustomLineNetSocket {
public:
  using TCustomLineNetSocket::TCustomLineNetSocket;

  // Clears done, runs proc (when given), then waits.
  int RunAndWait(const std::function<void()>& proc, bool& done);
  // 0 once done is true; 12001 when the wait is abandoned: the application
  // terminates, a quit message was taken, or the socket was closed or
  // destroyed under the wait. There is no time limit; between message batches
  // the thread sleeps until the next message arrives.
  int WaitReady(bool& done);
};
