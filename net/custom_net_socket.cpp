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

TCustomNetSocket::TCustomNetSocket(TComponent* Owner) : TComponent(Owner), alive_(std::make_shared<bool>(true))
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
  FlushTimeout = 60;
}

void TCustomNetSocket::BeginSession()
{
  closeNotified_ = false;
  readCount_ = 0;
  isPaused_ = false;
}

void TCustomNetSocket::ChangeState(TSocketState NewState)
{
  const TSocketState old = state_;
  state_ = NewState;
  if (old != NewState)
    NotifyChangeState(old, NewState);
}

BYTE TCustomNetSocket::ReqVerLow() const
{
  return WinsockReqVerLow();
}

BYTE TCustomNetSocket::ReqVerHigh() const
{
  return WinsockReqVerHigh();
}

void TCustomNetSocket::SetReqVerLow(BYTE Value)
{
  ChangeReqVer(Value, WinsockReqVerHigh(), "SetReqVerLow");
}

void TCustomNetSocket::SetReqVerHigh(BYTE Value)
{
  ChangeReqVer(WinsockReqVerLow(), Value, "SetReqVerHigh");
}

// The version is asked for when Winsock starts: once it is loaded, only the
// version in use can be set.
void TCustomNetSocket::ChangeReqVer(BYTE Low, BYTE High, const char* Setter)
{
  if (Low == WinsockReqVerLow() && High == WinsockReqVerHigh())
    return;
  if (WinsockLoaded()) {
    ReportSocketError(std::string(Setter) + ": WinSock version can't be changed now");
    return;
  }
  SetWinsockReqVer(Low, High);
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

void TCustomNetSocket::SetSendFlags(TSocketSendFlags Value)
{
  switch (Value) {
  case wsSendNormal: sendFlags_ = 0; break;
  case wsSendUrgent: sendFlags_ = MSG_OOB; break;
  default: SignalError("Invalid SendFlags");
  }
}

bool TCustomNetSocket::RequireClosed(const char* Property)
{
  if (state_ == wsClosed)
    return true;
  SignalError(std::string("Cannot change ") + Property + " if not closed");
  return false;
}

// Assigning the value held is no change, so it passes even on an open socket.
void TCustomNetSocket::AssignTarget(const char* Property, const std::string& Value, TAddressingText& Target)
{
  if (Target.Has && Value == Target.Text)
    return;
  if (!RequireClosed(Property))
    return;
  Target.Text = TrimText(Value);
  Target.Has = !Target.Text.empty();
  Target.LookedUp = false;
}

void TCustomNetSocket::AssignAddr(const std::string& Value)
{
  AssignTarget("Addr", Value, addr_);
}

void TCustomNetSocket::AssignPort(const std::string& Value)
{
  AssignTarget("Port", Value, port_);
}

void TCustomNetSocket::AssignProto(const std::string& Value)
{
  AssignTarget("Proto", Value, proto_);
}

void TCustomNetSocket::AssignLocalAddr(const std::string& Value)
{
  if (!RequireClosed("LocalAddr"))
    return;
  localAddr_ = Value.empty() ? "0.0.0.0" : Value;
}

void TCustomNetSocket::AssignLocalPort(const std::string& Value)
{
  if (!RequireClosed("LocalPort"))
    return;
  localPort_.Text = Value;
  localPort_.LookedUp = false;
}

// A failed query is reported, but it only asked something: a "not connected"
// answer (the peer of a datagram socket) does not end the session.
bool TCustomNetSocket::QueryPeer(sockaddr_in& Peer, const char* Caller)
{
  if (state_ != wsConnected)
    return false;
  int len = sizeof(Peer);
  if (Winsock::getpeername(socketHandle_, reinterpret_cast<sockaddr*>(&Peer), &len) == 0)
    return true;
  ReportSocketError(Caller, false);
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

bool TCustomNetSocket::QueryLocal(sockaddr_in& Local)
{
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening)
    return false;
  int len = sizeof(Local);
  return Winsock::getsockname(socketHandle_, reinterpret_cast<sockaddr*>(&Local), &len) == 0;
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

int TCustomNetSocket::ReadPeerName(sockaddr* Name, int NameLen)
{
  if (state_ != wsConnected)
    return SOCKET_ERROR;
  return Winsock::getpeername(socketHandle_, Name, &NameLen);
}

int TCustomNetSocket::ReadSockName(sockaddr* Name, int& NameLen)
{
  return Winsock::getsockname(socketHandle_, Name, &NameLen);
}
