#include "net/socks_net_socket.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <typeinfo>

#include "net/address_text.h"
#include "net/name_resolution.h"
#include "net/winsock_binding.h"
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

// What a refused SOCKS 5 connect request means: reply codes 1 to 8 in order.
void Socks5ReplyError(unsigned char code, int& error, std::string& text)
{
  static const struct {
    TSocksError Code;
    const char* Text;
  } kRefusals[] = {
      {SocksGeneralFailure, "general SOCKS server failure"},
      {SocksConnectionNotAllowed, "connection not allowed by ruleset"},
      {SocksNetworkUnreachable, "network unreachable"},
      {SocksHostUnreachable, "host unreachable"},
      {SocksConnectionRefused, "connection refused"},
      {SocksTtlExpired, "time to live expired"},
      {SocksCommandNotSupported, "command not supported"},
      {SocksAddressTypeNotSupported, "address type not supported"},
  };
  if (code >= 1 && code <= std::size(kRefusals)) {
    error = kRefusals[code - 1].Code;
    text = kRefusals[code - 1].Text;
  } else {
    error = SocksUnassignedError;
    text = "unassigned error #" + std::to_string(code);
  }
}

// What a refused SOCKS 4 request means.
void Socks4ReplyError(unsigned char code, int& error, std::string& text)
{
  switch (code) {
  case 91:
    error = SocksRequestRejected;
    text = "request rejected or failed";
    break;
  case 92:
    error = SocksConnectionRefused;
    text = "connection refused";
    break;
  case 93:
    error = SocksAuthenticationFailed;
    text = "authentification failed";
    break;
  default:
    error = SocksUnassignedError;
    text = "unassigned error #" + std::to_string(code);
    break;
  }
}

constexpr int kReplyLimit = 127;  // the reply buffer less the byte kept free
constexpr int kSocks4ReplySize = 8;

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
  const std::string stored = TrimText(Value);
  if (stored != socksServer_) {
    // The peer address resolved by a failed attempt belongs to the old route
    // (relay or destination): resolve the new one afresh.
    addrLookedUp_ = false;
    portLookedUp_ = false;
  }
  socksServer_ = stored;
  hasSocksServer_ = !socksServer_.empty();
}

void TCustomSocksNetSocket::AssignSocksPort(const std::string& Value)
{
  if (state_ != wsClosed) {
    SignalError("Can't change socks port if not closed");
    return;
  }
  const std::string stored = TrimText(Value);
  if (stored != socksPort_)
    portLookedUp_ = false;
  socksPort_ = stored;
  hasSocksPort_ = !socksPort_.empty();
}

std::string TCustomSocksNetSocket::OversizedRequest() const
{
  const int user = static_cast<int>(SocksUsercode.size());
  const int host = static_cast<int>(addrText_.size());
  if (socksLevel_[0] == '4') {
    if (socksLevel_ == "4A") {
      if (10 + user + host > kSocksBufferSize)
        return "socks request too long: user code and host name of " + std::to_string(user + host) +
               " bytes together, at most " + std::to_string(kSocksBufferSize - 10) + " fit";
    } else if (9 + user > kSocksBufferSize) {
      return "socks request too long: user code of " + std::to_string(user) + " bytes, at most " +
             std::to_string(kSocksBufferSize - 9) + " fit";
    }
    return std::string();
  }
  if (7 + host > kSocksBufferSize)
    return "socks request too long: host name of " + std::to_string(host) + " bytes, at most " +
           std::to_string(kSocksBufferSize - 7) + " fit";
  return std::string();
}

bool TCustomSocksNetSocket::RefuseOversized(const std::string& Problem)
{
  if (Problem.empty())
    return false;
  FailSocksSession(SocksInternalError, Problem);
  return true;
}

std::string TCustomSocksNetSocket::OversizedCredentials() const
{
  const int length = static_cast<int>(SocksUsercode.size() + SocksPassword.size());
  if (3 + length > kSocksBufferSize)
    return "socks request too long: user code and password of " + std::to_string(length) + " bytes together, at most " +
           std::to_string(kSocksBufferSize - 3) + " fit";
  return std::string();
}

void TCustomSocksNetSocket::Connect()
{
  // A socket in use is refused by the base before anything of a negotiation
  // under way is touched.
  if (!hasSocksServer_ || (socketHandle_ != INVALID_SOCKET && state_ != wsClosed)) {
    TCustomNetSocket::Connect();
    return;
  }
  if (LowerAscii(protoText_) != "tcp") {
    SignalError("tcp is the only protocol supported thru socks server");
    return;
  }
  try {
    if (!portLookedUp_) {
      const std::uint16_t relayPort = NetSocketResolvePort(socksPort_, protoText_);
      remoteSockAddr_.sin_port = Winsock::htons(relayPort);
      portLookedUp_ = true;
    }
    if (!addrLookedUp_) {
      remoteSockAddr_.sin_addr.s_addr = NetSocketResolveHost(socksServer_);
      addrLookedUp_ = true;
    }
    portNumber_ = NetSocketResolvePort(portText_, protoText_);
  } catch (Exception& e) {
    SignalError("connect: " + e.Message());
    return;
  }
  // Requests are built in a fixed buffer with one-byte length fields: texts
  // that cannot fit are refused before anything is opened.
  std::string oversized = OversizedRequest();
  if (oversized.empty() && socksLevel_[0] != '4' && SocksAuthentication == socksAuthenticateUsercode)
    oversized = OversizedCredentials();
  if (!oversized.empty()) {
    SignalError("connect: " + oversized);
    return;
  }
  socksPhase_ = SocksPhaseMethods;
  socksReplyCount_ = 0;
  try {
    TCustomNetSocket::Connect();
  } catch (...) {
    if (socketHandle_ == INVALID_SOCKET && state_ == wsClosed)
      socksPhase_ = SocksPhaseData;
    throw;
  }
  // Refused before a socket was opened: no negotiation is under way, and a
  // later direct connection must not be taken for one.
  if (socketHandle_ == INVALID_SOCKET && state_ == wsClosed)
    socksPhase_ = SocksPhaseData;
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
  if (socksLevel_[0] == '4') {
    SendSocksConnectRequest();
    return;
  }
  socksMethodOffered_ = SocksAuthentication == socksAuthenticateUsercode ? 2 : 0;
  // Method selection: VER 5 | NMETHODS 1 | METHOD
  const unsigned char request[3] = {5, 1, socksMethodOffered_};
  Send(request, sizeof(request));
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
  // User name and password: VER 1 | ULEN | UNAME | PLEN | PASSWD
  unsigned char request[kSocksBufferSize];
  int len = 0;
  request[len++] = 1;
  request[len++] = static_cast<unsigned char>(SocksUsercode.size());
  std::memcpy(request + len, SocksUsercode.data(), SocksUsercode.size());
  len += static_cast<int>(SocksUsercode.size());
  request[len++] = static_cast<unsigned char>(SocksPassword.size());
  std::memcpy(request + len, SocksPassword.data(), SocksPassword.size());
  len += static_cast<int>(SocksPassword.size());
  try {
    Send(request, len);
  } catch (...) {
  }
}

void TCustomSocksNetSocket::SendSocksConnectRequest()
{
  socksPhase_ = SocksPhaseRequest;
  if (RefuseOversized(OversizedRequest()))
    return;
  unsigned char request[kSocksBufferSize];
  int len = 0;
  if (socksLevel_[0] == '4') {
    // VER 4 | CMD 1 | DSTPORT (2) | DSTIP (4) | USERID | 0 [| HOST | 0 for 4A]
    const bool socks4a = socksLevel_ == "4A";
    std::uint32_t address = 0;
    if (socks4a) {
      const unsigned char marker[4] = {0, 0, 0, 1};
      std::memcpy(&address, marker, 4);
    } else {
      try {
        address = NetSocketResolveHost(addrText_);
      } catch (const std::exception& e) {
        const std::string message = dynamic_cast<const Exception*>(&e) != nullptr
                                        ? dynamic_cast<const Exception&>(e).Message()
                                        : std::string(e.what());
        ThenEvenIfThrown([&] { NotifySocksError(SocksDestinationUnresolved, ClassNameOf(e) + " " + message); },
                         [&] { CloseSocketHandle(true, SocksDestinationUnresolved); });
        return;
      }
    }
    request[len++] = 4;
    request[len++] = 1;
    request[len++] = static_cast<unsigned char>(portNumber_ >> 8);
    request[len++] = static_cast<unsigned char>(portNumber_);
    std::memcpy(request + len, &address, 4);
    len += 4;
    std::memcpy(request + len, SocksUsercode.data(), SocksUsercode.size());
    len += static_cast<int>(SocksUsercode.size());
    request[len++] = 0;
    if (socks4a) {
      std::memcpy(request + len, addrText_.data(), addrText_.size());
      len += static_cast<int>(addrText_.size());
      request[len++] = 0;
    }
  } else {
    // VER 5 | CMD 1 | RSV 0 | ATYP 3 | LEN | HOST | DSTPORT (2); always a name
    request[len++] = 5;
    request[len++] = 1;
    request[len++] = 0;
    request[len++] = 3;
    request[len++] = static_cast<unsigned char>(addrText_.size());
    std::memcpy(request + len, addrText_.data(), addrText_.size());
    len += static_cast<int>(addrText_.size());
    request[len++] = static_cast<unsigned char>(portNumber_ >> 8);
    request[len++] = static_cast<unsigned char>(portNumber_);
  }
  try {
    Send(request, len);
  } catch (...) {
  }
}

void TCustomSocksNetSocket::FailSocksSession(int Error, const std::string& Msg)
{
  // Out of the negotiation before any handler runs: one that closes the
  // socket must not find it still authenticating.
  socksPhase_ = SocksPhaseData;
  // Both reports and the close come whatever the handlers throw: left open,
  // the relay's later bytes would pass for the destination's.
  const auto code = static_cast<std::uint16_t>(Error);
  const auto reportThenClose = [&] {
    ThenEvenIfThrown([&] { NotifySessionConnected(code); }, [&] { CloseSocketHandle(true, code); });
  };
  ThenEvenIfThrown([&] { NotifySocksError(Error, Msg); }, reportThenClose);
}

bool TCustomSocksNetSocket::CollectReply(int Limit)
{
  const int count = ReceiveData(socksReply_ + socksReplyCount_, Limit - socksReplyCount_);
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
  case SocksPhaseRequest: return socksLevel_[0] == '4' ? ParseSocks4Reply() : ParseSocks5Reply();
  default: FailSocksSession(SocksInternalError, "internal error"); return false;
  }
}

bool TCustomSocksNetSocket::ParseMethodReply()
{
  // VER 5 | METHOD
  if (!CollectReply(kReplyLimit))
    return true;
  if (socksLevel_[0] == '4') {
    FailSocksSession(SocksLogicError, "TNetSocket logic error");
    return true;
  }
  if (socksReplyCount_ < 2)
    return true;
  socksReplyCount_ = 0;
  if (socksReply_[0] != 5) {
    FailSocksSession(SocksVersionError, "socks version error");
    return true;
  }
  switch (socksReply_[1]) {
  case 0:
    if (socksMethodOffered_ == 2)
      ThenEvenIfThrown([&] { NotifySocksAuthState(socksAuthNotRequired); }, [&] { SendSocksConnectRequest(); });
    else
      SendSocksConnectRequest();
    break;
  case 2:
    // Credentials go only to a relay that was offered them.
    if (socksMethodOffered_ != 2) {
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
  if (socksReplyCount_ >= 1 && socksReply_[0] != 1) {
    FailSocksSession(SocksVersionError, "socks version error");
    return true;
  }
  if (socksReplyCount_ > 2) {
    FailSocksSession(SocksLogicError, "too much data availaible");
    return true;
  }
  if (socksReplyCount_ < 2)
    return true;
  if (socksReply_[1] != 0) {
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
  if (socksReply_[0] != 0) {
    FailSocksSession(SocksVersionError, "socks version error");
    return true;
  }
  if (socksReply_[1] != 90) {
    int error = 0;
    std::string text;
    Socks4ReplyError(socksReply_[1], error, text);
    FailSocksSession(error, text);
    return true;
  }
  return StartRelayedSession();
}

bool TCustomSocksNetSocket::ParseSocks5Reply()
{
  // VER 5 | REP | RSV | ATYP | BND.ADDR (4, or LEN + name) | BND.PORT (2)
  if (!CollectReply(kReplyLimit))
    return true;
  if (socksReplyCount_ >= 1 && socksReply_[0] != 5) {
    FailSocksSession(SocksVersionError, "socks version error");
    return true;
  }
  if (socksReplyCount_ >= 2 && socksReply_[1] != 0) {
    int error = 0;
    std::string text;
    Socks5ReplyError(socksReply_[1], error, text);
    FailSocksSession(error, text);
    return true;
  }
  if (socksReplyCount_ < 5)
    return true;
  const unsigned char addressType = socksReply_[3];
  const int length = addressType == 1 ? 10 : addressType == 3 ? socksReply_[4] + 7 : 5;
  // A bound name that cannot fit the reply buffer would leave the reply
  // unfinished for ever.
  if (length > kReplyLimit) {
    FailSocksSession(SocksInternalError, "socks reply too long: bound host name of " + std::to_string(socksReply_[4]) +
                                             " bytes, at most " + std::to_string(kReplyLimit - 7) + " fit");
    return true;
  }
  if (socksReplyCount_ < length)
    return true;
  if (addressType != 1 && addressType != 3) {
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

int TCustomSocksNetSocket::RawRecv(void* Buffer, int BufferSize, int Flags)
{
  if (socksLeftoverCount_ > 0) {
    const int count = std::max(0, std::min(BufferSize, socksLeftoverCount_));
    std::memcpy(Buffer, socksReply_ + socksLeftoverPos_, static_cast<std::size_t>(count));
    socksLeftoverPos_ += count;
    socksLeftoverCount_ -= count;
    return count;
  }
  return TCustomNetSocket::RawRecv(Buffer, BufferSize, Flags);
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

void TCustomSocksNetSocket::BeginSession()
{
  TCustomNetSocket::BeginSession();
  socksLeftoverCount_ = 0;  // the phase is Connect's to set
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
