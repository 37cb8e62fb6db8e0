// The socket component: construction and destruction, the defaults every close
// restores, the state, the properties and the addressing texts. The rest of
// the class lies in one file per concern: custom_net_socket_events.cpp (the
// hidden window and its notifications), custom_net_socket_transfer.cpp
// (receiving and sending), custom_net_socket_lookup.cpp (host lookups),
// custom_net_socket_connect.cpp (connect, listen, accept, Dup),
// custom_net_socket_close.cpp (closing) and custom_net_socket_report.cpp
// (errors, the events fired).
#include "net/custom_net_socket.h"

#include <cstring>

#include "net/address_text.h"
#include "net/lookup_request.h"
#include "net/socket_window.h"
#include "net/winsock_binding.h"

TCustomNetSocket::TCustomNetSocket(TComponent* owner) : TComponent(owner), alive_(std::make_shared<bool>(true))
{
  AddWinsockUser();
  try {
    ResetToDefaults();
    AllocateHiddenWindow();
  } catch (...) {
    *alive_ = false;
    ReleaseWinsockUser();
    throw;
  }
}

TCustomNetSocket::~TCustomNetSocket()
{
  destroying_ = true;
  try {
    CancelLookup();
  } catch (...) {
    // A request that cannot be cancelled is left to its reply, which finds
    // the request's buffer kept below.
  }
  try {
    if (state_ != wsClosed)
      CloseConnection();
  } catch (...) {
    // a destructor reports nothing
  }
  if (socketHandle_ != INVALID_SOCKET) {
    try {
      Winsock::closesocket(socketHandle_);
    } catch (...) {
      // Winsock that cannot be reached any more holds no handle to close.
    }
    socketHandle_ = INVALID_SOCKET;
  }
  DeleteSendQueue();
  if (!lookups_.empty() && hiddenWindow_ != nullptr) {
    // Replies still to come would write into these buffers: the window keeps
    // them until the last reply is in, and each keeps Winsock loaded.
    DetachSocketWindow(hiddenWindow_);
    AdoptOrphanLookups(hiddenWindow_, std::move(lookups_));
    hiddenWindow_ = nullptr;
  } else {
    for (std::size_t i = 0; i < lookups_.size(); ++i)
      ReleaseWinsockUser();
    lookups_.clear();
    ReleaseHiddenWindow();
  }
  *alive_ = false;
  if (SocketWindowCount() == 0)
    UnregisterSocketWindowClass();
  ReleaseWinsockUser();
}

void TCustomNetSocket::ResetToDefaults()
{
  std::memset(&remoteSockAddr_, 0, sizeof(remoteSockAddr_));
  remoteSockAddr_.sin_family = AF_INET;
  addrFamily_ = AF_INET;
  // The texts of Addr and Port stay; they count as unassigned again.
  addr_.Has = addr_.LookedUp = false;
  port_.Has = port_.LookedUp = false;
  proto_.Text = "tcp";
  proto_.Has = true;
  proto_.LookedUp = false;
  proto_.Number = IPPROTO_TCP;
  socketType_ = SOCK_STREAM;
  localPort_.Text = "0";
  localPort_.LookedUp = false;
  localAddr_ = "0.0.0.0";
  LingerOnOff = wsLingerOn;
  LingerTimeout = 0;
  socketHandle_ = INVALID_SOCKET;
  ++sessionSerial_;
  selectMask_ = 0;
  state_ = wsClosed;
  sendQueueEmpty_ = true;
  isPaused_ = false;
  readCount_ = 0;
  closeNotified_ = false;
  FlushTimeout = kDefaultFlushTimeout;
}

void TCustomNetSocket::BeginSession()
{
  closeNotified_ = false;
  readCount_ = 0;
  isPaused_ = false;
}

void TCustomNetSocket::ChangeState(TSocketState newState)
{
  const TSocketState old = state_;
  state_ = newState;
  if (old != newState)
    NotifyChangeState(old, newState);
}

BYTE TCustomNetSocket::ReqVerLow() const
{
  return WinsockReqVerLow();
}

BYTE TCustomNetSocket::ReqVerHigh() const
{
  return WinsockReqVerHigh();
}

void TCustomNetSocket::SetReqVerLow(BYTE value)
{
  ChangeReqVer(value, WinsockReqVerHigh(), "SetReqVerLow");
}

void TCustomNetSocket::SetReqVerHigh(BYTE value)
{
  ChangeReqVer(WinsockReqVerLow(), value, "SetReqVerHigh");
}

// The version is asked for when Winsock starts: once it is loaded, only the
// version in use can be set.
void TCustomNetSocket::ChangeReqVer(BYTE low, BYTE high, const char* setter)
{
  if (low == WinsockReqVerLow() && high == WinsockReqVerHigh())
    return;
  if (WinsockLoaded()) {
    ReportSocketError(std::string(setter) + ": WinSock version can't be changed now");
    return;
  }
  SetWinsockReqVer(low, high);
}

TSocketSendFlags TCustomNetSocket::SendFlags()
{
  if (sendFlags_ == 0)
    return wsSendNormal;
  if (sendFlags_ == MSG_OOB)
    return wsSendUrgent;
  SignalError("Invalid internal SendFlags");
  return wsSendNormal;
}

void TCustomNetSocket::SetSendFlags(TSocketSendFlags value)
{
  switch (value) {
  case wsSendNormal: sendFlags_ = 0; break;
  case wsSendUrgent: sendFlags_ = MSG_OOB; break;
  default: SignalError("Invalid SendFlags");
  }
}

bool TCustomNetSocket::RequireClosed(const char* property)
{
  if (state_ == wsClosed)
    return true;
  SignalError(std::string("Cannot change ") + property + " if not closed");
  return false;
}

// Assigning the value held is no change, so it passes even on an open socket.
void TCustomNetSocket::AssignTarget(const char* property, const std::string& value, TAddressingText& target)
{
  if (target.Has && value == target.Text)
    return;
  if (!RequireClosed(property))
    return;
  target.Text = TrimText(value);
  target.Has = !target.Text.empty();
  target.LookedUp = false;
}

void TCustomNetSocket::AssignAddr(const std::string& value)
{
  AssignTarget("Addr", value, addr_);
}

void TCustomNetSocket::AssignPort(const std::string& value)
{
  AssignTarget("Port", value, port_);
}

void TCustomNetSocket::AssignProto(const std::string& value)
{
  AssignTarget("Proto", value, proto_);
}

void TCustomNetSocket::AssignLocalAddr(const std::string& value)
{
  if (!RequireClosed("LocalAddr"))
    return;
  localAddr_ = value.empty() ? "0.0.0.0" : value;
}

void TCustomNetSocket::AssignLocalPort(const std::string& value)
{
  if (!RequireClosed("LocalPort"))
    return;
  localPort_.Text = value;
  localPort_.LookedUp = false;
}

// A failed query is reported, but it only asked something: a "not connected"
// answer (the peer of a datagram socket) does not end the session.
bool TCustomNetSocket::QueryPeer(sockaddr_in& peer, const char* caller)
{
  if (state_ != wsConnected)
    return false;
  int len = sizeof(peer);
  if (Winsock::getpeername(socketHandle_, reinterpret_cast<sockaddr*>(&peer), &len) == 0)
    return true;
  ReportSocketError(caller, false);
  return false;
}

std::string TCustomNetSocket::GetPeerAddr()
{
  sockaddr_in peer{};
  return QueryPeer(peer, "GetPeerAddr") ? std::string(Winsock::inet_ntoa(peer.sin_addr)) : "error";
}

std::string TCustomNetSocket::GetPeerPort()
{
  sockaddr_in peer{};
  return QueryPeer(peer, "GetPeerPort") ? std::to_string(Winsock::ntohs(peer.sin_port)) : "error";
}

bool TCustomNetSocket::QueryLocal(sockaddr_in& local)
{
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening)
    return false;
  int len = sizeof(local);
  return Winsock::getsockname(socketHandle_, reinterpret_cast<sockaddr*>(&local), &len) == 0;
}

std::string TCustomNetSocket::ReadLocalAddr()
{
  sockaddr_in local{};
  return QueryLocal(local) ? std::string(Winsock::inet_ntoa(local.sin_addr)) : "error";
}

std::string TCustomNetSocket::ReadLocalPort()
{
  sockaddr_in local{};
  return QueryLocal(local) ? std::to_string(Winsock::ntohs(local.sin_port)) : "error";
}

int TCustomNetSocket::ReadPeerName(sockaddr* name, int nameLen)
{
  if (state_ != wsConnected)
    return SOCKET_ERROR;
  return Winsock::getpeername(socketHandle_, name, &nameLen);
}

int TCustomNetSocket::ReadSockName(sockaddr* name, int& nameLen)
{
  return Winsock::getsockname(socketHandle_, name, &nameLen);
}
