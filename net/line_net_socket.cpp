#include "net/line_net_socket.h"

TCustomLineNetSocket::TCustomLineNetSocket(TComponent* Owner) : TCustomSocksNetSocket(Owner) {}

void TCustomLineNetSocket::NotifyLineLimitExceeded(int RcvdLength, bool& ClearData)
{
  if (OnLineLimitExceeded)
    OnLineLimitExceeded(this, RcvdLength, ClearData);
}

int TCustomLineNetSocket::SendTextLine(const std::string& Text)
{
  if (Text.empty())
    return 0;
  QueueData(Text.data(), static_cast<int>(Text.size()));
  SendText(LineEnd);
  return static_cast<int>(Text.size()) + 2;
}
