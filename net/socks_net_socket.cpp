#include "net/socks_net_socket.h"

#include <cctype>

namespace {

// Blanks and control characters off both ends.
std::string Stripped(const std::string& text)
{
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
    ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
    --last;
  return text.substr(first, last - first);
}

}  // namespace

void TCustomSocksNetSocket::AssignSocksLevel(const std::string& Value)
{
  if (state_ != wsClosed) {
    SignalError("Can't change socks level if not closed");
    return;
  }
  if (Value != "4" && Value != "5" && Value != "4A" && Value != "4a") {
    SignalError("Invalid socks level. Must be 4, 4A or 5.");
    return;
  }
  socksLevel_ = Value == "4a" ? "4A" : Value;
}

void TCustomSocksNetSocket::AssignSocksServer(const std::string& Value)
{
  if (state_ != wsClosed) {
    SignalError("Can't change socks server if not closed");
    return;
  }
  socksServer_ = Stripped(Value);
  hasSocksServer_ = !socksServer_.empty();
}

void TCustomSocksNetSocket::AssignSocksPort(const std::string& Value)
{
  if (state_ != wsClosed) {
    SignalError("Can't change socks port if not closed");
    return;
  }
  socksPort_ = Stripped(Value);
  hasSocksPort_ = !socksPort_.empty();
}

void TCustomSocksNetSocket::Connect()
{
  if (hasSocksServer_) {
    SignalError("connect: relaying through a SOCKS server is not available in this version");
    return;
  }
  TCustomNetSocket::Connect();
}

void TCustomSocksNetSocket::Listen()
{
  if (hasSocksServer_) {
    SignalError("Listening is not supported thru socks server");
    return;
  }
  TCustomNetSocket::Listen();
}

void TCustomSocksNetSocket::NotifySocksConnected(std::uint16_t ErrCode)
{
  if (OnSocksConnected)
    OnSocksConnected(this, ErrCode);
}

void TCustomSocksNetSocket::NotifySocksError(int Error, const std::string& Msg)
{
  if (OnSocksError)
    OnSocksError(this, Error, Msg);
}

void TCustomSocksNetSocket::NotifySocksAuthState(TSocksAuthState AuthState)
{
  if (OnSocksAuthState)
    OnSocksAuthState(this, AuthState);
}

void TCustomSocksNetSocket::ResetToDefaults()
{
  TCustomNetSocket::ResetToDefaults();
  socksPhase_ = SocksPhaseData;
  socksServer_.clear();
  socksPort_.clear();
  socksLevel_.assign(1, '5');  // assigning the literal trips a false -Wrestrict in GCC 12
  hasSocksPort_ = false;
  hasSocksServer_ = false;
}
