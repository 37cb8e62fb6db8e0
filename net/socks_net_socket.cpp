#include "net/socks_net_socket.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <typeinfo>

#include "net/address_text.h"
#include "net/name_resolution.h"
#include "platform/ascii_text.h"

namespace {

std::string ClassNameOf(const std::exception& e)
{
  int status = 0;
  char* name = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, &status);
  std::string result = status == 0 && name != nullptr ? name : typeid(e).name();
  std::free(name);
  return result;
}

constexpr int kSocks4ReplySize = 8;

}  // namespace

void TCustomSocksNetSocket::AssignSocksLevel(const std::string& value)
{
  if (State() != wsClosed) {
    SignalError("Can't change socks level if not closed");
    return;
  }
  if (value != "4" && value != "5" && value != "4A" && value != "4a") {
    SignalError("Invalid socks level. Must be 4, 4A or 5.");
    return;
  }
  socksLevel_ = value == "4a" ? "4A" : value;
}

void TCustomSocksNetSocket::AssignSocksServer(const std::string& value)
{
  if (State() != wsClosed) {
    SignalError("Can't change socks server if not closed");
    return;
  }
  const std::string stored = TrimText(value);
  if (stored != socksServer_) {
    // The peer address resolved by a failed attempt belongs to the old route
    // (relay or destination): resolve the new one afresh.
    ForgetResolvedPeerAddr();
    ForgetResolvedPeerPort();
  }
  socksServer_ = stored;
  hasSocksServer_ = !socksServer_.empty();
}

void TCustomSocksNetSocket::AssignSocksPort(const std::string& value)
{
  if (State() != wsClosed) {
    SignalError("Can't change socks port if not closed");
    return;
  }
  const std::string stored = TrimText(value);
  if (stored != socksPort_)
    ForgetResolvedPeerPort();
  socksPort_ = stored;
  hasSocksPort_ = !socksPort_.empty();
}

std::string TCustomSocksNetSocket::OversizedRequest() const
{
  if (!IsSocks4())
    return OversizedSocks5Request(Addr());
  if (IsSocks4A())
    return OversizedSocks4ARequest(SocksUsercode, Addr());
  return OversizedSocks4Request(SocksUsercode);
}

std::string TCustomSocksNetSocket::OversizedCredentials() const
{
  return OversizedSocks5Credentials(SocksUsercode, SocksPassword);
}

bool TCustomSocksNetSocket::RefuseOversized(const std::string& problem)
{
  if (problem.empty())
    return false;
  FailSocksSession(SocksInternalError, problem);
  return true;
}

void TCustomSocksNetSocket::Connect()
{
  // A socket in use is refused by the base before anything of a negotiation
  // under way is touched.
  if (!hasSocksServer_ || (SocketHandle() != INVALID_SOCKET && State() != wsClosed)) {
    TCustomNetSocket::Connect();
    return;
  }
  if (LowerAscii(Proto()) != "tcp") {
    SignalError("tcp is the only protocol supported thru socks server");
    return;
  }
  try {
    // The connection goes to the relay; the destination goes in the request.
    ResolvePeerPort(socksPort_);
    ResolvePeerAddr(socksServer_);
    destinationPort_ = NetSocketResolvePort(Port(), Proto());
  } catch (Exception& e) {
    SignalError("connect: " + e.Message());
    return;
  }
  // Requests are built in a fixed buffer with one-byte length fields: texts
  // that cannot fit are refused before anything is opened.
  std::string oversized = OversizedRequest();
  if (oversized.empty() && !IsSocks4() && SocksAuthentication == socksAuthenticateUsercode)
    oversized = OversizedCredentials();
  if (!oversized.empty()) {
    SignalError("connect: " + oversized);
    return;
  }
  // Only the session this call opens negotiates (BeginSession); one that a
  // handler opens from inside it does not, nor does a refused call leave a
  // negotiation for a later direct connection.
  relayedOpenStarting_ = true;
  try {
    TCustomNetSocket::Connect();
  } catch (...) {
    relayedOpenStarting_ = false;
    throw;
  }
  relayedOpenStarting_ = false;
}

void TCustomSocksNetSocket::Listen()
{
  if (hasSocksServer_) {
    SignalError("Listening is not supported thru socks server");
    return;
  }
  TCustomNetSocket::Listen();
}

void TCustomSocksNetSocket::NotifySessionConnected(std::uint16_t ErrCode)
{
  if (socksPhase_ != SocksPhaseMethods) {
    TCustomNetSocket::NotifySessionConnected(ErrCode);
    return;
  }
  if (!SessionSurvives([&] { NotifySocksConnected(ErrCode); }))
    return;
  if (ErrCode != 0) {
    TCustomNetSocket::NotifySessionConnected(ErrCode);
    return;
  }
  if (IsSocks4()) {
    SendSocksConnectRequest();
    return;
  }
  socksMethodOffered_ =
      SocksAuthentication == socksAuthenticateUsercode ? kSocks5UserPassword : kSocks5NoAuthentication;
  SendNegotiationMessage(Socks5MethodSelection(socksMethodOffered_));
}

void TCustomSocksNetSocket::SendSocksCredentials()
{
  if (RefuseOversized(OversizedCredentials()))
    return;
  socksPhase_ = SocksPhaseAuth;
  // The credentials go out whatever the handler throws: the negotiation must
  // not hang on a failed handler.
  ThenEvenIfThrown([&] { NotifySocksAuthState(socksAuthStart); }, [&] { SendCredentialsMessage(); });
}

void TCustomSocksNetSocket::SendCredentialsMessage()
{
  // Checked again: the authentication handler may have changed them.
  if (RefuseOversized(OversizedCredentials()))
    return;
  SendNegotiationMessage(Socks5Credentials(SocksUsercode, SocksPassword));
}

void TCustomSocksNetSocket::SendSocksConnectRequest()
{
  socksPhase_ = SocksPhaseRequest;
  if (RefuseOversized(OversizedRequest()))
    return;
  if (IsSocks4())
    SendSocks4ConnectRequest();
  else
    SendNegotiationMessage(Socks5ConnectRequest(Addr(), destinationPort_));
}

void TCustomSocksNetSocket::SendSocks4ConnectRequest()
{
  if (IsSocks4A()) {
    SendNegotiationMessage(Socks4AConnectRequest(destinationPort_, SocksUsercode, Addr()));
    return;
  }
  std::uint32_t address = 0;
  try {
    address = NetSocketResolveHost(Addr());
  } catch (const std::exception& e) {
    const std::string message = dynamic_cast<const Exception*>(&e) != nullptr
                                    ? dynamic_cast<const Exception&>(e).Message()
                                    : std::string(e.what());
    ThenEvenIfThrown([&] { NotifySocksError(SocksDestinationUnresolved, ClassNameOf(e) + " " + message); },
                     [&] { CloseSocketHandle(true, SocksDestinationUnresolved); });
    return;
  }
  SendNegotiationMessage(Socks4ConnectRequest(destinationPort_, address, SocksUsercode));
}

void TCustomSocksNetSocket::SendNegotiationMessage(const TSocksMessage& message)
{
  // The sizes were checked before the message was built.
  if (message.Spoiled()) {
    FailSocksSession(SocksInternalError, "internal error");
    return;
  }
  const auto alive = AliveFlag();
  const unsigned serial = SessionSerial();
  const unsigned failures = SendFailures();
  bool threw = false;
  try {
    Send(message.Data(), message.Length());
  } catch (...) {
    threw = true;
  }
  // A lost connection closed the session, and its close report ended the
  // negotiation; a handler may have freed the socket.
  if (!*alive || serial != SessionSerial())
    return;
  // Any other failure, reported by throwing or to OnError, leaves the message
  // unsent in the queue and the relay waiting for it: nothing but this ends
  // the negotiation then. An OnSendData handler that threw after Winsock took
  // the bytes leaves the negotiation going.
  if ((threw && SendQueue().PendingBytes() > 0) || SendFailures() != failures)
    FailSocksSession(LastError() != 0 ? LastError() : SocksInternalError, "data send error");
}

void TCustomSocksNetSocket::FailSocksSession(int error, const std::string& msg)
{
  // Out of the negotiation before any handler runs: one that closes the
  // socket must not find it still authenticating.
  socksPhase_ = SocksPhaseData;
  // Both reports and the close come whatever the handlers throw: left open,
  // the relay's later bytes would pass for the destination's.
  const auto code = static_cast<std::uint16_t>(error);
  const auto reportThenClose = [&] {
    ThenEvenIfThrown([&] { NotifySessionConnected(code); }, [&] { CloseSocketHandle(true, code); });
  };
  ThenEvenIfThrown([&] { NotifySocksError(error, msg); }, reportThenClose);
}

bool TCustomSocksNetSocket::CollectReply(int limit)
{
  const int count = ReceiveData(socksReply_ + socksReplyCount_, limit - socksReplyCount_);
  if (count < 0)
    return false;
  socksReplyCount_ += count;
  return true;
}

bool TCustomSocksNetSocket::NotifyDataAvailable(std::uint16_t ErrCode)
{
  if (socksPhase_ == SocksPhaseData)
    return TCustomNetSocket::NotifyDataAvailable(ErrCode);
  if (ErrCode != 0) {
    FailSocksSession(ErrCode, "data receive error");
    return false;
  }
  switch (socksPhase_) {
  case SocksPhaseMethods: return ParseMethodReply();
  case SocksPhaseAuth: return ParseAuthReply();
  case SocksPhaseRequest: return IsSocks4() ? ParseSocks4Reply() : ParseSocks5Reply();
  default: FailSocksSession(SocksInternalError, "internal error"); return false;
  }
}

bool TCustomSocksNetSocket::ParseMethodReply()
{
  // VER 5 | METHOD
  if (!CollectReply(kReplyLimit))
    return true;
  if (IsSocks4()) {
    FailSocksSession(SocksLogicError, "TNetSocket logic error");
    return true;
  }
  if (socksReplyCount_ < 2)
    return true;
  socksReplyCount_ = 0;
  if (socksReply_[0] != kSocks5Version) {
    FailSocksSession(SocksVersionError, "socks version error");
    return true;
  }
  switch (socksReply_[1]) {
  case kSocks5NoAuthentication:
    if (socksMethodOffered_ == kSocks5UserPassword)
      ThenEvenIfThrown([&] { NotifySocksAuthState(socksAuthNotRequired); }, [&] { SendSocksConnectRequest(); });
    else
      SendSocksConnectRequest();
    break;
  case kSocks5UserPassword:
    // Credentials go only to a relay that was offered them.
    if (socksMethodOffered_ != kSocks5UserPassword) {
      FailSocksSession(SocksMethodNotAcceptable, "authentification method not acceptable");
      break;
    }
    SendSocksCredentials();
    break;
  default: FailSocksSession(SocksMethodNotAcceptable, "authentification method not acceptable"); break;
  }
  return true;
}

bool TCustomSocksNetSocket::ParseAuthReply()
{
  // VER 1 | STATUS
  if (!CollectReply(kReplyLimit))
    return true;
  if (socksReplyCount_ >= 1 && socksReply_[0] != kCredentialsVersion) {
    FailSocksSession(SocksVersionError, "socks version error");
    return true;
  }
  if (socksReplyCount_ > 2) {
    FailSocksSession(SocksLogicError, "too much data availaible");
    return true;
  }
  if (socksReplyCount_ < 2)
    return true;
  if (socksReply_[1] != kCredentialsAccepted) {
    FailSocksSession(SocksAuthenticationFailed, "socks authentication failed");
    return true;
  }
  socksReplyCount_ = 0;
  ThenEvenIfThrown([&] { NotifySocksAuthState(socksAuthSuccess); }, [&] { SendSocksConnectRequest(); });
  return true;
}

bool TCustomSocksNetSocket::ParseSocks4Reply()
{
  // VN 0 | CD | DSTPORT (2) | DSTIP (4); never read past it
  if (!CollectReply(kSocks4ReplySize))
    return true;
  if (socksReplyCount_ < kSocks4ReplySize)
    return true;
  socksReplyCount_ = 0;
  if (socksReply_[0] != kSocks4ReplyVersion) {
    FailSocksSession(SocksVersionError, "socks version error");
    return true;
  }
  if (socksReply_[1] != kSocks4Granted) {
    const TSocksRefusal refusal = Socks4Refusal(socksReply_[1]);
    FailSocksSession(refusal.Code, refusal.Text);
    return true;
  }
  return StartRelayedSession();
}

bool TCustomSocksNetSocket::ParseSocks5Reply()
{
  // VER 5 | REP | RSV | ATYP | BND.ADDR (4, or LEN + name) | BND.PORT (2)
  if (!CollectReply(kReplyLimit))
    return true;
  if (socksReplyCount_ >= 1 && socksReply_[0] != kSocks5Version) {
    FailSocksSession(SocksVersionError, "socks version error");
    return true;
  }
  if (socksReplyCount_ >= 2 && socksReply_[1] != kSocks5Succeeded) {
    const TSocksRefusal refusal = Socks5Refusal(socksReply_[1]);
    FailSocksSession(refusal.Code, refusal.Text);
    return true;
  }
  if (socksReplyCount_ < 5)
    return true;
  const unsigned char addressType = socksReply_[3];
  // 10 bytes with an IPv4 address, 7 and the name's with a name; the first 5
  // are enough to judge any other type.
  const int length = addressType == kSocks5AddressIPv4   ? 10
                     : addressType == kSocks5AddressName ? socksReply_[4] + 7
                                                         : 5;
  // A bound name that cannot fit the reply buffer would leave the reply
  // unfinished for ever.
  if (length > kReplyLimit) {
    FailSocksSession(SocksInternalError, "socks reply too long: bound host name of " + std::to_string(socksReply_[4]) +
                                             " bytes, at most " + std::to_string(kReplyLimit - 7) + " fit");
    return true;
  }
  if (socksReplyCount_ < length)
    return true;
  if (addressType != kSocks5AddressIPv4 && addressType != kSocks5AddressName) {
    FailSocksSession(SocksAddressTypeNotSupported, "address type not supported");
    return true;
  }
  // Bytes that came behind the reply are the application's first bytes; they
  // are in place before OnSessionConnected, so a handler that reads there
  // already gets them ahead of anything still in the socket.
  socksLeftoverCount_ = std::max(0, socksReplyCount_ - length);
  socksLeftoverPos_ = length;
  return StartRelayedSession();
}

bool TCustomSocksNetSocket::StartRelayedSession()
{
  socksPhase_ = SocksPhaseData;
  if (!SessionSurvives([&] { NotifySessionConnected(0); }))
    return true;
  // Offers at once what already waits behind the reply.
  return NotifyDataAvailable(0);
}

int TCustomSocksNetSocket::ReadRcvdCount()
{
  if (socksLeftoverCount_ > 0)
    return socksLeftoverCount_;
  return TCustomNetSocket::ReadRcvdCount();
}

int TCustomSocksNetSocket::RawRecv(void* buffer, int bufferSize, int flags)
{
  if (socksLeftoverCount_ > 0) {
    const int count = std::max(0, std::min(bufferSize, socksLeftoverCount_));
    std::memcpy(buffer, socksReply_ + socksLeftoverPos_, static_cast<std::size_t>(count));
    socksLeftoverPos_ += count;
    socksLeftoverCount_ -= count;
    return count;
  }
  return TCustomNetSocket::RawRecv(buffer, bufferSize, flags);
}

void TCustomSocksNetSocket::NotifySessionClosed(std::uint16_t ErrCode)
{
  const bool authenticating = socksPhase_ == SocksPhaseAuth;
  // The session is over: nothing of its negotiation may reach the next one,
  // also where the close is not followed by a reset of the defaults.
  socksPhase_ = SocksPhaseData;
  socksLeftoverCount_ = 0;
  ReportEvenIfThrown(
      [&] {
        if (authenticating)
          NotifySocksAuthState(socksAuthFailure);
      },
      [&] { TCustomNetSocket::NotifySessionClosed(ErrCode); });
}

void TCustomSocksNetSocket::NotifySocksConnected(std::uint16_t ErrCode)
{
  if (OnSocksConnected)
    OnSocksConnected(this, ErrCode);
}

void TCustomSocksNetSocket::NotifySocksError(int error, const std::string& msg)
{
  if (OnSocksError)
    OnSocksError(this, error, msg);
}

void TCustomSocksNetSocket::NotifySocksAuthState(TSocksAuthState authState)
{
  if (OnSocksAuthState)
    OnSocksAuthState(this, authState);
}

void TCustomSocksNetSocket::BeginSession()
{
  TCustomNetSocket::BeginSession();
  socksLeftoverCount_ = 0;
  socksReplyCount_ = 0;
  // Any other session (an adopted handle, a direct connection opened while a
  // negotiation waited) starts with the application's data.
  socksPhase_ = relayedOpenStarting_ ? SocksPhaseMethods : SocksPhaseData;
  relayedOpenStarting_ = false;
}

void TCustomSocksNetSocket::ResetToDefaults()
{
  TCustomNetSocket::ResetToDefaults();
  socksPhase_ = SocksPhaseData;
  socksServer_.clear();
  socksPort_.clear();
  socksLevel_.assign(1, '5');  // assigning the literal trips a false -Wrestrict in GCC 12
  socksReplyCount_ = 0;
  socksLeftoverCount_ = 0;
  socksLeftoverPos_ = 0;
  hasSocksPort_ = false;
  hasSocksServer_ = false;
}
