#pragma once

#include "net/line_net_socket.h"

// The synchronous-wait layer.
class TCustomSyncNetSocket : public TCustomLineNetSocket {
public:
  using TCustomLineNetSocket::TCustomLineNetSocket;
};
