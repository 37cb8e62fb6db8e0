// Opening a session: Connect, Listen and Accept, Dup of a handle made
// elsewhere, and the steps they share (resolving the addressing texts,
// opening the handle, its options, the notifications asked for).
#include "net/custom_net_socket.h"

#include <initializer_list>
#include <string_view>

#include "net/address_text.h"
#include "net/name_resolution.h"
#include "net/winsock_binding.h"
#include "platform/ascii_text.h"

namespace {

constexpr long kConnectMask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;  // 0x3B
constexpr long kListenMask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;                // 0x2B
constexpr long kDupMask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;                  // 0x33

// Multicast options by their Winsock 1 numbers, as wsock32 knows them (the
// Winsock 2 header gives other values).
constexpr int kWinsock1MulticastIf = 2;
constexpr int kWinsock1MulticastTtl = 3;
constexpr int kWinsock1AddMembership = 5;
// Winsock 2's switch for receiving every packet on a raw socket.
constexpr DWORD kSioRcvAll = 0x98000001;

// A protocol text of Listen that asks for a raw socket, and the longest
// protocol name taken behind it.
constexpr std::string_view kRawProtocolPrefix = "raw_";
constexpr std::size_t kLongestRawProtocolName = 10;

struct TRequiredTarget {
  bool Assigned;
  const char* Refusal;
};

// The refusal for the first target text in targets that is not assigned;
// null when all are.
const char* FirstRefusal(std::initializer_list<TRequiredTarget> targets)
{
  for (const TRequiredTarget& target : targets)
    if (!target.Assigned)
      return target.Refusal;
  return nullptr;
}

// Sets a socket option that takes a 4-byte integer (flags are set with -1,
// SO_BROADCAST with 1, the multicast time to live with its count).
int SetIntOption(SOCKET s, int level, int name, int value)
{
  return Winsock::setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof(value));
}

}  // namespace

void TCustomNetSocket::Connect()
{
  if (socketHandle_ != INVALID_SOCKET && state_ != wsClosed) {
    SignalError("Connect: Socket already in use");
    return;
  }
  // The port is asked for first, so a closed socket whose Port was not
  // assigned again says so.
  if (const char* refusal = FirstRefusal({{port_.Has, "Connect: No Port Specified"},
                                          {addr_.Has, "Connect: No IP Address Specified"},
                                          {proto_.Has, "Connect: No Protocol Specified"}})) {
    SignalError(refusal);
    return;
  }
  const bool resolved = ResolveOrSignal("connect: ", [&] {
    ResolveConnectProto();
    ResolveRemotePort();
    ResolveLocalPort();
    ResolveRemoteAddr();
  });
  if (!resolved || !OpenHandle("Connect (socket)") || !ReadSendBufferSize())
    return;
  ChangeState(wsOpened);
  if (state_ != wsOpened) {
    Winsock::WSASetLastError(WSAEINVAL);
    ReportSocketError("Connect (Invalid operation in OnChangeState)");
    return;
  }
  if (!(socketType_ == SOCK_DGRAM ? ApplyDatagramOptions() : ApplyStreamOptions()))
    return;
  // Anything still queued for this handle value belongs to an earlier socket.
  PurgeSelectMessages(socketHandle_);
  if (!SelectEvents(kConnectMask)) {
    ReportSocketError("WSAAsyncSelect");
    return;
  }
  if (socketType_ == SOCK_DGRAM) {
    if (SessionSurvives([&] { ChangeState(wsConnected); }))
      NotifySessionConnected(0);
    return;
  }
  StartStreamConnect();
}

void TCustomNetSocket::ResolveConnectProto()
{
  if (proto_.LookedUp)
    return;
  proto_.Number = NetSocketResolveProto(proto_.Text);
  socketType_ = proto_.Number == IPPROTO_TCP ? SOCK_STREAM : proto_.Number == IPPROTO_UDP ? SOCK_DGRAM : SOCK_RAW;
  proto_.LookedUp = true;
}

void TCustomNetSocket::ResolveLocalPort()
{
  if (localPort_.LookedUp)
    return;
  localPort_.Number = NetSocketResolvePort(localPort_.Text, proto_.Text);
  localPort_.LookedUp = true;
}

// A datagram socket is always bound, so it has a local port to send from.
bool TCustomNetSocket::ApplyDatagramOptions()
{
  BindSocket();
  if (MultiCast) {
    if (MultiCastIpTTL != 1 &&
        !SetOption(IPPROTO_IP, kWinsock1MulticastTtl, MultiCastIpTTL, "setsockopt(IP_MULTICAST_TTL)"))
      return false;
    if (localAddr_ != "0.0.0.0") {
      in_addr iface;
      iface.s_addr = NetSocketResolveHost(localAddr_);
      if (Winsock::setsockopt(socketHandle_, IPPROTO_IP, kWinsock1MulticastIf, reinterpret_cast<const char*>(&iface),
                              sizeof(iface)) != 0) {
        ReportSocketError("setsockopt(IP_MULTICAST_IF)");
        return false;
      }
    }
  }
  if (remoteSockAddr_.sin_addr.s_addr == INADDR_BROADCAST)
    return SetOption(SOL_SOCKET, SO_BROADCAST, 1, "setsockopt(SO_BROADCAST)");
  return true;
}

// A stream socket is bound only when a local end was asked for.
bool TCustomNetSocket::ApplyStreamOptions()
{
  if (!SetOption(SOL_SOCKET, SO_REUSEADDR, -1, "setsockopt(SO_REUSEADDR)"))
    return false;
  if (ComponentOptions.Contains(wsoTcpNoDelay) &&
      !SetOption(IPPROTO_TCP, TCP_NODELAY, -1, "setsockopt(IPPROTO_TCP, TCP_NODELAY)"))
    return false;
  ApplyLinger();
  if (!SetOption(SOL_SOCKET, SO_KEEPALIVE, -1, "setsockopt(SO_KEEPALIVE)"))
    return false;
  if (localPort_.Number != 0 || localAddr_ != "0.0.0.0")
    BindSocket();
  return true;
}

// The connection completes with the connect notification.
void TCustomNetSocket::StartStreamConnect()
{
  if (Winsock::connect(socketHandle_, reinterpret_cast<const sockaddr*>(&remoteSockAddr_), sizeof(remoteSockAddr_)) ==
      0) {
    ChangeState(wsConnecting);
    return;
  }
  const int err = Winsock::WSAGetLastError();
  if (err == WSAEWOULDBLOCK) {
    ChangeState(wsConnecting);
    return;
  }
  lastError_ = err;
  ReportSocketError("Connect");
}

void TCustomNetSocket::BindSocket()
{
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = Winsock::htons(static_cast<u_short>(localPort_.Number));
  local.sin_addr.s_addr = NetSocketResolveHost(localAddr_);
  if (Winsock::bind(socketHandle_, reinterpret_cast<const sockaddr*>(&local), sizeof(local)) != 0) {
    SignalErrorFmt("winsock.bind failed, error #%d", Winsock::WSAGetLastError());
    return;
  }
  sockaddr_in bound{};
  int len = sizeof(bound);
  if (Winsock::getsockname(socketHandle_, reinterpret_cast<sockaddr*>(&bound), &len) != 0) {
    SignalErrorFmt("winsock.getsockname failed, error #%d", Winsock::WSAGetLastError());
    return;
  }
  localPort_.Number = Winsock::ntohs(bound.sin_port);
  localPort_.Text = std::to_string(localPort_.Number);
}

void TCustomNetSocket::ApplyLinger()
{
  if (LingerOnOff == wsLingerNoSet)
    return;
  if (socketHandle_ == INVALID_SOCKET) {
    SignalError("Cannot set linger option at this time");
    return;
  }
  linger value;
  value.l_onoff = static_cast<u_short>(LingerOnOff == wsLingerOff ? 0 : 1);
  value.l_linger = static_cast<u_short>(LingerTimeout);
  if (Winsock::setsockopt(socketHandle_, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&value), sizeof(value)) !=
      0)
    ReportSocketError("setsockopt(SO_LINGER)");
}

void TCustomNetSocket::Listen()
{
  if (const char* refusal = FirstRefusal({{port_.Has, "listen: port not assigned"},
                                          {proto_.Has, "listen: protocol not assigned"},
                                          {addr_.Has, "listen: address not assigned"}})) {
    Winsock::WSASetLastError(WSAEINVAL);
    ReportSocketError(refusal);
    return;
  }
  const bool resolved = ResolveOrSignal("listen: ", [&] {
    ResolveListenProto();
    ResolveRemotePort();
    ResolveRemoteAddr();
  });
  if (!resolved || !OpenHandle("socket"))
    return;
  // Each step fires OnChangeState or OnSessionConnected. A handler that closed
  // the socket there, and perhaps connected again, has ended the session
  // being set up: nothing further of it applies to the next one.
  const unsigned session = sessionSerial_;
  if (!BindListeningHandle() || sessionSerial_ != session)
    return;
  bool listening = false;
  if (socketType_ == SOCK_STREAM)
    listening = ListenForConnections();
  else if (socketType_ == SOCK_DGRAM)
    listening = ListenForDatagrams();
  else
    listening = ListenForRawPackets();
  if (!listening || sessionSerial_ != session)
    return;
  if (!SelectEvents(kListenMask))
    ReportSocketError("WSAASyncSelect");
}

// A protocol named "raw_" and a name or number (any case) opens a raw socket
// for that protocol.
void TCustomNetSocket::ResolveListenProto()
{
  if (proto_.LookedUp)
    return;
  if (LowerAscii(proto_.Text.substr(0, kRawProtocolPrefix.size())) == kRawProtocolPrefix) {
    socketType_ = SOCK_RAW;
    proto_.Number = NetSocketResolveProto(proto_.Text.substr(kRawProtocolPrefix.size(), kLongestRawProtocolName));
  } else {
    proto_.Number = NetSocketResolveProto(proto_.Text);
    socketType_ = proto_.Number == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
  }
  proto_.LookedUp = true;
}

// Still wsClosed here, where a close would not see the handle: it is dropped
// before a failure is reported, so no report can leave it behind.
bool TCustomNetSocket::BindListeningHandle()
{
  if (socketType_ == SOCK_DGRAM && ReuseAddr && SetIntOption(socketHandle_, SOL_SOCKET, SO_REUSEADDR, -1) != 0) {
    AbandonHandle();
    ReportSocketError("setsockopt(SO_REUSEADDR)");
    CloseConnection();
    return false;
  }
  if (Winsock::bind(socketHandle_, reinterpret_cast<const sockaddr*>(&remoteSockAddr_), sizeof(remoteSockAddr_)) != 0) {
    AbandonHandle();
    ReportSocketError("Bind");
    CloseConnection();
    return false;
  }
  ChangeState(wsBound);
  return true;
}

bool TCustomNetSocket::ListenForConnections()
{
  if (Winsock::listen(socketHandle_, ListenBacklog) != 0) {
    ReportSocketError("Listen");
    return false;
  }
  ChangeState(wsListening);
  return true;
}

bool TCustomNetSocket::ListenForDatagrams()
{
  if (MultiCast) {
    struct {
      in_addr imr_multiaddr;
      in_addr imr_interface;
    } request;
    request.imr_multiaddr.s_addr = Winsock::inet_addr(MultiCastAddrStr.c_str());
    request.imr_interface.s_addr = NetSocketResolveHost(addr_.Text);
    if (Winsock::setsockopt(socketHandle_, IPPROTO_IP, kWinsock1AddMembership, reinterpret_cast<const char*>(&request),
                            sizeof(request)) != 0) {
      ReportSocketError("setsockopt(IP_ADD_MEMBERSHIP)");
      return false;
    }
  }
  EnterReceivingSession();
  return true;
}

bool TCustomNetSocket::ListenForRawPackets()
{
  if (ComponentOptions.Contains(wsoSIO_RCVALL)) {
    DWORD one = 1;
    DWORD out = 0;
    DWORD bytes = 0;
    if (Winsock::WSAIoctl(socketHandle_, kSioRcvAll, &one, sizeof(one), &out, sizeof(out), &bytes, nullptr, nullptr) ==
        SOCKET_ERROR) {
      // Closed also when the report throws.
      try {
        ReportSocketError("WSAIoctl(SIO_RCVALL)");
      } catch (...) {
        CloseConnection();
        throw;
      }
      CloseConnection();
      return false;
    }
  }
  EnterReceivingSession();
  return true;
}

// A listening datagram or raw socket has no connections to wait for: it
// counts as connected at once.
void TCustomNetSocket::EnterReceivingSession()
{
  if (SessionSurvives([&] { ChangeState(wsListening); }) && SessionSurvives([&] { ChangeState(wsConnected); }))
    NotifySessionConnected(0);
}

SOCKET TCustomNetSocket::Accept()
{
  if (state_ != wsListening) {
    Winsock::WSASetLastError(WSAEINVAL);
    ReportSocketError("not a listening socket");
    return INVALID_SOCKET;
  }
  int len = sizeof(remoteSockAddr_);
  acceptedHandle_ = Winsock::accept(socketHandle_, reinterpret_cast<sockaddr*>(&remoteSockAddr_), &len);
  if (acceptedHandle_ == INVALID_SOCKET) {
    ReportSocketError("Accept");
    return INVALID_SOCKET;
  }
  return acceptedHandle_;
}

void TCustomNetSocket::Dup(SOCKET newHandle)
{
  if (newHandle == 0 || newHandle == INVALID_SOCKET) {
    Winsock::WSASetLastError(WSAEINVAL);
    ReportSocketError("Dup");
    return;
  }
  // The handle is handed over with the call: no way out leaves it open.
  if (state_ != wsClosed) {
    const SOCKET old = socketHandle_;
    const int result = Winsock::closesocket(old);
    const int code = Winsock::WSAGetLastError();
    DropHandle(old);
    const unsigned begun = SessionsBegun();
    // With the handle gone the socket is closed, failed or not: nothing
    // later may take it for connected and report a send as done.
    ChangeState(wsClosed);
    if (result != 0) {
      Winsock::closesocket(newHandle);
      Winsock::WSASetLastError(code);
      ReportSocketError("Dup (closesocket)");
      return;
    }
    // An OnChangeState handler opened a session of its own: it stays.
    if (SessionsBegun() != begun) {
      Winsock::closesocket(newHandle);
      Winsock::WSASetLastError(WSAEINVAL);
      ReportSocketError("Dup (Invalid operation in OnChangeState)");
      return;
    }
  }
  TakeOnHandle(newHandle);
  // Until MarkConnected the state is wsClosed, where no close would find the
  // handle: a failure drops it before it is reported.
  try {
    if (!ReadSendBufferSize())
      return;
    ApplyLinger();
    if (!SelectEvents(kDupMask)) {
      AbandonHandle();
      ReportSocketError("WSAAsyncSelect");
      return;
    }
  } catch (...) {
    AbandonHandle();  // reported by throwing, with no OnError handler
    throw;
  }
  MarkConnected();
}

void TCustomNetSocket::MarkConnected()
{
  ChangeState(wsConnected);
}

bool TCustomNetSocket::ResolveOrSignal(const char* context, const std::function<void()>& resolve)
{
  try {
    resolve();
  } catch (Exception& e) {
    SignalError(context + e.Message());
    return false;
  }
  return true;
}

void TCustomNetSocket::ResolvePeerPort(const std::string& text)
{
  if (port_.LookedUp)
    return;
  port_.Number = NetSocketResolvePort(text, proto_.Text);
  remoteSockAddr_.sin_port = Winsock::htons(static_cast<u_short>(port_.Number));
  port_.LookedUp = true;
}

void TCustomNetSocket::ResolvePeerAddr(const std::string& text)
{
  if (addr_.LookedUp)
    return;
  remoteSockAddr_.sin_addr.s_addr = NetSocketResolveHost(text);
  addr_.LookedUp = true;
}

bool TCustomNetSocket::OpenHandle(const char* reportedCall)
{
  DeleteSendQueue();
  const SOCKET handle = Winsock::socket(addrFamily_, socketType_, proto_.Number);
  if (handle != INVALID_SOCKET) {
    TakeOnHandle(handle);
    return true;
  }
  socketHandle_ = INVALID_SOCKET;
  ReportSocketError(reportedCall);
  return false;
}

// Still wsClosed here: no close would find the handle, so a failure drops it.
bool TCustomNetSocket::ReadSendBufferSize()
{
  int size = 0;
  int len = sizeof(size);
  if (CountedGetSockOpt(socketHandle_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&size), &len) != 0) {
    AbandonHandle();
    ReportSocketError("getsockopt(SO_SNDBUF)");
    return false;
  }
  sendBufferSize_ = size;
  return true;
}

void TCustomNetSocket::TakeOnHandle(SOCKET handle)
{
  // Whatever an earlier session left queued is not for this peer, also where
  // that session's close was left before its reset (a handler opened this one
  // from inside it).
  DeleteSendQueue();
  sendQueueEmpty_ = true;
  socketHandle_ = handle;
  ++sessionSerial_;
  ++sessionsBegun_;
  BeginSession();
}

void TCustomNetSocket::AbandonHandle()
{
  const int code = Winsock::WSAGetLastError();
  const SOCKET old = socketHandle_;
  if (old != INVALID_SOCKET && state_ == wsClosed) {
    Winsock::closesocket(old);
    DropHandle(old);
  }
  Winsock::WSASetLastError(code);
}

bool TCustomNetSocket::SetOption(int level, int name, int value, const char* failure)
{
  if (SetIntOption(socketHandle_, level, name, value) == 0)
    return true;
  ReportSocketError(failure);
  return false;
}

bool TCustomNetSocket::SelectEvents(long mask)
{
  selectMask_ = static_cast<int>(mask);
  return Winsock::WSAAsyncSelect(socketHandle_, hiddenWindow_, WM_SOCKET_SELECT, mask) == 0;
}
