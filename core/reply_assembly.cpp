#include "core/reply_assembly.h"

#include "net/net_socket.h"

bool CollectReplyBytes(TNetSocket& socket, std::string& pending)
{
  const int waiting = socket.ReadRcvdCount();
  if (waiting <= 0)
    return !pending.empty();
  std::string chunk(static_cast<std::size_t>(waiting), '\0');
  int received = 0;
  try {
    received = socket.ReceiveData(chunk.data(), waiting);
  } catch (...) {
    // Whatever the read threw, the pieces so far cannot become a whole reply
    // and the session is of no more use; the caller reports the exception.
    pending.clear();
    socket.CloseConnection();
    throw;
  }
  if (received > 0)
    pending.append(chunk.data(), static_cast<std::size_t>(received));
  return true;
}
