#pragma once

// The socket component as the rest of the system uses it: TNetSocket with its
// states, options and event types.

#include "net/socket_exception.h"
#include "net/socket_types.h"
#include "net/sync_net_socket.h"

// Publishes every property and event of the layers below; adds no behaviour.
class TNetSocket : public TCustomSyncNetSocket {
public:
  using TCustomSyncNetSocket::TCustomSyncNetSocket;
};
