#include "net/custom_net_socket.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "net/address_text.h"
#include "net/name_resolution.h"
#include "net/socket_window.h"
#include "net/winsock_binding.h"
#include "net/winsock_error_text.h"
#include "platform/application.h"
#include "platform/ascii_text.h"

namespace {

constexpr long kConnectMask = FD_READ | FD_WRITE | FD_ACCEPT | FD_CONNECT | FD_CLOSE;  // 0x3B
constexpr long kDupMask = FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE;                   // 0x33
// Most bytes of a stream handed to one send call, as a plain 64 KiB write loop does.
constexpr int kSendRun = 64 * 1024;

// Sleeps until a message arrives or a short while has passed, so the loops
// that wait for the network do not spin the processor.
void WaitForMessages(DWORD milliseconds)
{
  MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

int SetBoolOption(SOCKET s, int level, int name, int value)
{
  return Winsock::setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof(value));
}

}  // namespace

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
  hasPort_ = hasAddr_ = false;
  addrLookedUp_ = portLookedUp_ = protoLookedUp_ = localPortLookedUp_ = false;
  hasProto_ = true;
  protoNumber_ = IPPROTO_TCP;
  protoText_ = "tcp";
  socketType_ = SOCK_STREAM;
  localPort_ = "0";
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

void TCustomNetSocket::ChangeState(TSocketState NewState)
{
  const TSocketState old = state_;
  state_ = NewState;
  if (old != NewState)
    NotifyChangeState(old, NewState);
}

// ---- addressing -------------------------------------------------------------

bool TCustomNetSocket::RequireClosed(const char* Property)
{
  if (state_ == wsClosed)
    return true;
  SignalError(std::string("Cannot change ") + Property + " if not closed");
  return false;
}

// Assigning the value held is no change, so it passes even on an open socket.
void TCustomNetSocket::AssignTarget(const char* Property, const std::string& Value, std::string& Text, bool& Has,
                                    bool& LookedUp)
{
  if (Has && Value == Text)
    return;
  if (!RequireClosed(Property))
    return;
  Text = TrimText(Value);
  Has = !Text.empty();
  LookedUp = false;
}

void TCustomNetSocket::AssignAddr(const std::string& Value)
{
  AssignTarget("Addr", Value, addrText_, hasAddr_, addrLookedUp_);
}

void TCustomNetSocket::AssignPort(const std::string& Value)
{
  AssignTarget("Port", Value, portText_, hasPort_, portLookedUp_);
}

void TCustomNetSocket::AssignProto(const std::string& Value)
{
  AssignTarget("Proto", Value, protoText_, hasProto_, protoLookedUp_);
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
  localPort_ = Value;
  localPortLookedUp_ = false;
}

std::string TCustomNetSocket::GetPeerAddr()
{
  std::string result = "error";
  if (state_ == wsConnected) {
    sockaddr_in peer{};
    int len = sizeof(peer);
    if (Winsock::getpeername(socketHandle_, reinterpret_cast<sockaddr*>(&peer), &len) == 0)
      result = Winsock::inet_ntoa(peer.sin_addr);
    else
      ReportSocketError("GetPeerAddr", false);
  }
  return result;
}

std::string TCustomNetSocket::GetPeerPort()
{
  std::string result = "error";
  if (state_ == wsConnected) {
    sockaddr_in peer{};
    int len = sizeof(peer);
    if (Winsock::getpeername(socketHandle_, reinterpret_cast<sockaddr*>(&peer), &len) == 0)
      result = std::to_string(Winsock::ntohs(peer.sin_port));
    else
      ReportSocketError("GetPeerPort", false);
  }
  return result;
}

std::string TCustomNetSocket::ReadLocalAddr()
{
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening)
    return "error";
  sockaddr_in local{};
  int len = sizeof(local);
  if (Winsock::getsockname(socketHandle_, reinterpret_cast<sockaddr*>(&local), &len) != 0)
    return "error";
  return Winsock::inet_ntoa(local.sin_addr);
}

std::string TCustomNetSocket::ReadLocalPort()
{
  if (state_ != wsBound && state_ != wsConnected && state_ != wsListening)
    return "error";
  sockaddr_in local{};
  int len = sizeof(local);
  if (Winsock::getsockname(socketHandle_, reinterpret_cast<sockaddr*>(&local), &len) != 0)
    return "error";
  return std::to_string(Winsock::ntohs(local.sin_port));
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
  if (Value == WinsockReqVerLow())
    return;
  if (WinsockLoaded()) {
    ReportSocketError("SetReqVerLow: WinSock version can't be changed now");
    return;
  }
  SetWinsockReqVer(Value, WinsockReqVerHigh());
}

void TCustomNetSocket::SetReqVerHigh(BYTE Value)
{
  if (Value == WinsockReqVerHigh())
    return;
  if (WinsockLoaded()) {
    ReportSocketError("SetReqVerHigh: WinSock version can't be changed now");
    return;
  }
  SetWinsockReqVer(WinsockReqVerLow(), Value);
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
  case wsSendNormal:
    sendFlags_ = 0;
    break;
  case wsSendUrgent:
    sendFlags_ = MSG_OOB;
    break;
  default:
    SignalError("Invalid SendFlags");
  }
}

// ---- errors -----------------------------------------------------------------

void TCustomNetSocket::SignalError(const std::string& Msg)
{
  if (OnError) {
    NotifyError();
    return;
  }
  throw ESocketException(Msg);
}

void TCustomNetSocket::SignalErrorFmt(const char* Fmt, ...)
{
  char text[1024];
  va_list args;
  va_start(args, Fmt);
  std::vsnprintf(text, sizeof(text), Fmt, args);
  va_end(args);
  SignalError(text);
}

void TCustomNetSocket::ReportSocketError(const std::string& FunctionName, bool CloseOnLoss)
{
  const int code = Winsock::WSAGetLastError();
  const std::string message =
      "Error " + std::to_string(code) + " in function " + FunctionName + "\r\n" + WinsockErrorText(code);
  if (CloseOnLoss && (code == WSAECONNRESET || code == WSAENOTCONN)) {
    const SOCKET old = socketHandle_;
    if (old != INVALID_SOCKET) {
      Winsock::closesocket(old);
      DropHandle(old);
    }
    // A handler that opened the next session keeps it open.
    if (state_ == wsClosed || SessionSurvives([&] { NotifySessionClosed(static_cast<std::uint16_t>(code)); }))
      ChangeState(wsClosed);
  }
  lastError_ = code;
  SignalError(message);
}

void TCustomNetSocket::ProcessBgException(Exception& E)
{
  bool canClose = true;
  if (OnBgException) {
    try {
      OnBgException(this, E, canClose);
    } catch (...) {
      // the handler of last resort must not fail the message loop
    }
  }
  if (canClose) {
    try {
      AbortSession();
    } catch (...) {
    }
  }
}

// ---- hidden window ----------------------------------------------------------

void TCustomNetSocket::AllocateHiddenWindow()
{
  hiddenWindow_ = CreateSocketWindow(this);
  if (hiddenWindow_ == nullptr)
    SignalError("Cannot create a hidden window for TNetSocket");
}

void TCustomNetSocket::ReleaseHiddenWindow()
{
  if (hiddenWindow_ != nullptr && DestroySocketWindow(hiddenWindow_))
    hiddenWindow_ = nullptr;
}

void TCustomNetSocket::HandleWindowMessage(TSocketMessage& Message)
{
  // Nothing leaves a window procedure: whatever an event handler or this
  // layer throws goes to the background-exception handling.
  try {
    switch (Message.Msg) {
    case WM_SOCKET_SELECT:
      HandleSelectMessage(Message);
      break;
    case WM_SOCKET_HOST_LOOKUP:
      HandleHostLookupDone(Message);
      break;
    case WM_SOCKET_ADDR_LOOKUP:
      HandleAddrLookupDone(Message);
      break;
    case WM_SOCKET_CLOSE_LATER:
      CloseConnection();
      break;
    case WM_SOCKET_FREE_LATER:
      delete this;
      return;
    case WM_SOCKET_TEST_EXCEPTION:
      throw ESocketException("Test exception in NetSocket");
    default:
      Message.Result = DefWindowProcA(hiddenWindow_, Message.Msg, Message.WParam, Message.LParam);
      break;
    }
  } catch (...) {
    ProcessCaughtException();
  }
}

void TCustomNetSocket::ProcessCaughtException()
{
  try {
    throw;
  } catch (Exception& e) {
    ProcessBgException(e);
  } catch (const std::exception& e) {
    Exception wrapped(e.what());
    ProcessBgException(wrapped);
  } catch (...) {
    Exception wrapped("Unknown exception in a socket event handler");
    ProcessBgException(wrapped);
  }
}

void TCustomNetSocket::PurgeSelectMessages(SOCKET OldHandle)
{
  if (hiddenWindow_ == nullptr || OldHandle == INVALID_SOCKET)
    return;
  // The Winsock error lives in the thread's last error, which the message
  // calls may overwrite; a report that follows must still read it.
  const DWORD lastError = GetLastError();
  std::vector<MSG> keep;
  MSG msg;
  while (PeekMessageA(&msg, hiddenWindow_, WM_SOCKET_SELECT, WM_SOCKET_SELECT, PM_REMOVE))
    if (static_cast<SOCKET>(msg.wParam) != OldHandle)
      keep.push_back(msg);
  for (const MSG& m : keep)
    PostMessageA(hiddenWindow_, m.message, m.wParam, m.lParam);
  SetLastError(lastError);
}

void TCustomNetSocket::DropHandle(SOCKET OldHandle)
{
  socketHandle_ = INVALID_SOCKET;
  ++sessionSerial_;
  PurgeSelectMessages(OldHandle);
}

void TCustomNetSocket::HandleSelectMessage(TSocketMessage& Message)
{
  // What is queued for a handle is purged when the handle goes, so a queued
  // notification with the handle's value is the current session's.
  const SOCKET handle = static_cast<SOCKET>(Message.WParam);
  if (handle != socketHandle_ || isPaused_)
    return;
  const std::uint16_t events = WSAGETSELECTEVENT(Message.LParam);
  // Each bit only while the session is still the one the message was for: a
  // handler of an earlier bit may have closed it, and opened the next one
  // under the same handle value.
  const unsigned session = sessionSerial_;
  auto current = [&] { return session == sessionSerial_ && !isPaused_; };
  if ((events & FD_CONNECT) != 0 && current()) {
    currentEvent_ = FD_CONNECT;
    HandleConnectEvent(Message);
  }
  if ((events & FD_READ) != 0 && current()) {
    currentEvent_ = FD_READ;
    HandleReadEvent(Message);
  }
  if ((events & FD_WRITE) != 0 && current()) {
    currentEvent_ = FD_WRITE;
    HandleWriteEvent(Message);
  }
  if ((events & FD_ACCEPT) != 0 && current()) {
    currentEvent_ = FD_ACCEPT;
    HandleAcceptEvent(Message);
  }
  if ((events & FD_CLOSE) != 0 && current()) {
    currentEvent_ = FD_CLOSE;
    HandleCloseEvent(Message);
  }
  currentEvent_ = 0;
}

void TCustomNetSocket::HandleConnectEvent(TSocketMessage& Message)
{
  if (state_ == wsConnected)
    return;
  const std::uint16_t err = WSAGETSELECTERROR(Message.LParam);
  // A handler that closed the socket, and perhaps connected again, has ended
  // the session this notification was for.
  if (!SessionSurvives([&] { ChangeState(wsConnected); }))
    return;
  if (!SessionSurvives([&] { NotifySessionConnected(err); }))
    return;
  if (err != 0 && state_ != wsClosed)
    CloseConnection();
}

void TCustomNetSocket::HandleReadEvent(TSocketMessage& Message)
{
  const std::uint16_t err = WSAGETSELECTERROR(Message.LParam);
  if (state_ != wsConnected) {
    if (!SessionSurvives([&] { ChangeState(wsConnected); }))
      return;
    if (!SessionSurvives([&] { NotifySessionConnected(err); }))
      return;
  }
  ProcessReceive(err, ComponentOptions);
}

void TCustomNetSocket::HandleWriteEvent(TSocketMessage& Message)
{
  if (SessionSurvives([&] { TryToSend(); }) && sendQueueEmpty_)
    NotifyDataSent(WSAGETSELECTERROR(Message.LParam));
}

void TCustomNetSocket::HandleAcceptEvent(TSocketMessage& Message)
{
  NotifySessionAvailable(WSAGETSELECTERROR(Message.LParam));
}

void TCustomNetSocket::HandleCloseEvent(TSocketMessage& Message)
{
  if (state_ == wsConnecting)
    return;
  // A handler that closed the socket while taking the last data or hearing of
  // the close has already ended this session; it may have opened the next.
  if (!SessionSurvives([&] { ProcessReceive(0, ComponentOptions.Without(wsoNoReceiveLoop)); }))
    return;
  if (!closeNotified_) {
    closeNotified_ = true;
    if (!SessionSurvives([&] { NotifySessionClosed(WSAGETSELECTERROR(Message.LParam)); }))
      return;
  }
  if (state_ != wsClosed)
    CloseConnection();
}

void TCustomNetSocket::ProcessReceive(std::uint16_t ErrCode, TNetSocketOptions Options)
{
  const unsigned session = sessionSerial_;
  u_long lastWaiting = 0;
  bool counted = false;
  for (;;) {
    try {
      lastError_ = 0;
      const int readBefore = readCount_;
      receiveDrained_ = false;
      if (!NotifyDataAvailable(ErrCode)) {
        char scratch[1024];
        if (RawRecv(scratch, sizeof(scratch), 0) < 0) {
          lastError_ = Winsock::WSAGetLastError();
          if (lastError_ == WSAEWOULDBLOCK) {
            lastError_ = 0;
            break;
          }
        }
      }
      if (Options.Contains(wsoNoReceiveLoop))
        break;
      if (lastError_ != 0) {
        if (lastError_ == -1)
          lastError_ = 0;
        break;
      }
      if (sessionSerial_ != session)
        break;
      // The handler's last read came back short, so nothing waited then; what
      // arrives later brings a read notification of its own. Saves asking.
      if (receiveDrained_ && readCount_ != readBefore)
        break;
      u_long waiting = 0;
      if (Winsock::ioctlsocket(socketHandle_, FIONREAD, &waiting) != 0) {
        lastError_ = Winsock::WSAGetLastError();
        break;
      }
      if (waiting == 0)
        break;
      // A handler that reads nothing would be called for ever: stop when a
      // pass neither received through ReceiveData nor lowered the waiting
      // count; the next read notification offers the bytes again.
      if (readCount_ == readBefore && counted && waiting >= lastWaiting)
        break;
      lastWaiting = waiting;
      counted = true;
    } catch (...) {
      // What a data handler throws ends the loop and goes no further; the
      // session stays as the handler left it.
      break;
    }
  }
}

// ---- receiving --------------------------------------------------------------

int TCustomNetSocket::ReadRcvdCount()
{
  u_long count = 0;
  if (Winsock::ioctlsocket(socketHandle_, FIONREAD, &count) == SOCKET_ERROR) {
    ReportSocketError("ioctlSocket");
    return -1;
  }
  return static_cast<int>(count);
}

int TCustomNetSocket::RawRecv(void* Buffer, int BufferSize, int Flags)
{
  return Winsock::recv(socketHandle_, static_cast<char*>(Buffer), BufferSize, Flags);
}

int TCustomNetSocket::ReceiveData(void* Buffer, int BufferSize)
{
  const int count = RawRecv(Buffer, BufferSize, 0);
  if (count < 0)
    lastError_ = Winsock::WSAGetLastError();
  else
    readCount_ += count;
  // A stream read that did not fill the buffer emptied the socket.
  receiveDrained_ = socketType_ == SOCK_STREAM && count >= 0 && count < BufferSize;
  return count;
}

std::string TCustomNetSocket::ReceiveText()
{
  int count = ReadRcvdCount();
  if (count < 0)
    return std::string();
  if (count == 0)
    count = 255;
  std::string text(static_cast<std::size_t>(count), '\0');
  const int got = ReceiveData(text.data(), count);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

int TCustomNetSocket::RawRecvFrom(SOCKET S, void* Buffer, int BufferSize, int Flags, sockaddr* From, int* FromLen)
{
  return Winsock::recvfrom(S, static_cast<char*>(Buffer), BufferSize, Flags, From, FromLen);
}

int TCustomNetSocket::ReceiveDatagram(void* Buffer, int BufferSize, sockaddr* From, int* FromLen)
{
  const int count = RawRecvFrom(socketHandle_, Buffer, BufferSize, 0, From, FromLen);
  if (count < 0)
    lastError_ = Winsock::WSAGetLastError();
  else
    readCount_ += count;
  return count;
}

// ---- sending ----------------------------------------------------------------

void TCustomNetSocket::QueueData(const void* Data, int Len)
{
  // A datagram goes out whole: it gets a block of its own, never split at
  // the block size.
  const bool queued =
      socketType_ == SOCK_DGRAM ? sendQueue_.QueueDatagram(Data, Len) : sendQueue_.QueueData(Data, Len);
  if (queued)
    sendQueueEmpty_ = false;
}

int TCustomNetSocket::Send(const void* Data, int Len)
{
  if (state_ != wsConnected && state_ != wsSocksConnected) {
    Winsock::WSASetLastError(WSAENOTCONN);
    ReportSocketError("Send");
    return -1;
  }
  // Nothing queued leaves SendQueueEmpty as it was, so a flush never waits
  // for data that does not exist.
  if (Len > 0)
    QueueData(Data, Len);
  TryToSend();
  if (sendQueueEmpty_ && socketHandle_ != INVALID_SOCKET)
    PostMessageA(hiddenWindow_, WM_SOCKET_SELECT, static_cast<WPARAM>(socketHandle_), WSAMAKESELECTREPLY(FD_WRITE, 0));
  return Len > 0 ? Len : 0;
}

int TCustomNetSocket::SendText(const std::string& Text)
{
  if (Text.empty())
    return 0;
  return Send(Text.data(), static_cast<int>(Text.size()));
}

void TCustomNetSocket::TryToSend()
{
  // An OnSendData handler that sends again lands here while the bytes just
  // handed over are not yet taken off the queue: they would go out twice. The
  // running drain sends what the handler queued.
  if (socketHandle_ == INVALID_SOCKET || sendQueue_.BlockCount() == 0 || draining_)
    return;
  const unsigned session = sessionSerial_;
  draining_ = true;
  struct TDrainGuard {
    bool& Flag;
    ~TDrainGuard() { Flag = false; }
  } guard{draining_};
  // A stream's blocks go out together: one call per 1460-byte block would cost
  // a system call each. An OnSendData handler hears of every block, so then
  // each goes on its own. A datagram is always one block.
  const int run = socketType_ == SOCK_STREAM && !OnSendData ? kSendRun : 0;
  for (;;) {
    int len = 0;
    const unsigned char* data = sendQueue_.PeekRun(run, len);
    if (len == 0) {
      if (sendQueue_.DropEmptyFront())
        continue;
      sendQueueEmpty_ = true;
      return;
    }
    const unsigned generation = sendQueue_.Generation();
    const int sent = RawSend(data, len);
    if (sent == 0)
      return;
    if (sent == SOCKET_ERROR) {
      const int err = Winsock::WSAGetLastError();
      switch (err) {
      case WSAECONNRESET:
      case WSAENOTSOCK:
      case WSAENOTCONN:
      case WSAEINVAL:
      case WSAECONNABORTED:
        closeNotified_ = true;
        CloseConnection();
        NotifySessionClosed(static_cast<std::uint16_t>(err));
        return;
      case WSAEWOULDBLOCK:
        return;
      default:
        ReportSocketError("TryToSend failed");
        return;
      }
    }
    // OnSendData may have closed the socket or dropped the queue.
    if (sessionSerial_ != session || sendQueue_.Generation() != generation)
      return;
    sendQueue_.Consume(sent);
    if (sent < len)
      return;
  }
}

int TCustomNetSocket::RawSend(const void* Data, int Len)
{
  int result;
  if (socketType_ == SOCK_DGRAM)
    result = Winsock::sendto(socketHandle_, static_cast<const char*>(Data), Len, sendFlags_,
                             reinterpret_cast<const sockaddr*>(&remoteSockAddr_), sizeof(remoteSockAddr_));
  else
    result = Winsock::send(socketHandle_, static_cast<const char*>(Data), Len, sendFlags_);
  if (result > 0)
    NotifySendData(result);
  return result;
}

int TCustomNetSocket::SendDatagram(const sockaddr* Dest, int DestLen, const void* Data, int Len)
{
  // Never read past what the caller gave.
  sockaddr_in dest{};
  if (Dest != nullptr && DestLen > 0)
    std::memcpy(&dest, Dest, std::min<std::size_t>(sizeof(dest), static_cast<std::size_t>(DestLen)));
  const int result = Winsock::sendto(socketHandle_, static_cast<const char*>(Data), Len, sendFlags_,
                                     reinterpret_cast<const sockaddr*>(&dest),
                                     std::min<int>(DestLen, sizeof(dest)));
  if (result > 0)
    NotifySendData(result);
  if (sendQueueEmpty_ && socketType_ == SOCK_DGRAM)
    PostMessageA(hiddenWindow_, WM_SOCKET_SELECT, static_cast<WPARAM>(socketHandle_), WSAMAKESELECTREPLY(FD_WRITE, 0));
  return result;
}

void TCustomNetSocket::Dup(SOCKET NewHandle)
{
  if (NewHandle == 0 || NewHandle == INVALID_SOCKET) {
    Winsock::WSASetLastError(WSAEINVAL);
    ReportSocketError("Dup");
    return;
  }
  // The handle is handed over with the call: no way out leaves it open.
  if (state_ != wsClosed) {
    const SOCKET old = socketHandle_;
    const int result = Winsock::closesocket(old);
    DropHandle(old);
    if (result != 0) {
      const int code = Winsock::WSAGetLastError();
      Winsock::closesocket(NewHandle);
      Winsock::WSASetLastError(code);
      ReportSocketError("Dup (closesocket)");
      return;
    }
    ChangeState(wsClosed);
  }
  // Whatever an earlier session left queued is not for this peer.
  DeleteSendQueue();
  sendQueueEmpty_ = true;
  socketHandle_ = NewHandle;
  ++sessionSerial_;
  // Until MarkConnected the state is wsClosed, where no close would find the
  // handle: a failure drops it before it is reported.
  try {
    int size = 0;
    int len = sizeof(size);
    if (CountedGetSockOpt(socketHandle_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&size), &len) != 0) {
      AbandonHandle();
      ReportSocketError("getsockopt(SO_SNDBUF)");
      return;
    }
    sendBufferSize_ = size;
    ApplyLinger();
    selectMask_ = kDupMask;
    if (Winsock::WSAAsyncSelect(socketHandle_, hiddenWindow_, WM_SOCKET_SELECT, kDupMask) != 0) {
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

// ---- connecting -------------------------------------------------------------

void TCustomNetSocket::Connect()
{
  if (socketHandle_ != INVALID_SOCKET && state_ != wsClosed) {
    SignalError("Connect: Socket already in use");
    return;
  }
  if (!hasPort_) {
    SignalError("Connect: No Port Specified");
    return;
  }
  if (!hasAddr_) {
    SignalError("Connect: No IP Address Specified");
    return;
  }
  if (!hasProto_) {
    SignalError("Connect: No Protocol Specified");
    return;
  }
  try {
    if (!protoLookedUp_) {
      protoNumber_ = NetSocketResolveProto(protoText_);
      socketType_ = protoNumber_ == IPPROTO_TCP ? SOCK_STREAM : protoNumber_ == IPPROTO_UDP ? SOCK_DGRAM : SOCK_RAW;
      protoLookedUp_ = true;
    }
    ResolveRemotePort();
    if (!localPortLookedUp_) {
      localPortNumber_ = NetSocketResolvePort(localPort_, protoText_);
      localPortLookedUp_ = true;
    }
    ResolveRemoteAddr();
  } catch (Exception& e) {
    SignalError("connect: " + e.Message());
    return;
  }
  if (!OpenHandle("Connect (socket)"))
    return;
  int size = 0;
  int len = sizeof(size);
  if (CountedGetSockOpt(socketHandle_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&size), &len) != 0) {
    AbandonHandle();  // still wsClosed: no close would find it
    ReportSocketError("getsockopt(SO_SNDBUF)");
    return;
  }
  sendBufferSize_ = size;
  ChangeState(wsOpened);
  if (state_ != wsOpened) {
    Winsock::WSASetLastError(WSAEINVAL);
    ReportSocketError("Connect (Invalid operation in OnChangeState)");
    return;
  }
  if (socketType_ == SOCK_DGRAM) {
    BindSocket();
    if (MultiCast) {
      if (MultiCastIpTTL != 1) {
        const int ttl = MultiCastIpTTL;
        if (SetBoolOption(socketHandle_, IPPROTO_IP, 3 /* IP_MULTICAST_TTL */, ttl) != 0) {
          ReportSocketError("setsockopt(IP_MULTICAST_TTL)");
          return;
        }
      }
      if (localAddr_ != "0.0.0.0") {
        in_addr iface;
        iface.s_addr = NetSocketResolveHost(localAddr_);
        if (Winsock::setsockopt(socketHandle_, IPPROTO_IP, 2 /* IP_MULTICAST_IF */, reinterpret_cast<const char*>(&iface),
                                sizeof(iface)) != 0) {
          ReportSocketError("setsockopt(IP_MULTICAST_IF)");
          return;
        }
      }
    }
    if (remoteSockAddr_.sin_addr.s_addr == INADDR_BROADCAST) {
      if (SetBoolOption(socketHandle_, SOL_SOCKET, SO_BROADCAST, 1) != 0) {
        ReportSocketError("setsockopt(SO_BROADCAST)");
        return;
      }
    }
  } else {
    if (SetBoolOption(socketHandle_, SOL_SOCKET, SO_REUSEADDR, -1) != 0) {
      ReportSocketError("setsockopt(SO_REUSEADDR)");
      return;
    }
    if (ComponentOptions.Contains(wsoTcpNoDelay) && SetBoolOption(socketHandle_, IPPROTO_TCP, TCP_NODELAY, -1) != 0) {
      ReportSocketError("setsockopt(IPPROTO_TCP, TCP_NODELAY)");
      return;
    }
    ApplyLinger();
    if (SetBoolOption(socketHandle_, SOL_SOCKET, SO_KEEPALIVE, -1) != 0) {
      ReportSocketError("setsockopt(SO_KEEPALIVE)");
      return;
    }
    if (localPortNumber_ != 0 || localAddr_ != "0.0.0.0")
      BindSocket();
  }
  // Anything still queued for this handle value belongs to an earlier socket.
  PurgeSelectMessages(socketHandle_);
  selectMask_ = kConnectMask;
  if (Winsock::WSAAsyncSelect(socketHandle_, hiddenWindow_, WM_SOCKET_SELECT, kConnectMask) != 0) {
    ReportSocketError("WSAAsyncSelect");
    return;
  }
  if (socketType_ == SOCK_DGRAM) {
    ChangeState(wsConnected);
    NotifySessionConnected(0);
    return;
  }
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

void TCustomNetSocket::ResolveRemotePort()
{
  if (portLookedUp_)
    return;
  portNumber_ = NetSocketResolvePort(portText_, protoText_);
  remoteSockAddr_.sin_port = Winsock::htons(static_cast<u_short>(portNumber_));
  portLookedUp_ = true;
}

void TCustomNetSocket::ResolveRemoteAddr()
{
  if (addrLookedUp_)
    return;
  remoteSockAddr_.sin_addr.s_addr = NetSocketResolveHost(addrText_);
  addrLookedUp_ = true;
}

bool TCustomNetSocket::OpenHandle(const char* ReportedCall)
{
  DeleteSendQueue();
  socketHandle_ = Winsock::socket(addrFamily_, socketType_, protoNumber_);
  if (socketHandle_ != INVALID_SOCKET) {
    ++sessionSerial_;
    return true;
  }
  ReportSocketError(ReportedCall);
  return false;
}

void TCustomNetSocket::BindSocket()
{
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = Winsock::htons(static_cast<u_short>(localPortNumber_));
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
  localPortNumber_ = Winsock::ntohs(bound.sin_port);
  localPort_ = std::to_string(localPortNumber_);
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

// ---- closing ----------------------------------------------------------------

void TCustomNetSocket::CloseConnection()
{
  CloseSocketHandle(true, 0);
}

void TCustomNetSocket::AbortSession()
{
  AbortConnection(0);
}

void TCustomNetSocket::AbortConnection(std::uint16_t Error)
{
  CancelLookup();
  DeleteSendQueue();
  if (state_ == wsConnected && protoNumber_ == IPPROTO_TCP) {
    LingerOnOff = wsLingerOff;
    ApplyLinger();
  }
  CloseSocketHandle(false, Error);
}

void TCustomNetSocket::CloseSocketHandle(bool Shutdown, std::uint16_t Error)
{
  if (socketHandle_ == INVALID_SOCKET) {
    if (state_ != wsClosed) {
      ChangeState(wsClosed);
      ResetToDefaults();
    }
    return;
  }
  if (state_ == wsClosed)
    return;
  if (Shutdown)
    ShutdownSocket(SD_SEND);
  const SOCKET handle = socketHandle_;
  const unsigned session = sessionSerial_;
  while (Winsock::closesocket(handle) != 0) {
    lastError_ = Winsock::WSAGetLastError();
    if (lastError_ == WSAEWOULDBLOCK) {
      PumpMessages();
      if (sessionSerial_ != session)
        return;  // closed meanwhile by a handler
      WaitForMessages(10);
      continue;
    }
    if (lastError_ == WSANOTINITIALISED)
      break;
    DropHandle(handle);
    ReportSocketError("Disconnect (closesocket)");
    return;
  }
  DropHandle(handle);
  // A handler may open the next session from here on; its settings are not
  // this session's to reset.
  const unsigned closed = sessionSerial_;
  ChangeState(wsClosed);
  if (!destroying_ && !closeNotified_) {
    closeNotified_ = true;
    NotifySessionClosed(Error);
  }
  if (sessionSerial_ != closed || state_ != wsClosed)
    return;
  try {
    ResetToDefaults();
  } catch (...) {
  }
}

void TCustomNetSocket::CloseLater()
{
  PostMessageA(hiddenWindow_, WM_SOCKET_CLOSE_LATER, 0, 0);
}

void TCustomNetSocket::FreeLater()
{
  PostMessageA(hiddenWindow_, WM_SOCKET_FREE_LATER, 0, 0);
}

void TCustomNetSocket::FlushSendQueue()
{
  auto alive = alive_;
  while (socketHandle_ != INVALID_SOCKET && !sendQueueEmpty_) {
    const long long before = sendQueue_.PendingBytes();
    TryToSend();
    PumpMessages();
    if (!*alive)
      return;
    if (socketHandle_ != INVALID_SOCKET && !sendQueueEmpty_ && sendQueue_.PendingBytes() >= before)
      WaitForMessages(10);
  }
}

void TCustomNetSocket::DrainUntilClosed()
{
  auto alive = alive_;
  while (socketHandle_ != INVALID_SOCKET && state_ != wsClosed) {
    PumpMessages();
    if (!*alive || socketHandle_ == INVALID_SOCKET)
      return;
    u_long waiting = 0;
    if (Winsock::ioctlsocket(socketHandle_, FIONREAD, &waiting) != 0)
      break;
    if (waiting > 0) {
      const int readBefore = readCount_;
      const bool handled = NotifyDataAvailable(0);
      if (!*alive || socketHandle_ == INVALID_SOCKET)
        return;
      // A handler that takes nothing would keep this loop going for ever. A
      // count that did not drop is no proof of that: more may have arrived.
      // Without a handler the read notification drains what waits.
      u_long after = 0;
      if (Winsock::ioctlsocket(socketHandle_, FIONREAD, &after) != 0 ||
          (handled && readCount_ == readBefore && after >= waiting))
        break;
    }
    // The zero-byte read only asks whether the socket still works: the peer's
    // close itself arrives as FD_CLOSE through the pump. A read that reports
    // no error is no failure; a stale error must not be taken for its own.
    Winsock::WSASetLastError(0);
    char none;
    if (RawRecv(&none, 0, 0) <= 0) {
      lastError_ = Winsock::WSAGetLastError();
      if (lastError_ != 0 && lastError_ != WSAEWOULDBLOCK)
        break;
    }
    PumpMessages();
    if (!*alive)
      return;
    WaitForMessages(10);
  }
}

void TCustomNetSocket::PauseEvents()
{
  isPaused_ = true;
  Winsock::WSAAsyncSelect(socketHandle_, hiddenWindow_, 0, 0);
}

void TCustomNetSocket::ResumeEvents()
{
  isPaused_ = false;
  Winsock::WSAAsyncSelect(socketHandle_, hiddenWindow_, WM_SOCKET_SELECT, selectMask_);
}

void TCustomNetSocket::ShutdownSocket(int How)
{
  if (socketHandle_ != INVALID_SOCKET)
    Winsock::shutdown(socketHandle_, How);
}

// ---- message pumps ----------------------------------------------------------

void TCustomNetSocket::PumpMessages()
{
  if (MultiThreaded || Application == nullptr)
    ProcessThreadMessages();
  else
    Application->ProcessMessages();
}

void TCustomNetSocket::ProcessThreadMessages()
{
  while (ProcessOneMessage()) {
  }
}

bool TCustomNetSocket::ProcessOneMessage()
{
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
    return false;
  if (msg.message == WM_QUIT) {
    quitReceived_ = true;
    return true;
  }
  TranslateMessage(&msg);
  DispatchMessageA(&msg);
  return true;
}

// ---- notifications ----------------------------------------------------------

bool TCustomNetSocket::NotifyDataAvailable(std::uint16_t ErrCode)
{
  if (!OnDataAvailable)
    return false;
  OnDataAvailable(this, ErrCode);
  return true;
}

void TCustomNetSocket::NotifySessionAvailable(std::uint16_t ErrCode)
{
  if (OnSessionAvailable)
    OnSessionAvailable(this, ErrCode);
}

void TCustomNetSocket::NotifySessionConnected(std::uint16_t ErrCode)
{
  DeliverSessionConnected(ErrCode);
}

void TCustomNetSocket::DeliverSessionConnected(std::uint16_t ErrCode)
{
  if (OnSessionConnected)
    OnSessionConnected(this, ErrCode);
}

void TCustomNetSocket::NotifySessionClosed(std::uint16_t ErrCode)
{
  if (OnSessionClosed)
    OnSessionClosed(this, ErrCode);
}

void TCustomNetSocket::NotifyDataSent(std::uint16_t ErrCode)
{
  if (OnDataSent)
    OnDataSent(this, ErrCode);
}

void TCustomNetSocket::NotifySendData(int BytesSent)
{
  if (OnSendData)
    OnSendData(this, BytesSent);
}

void TCustomNetSocket::NotifyChangeState(TSocketState OldState, TSocketState NewState)
{
  if (OnChangeState)
    OnChangeState(this, OldState, NewState);
}

void TCustomNetSocket::NotifyDnsLookupDone(std::uint16_t ErrCode)
{
  if (OnDnsLookupDone)
    OnDnsLookupDone(this, ErrCode);
}

void TCustomNetSocket::NotifyError()
{
  if (OnError)
    OnError(this);
}

// ---- host lookups -----------------------------------------------------------

namespace {

// Every address of a host entry as dotted text, in the entry's order.
void CopyHostAddresses(const hostent* Entry, std::vector<std::string>& List)
{
  if (Entry == nullptr || Entry->h_addr_list == nullptr || Entry->h_length < 4)
    return;
  for (char** address = Entry->h_addr_list; *address != nullptr; ++address) {
    in_addr in;
    std::memcpy(&in, *address, sizeof(in));
    List.push_back(CountedInetNtoa(in));
  }
}

}  // namespace

std::unique_ptr<TLookupRequest> TCustomNetSocket::TakeLookup(WPARAM Handle)
{
  for (auto it = lookups_.begin(); it != lookups_.end(); ++it) {
    if (reinterpret_cast<WPARAM>((*it)->Handle) == Handle) {
      std::unique_ptr<TLookupRequest> request = std::move(*it);
      lookups_.erase(it);
      ReleaseWinsockUser();
      return request;
    }
  }
  return nullptr;
}

void TCustomNetSocket::DnsLookup(const std::string& HostName)
{
  if (HostName.empty()) {
    SignalError("DNS lookup: invalid host name.");
    NotifyDnsLookupDone(WSAEINVAL);
    return;
  }
  if (lookupHandle_ != nullptr) {
    // The old request stays pending with its own buffer: a cancel may not
    // cancel, and its reply is then ignored.
    Winsock::WSACancelAsyncRequest(lookupHandle_);
    lookupHandle_ = nullptr;
  }
  dnsResult_.clear();
  dnsResultList_.clear();
  const std::string trimmed = TrimText(HostName);
  if (IsDottedQuad(trimmed)) {
    const unsigned long address = Winsock::inet_addr(trimmed.c_str());
    if (address != INADDR_NONE) {
      in_addr in;
      in.s_addr = address;
      dnsResult_ = Winsock::inet_ntoa(in);
      dnsResultList_.push_back(dnsResult_);
      NotifyDnsLookupDone(0);
      return;
    }
  }
  if (hiddenWindow_ == nullptr)
    SignalError("DnsLookup: Window not assigned");
  auto request = std::make_unique<TLookupRequest>();
  lookupReplyEarly_ = false;
  startingLookup_ = request.get();
  HANDLE handle = nullptr;
  try {
    handle = Winsock::WSAAsyncGetHostByName(hiddenWindow_, WM_SOCKET_HOST_LOOKUP, HostName.c_str(), request->Buffer,
                                            TLookupRequest::kBufferSize);
  } catch (...) {
    startingLookup_ = nullptr;
    throw;
  }
  startingLookup_ = nullptr;
  if (handle == nullptr) {
    SignalErrorFmt("%s: can't start DNS lookup, error #%d", HostName.c_str(), Winsock::WSAGetLastError());
    return;
  }
  request->Handle = handle;
  lookupHandle_ = handle;
  AddWinsockUser();
  lookups_.push_back(std::move(request));
  if (lookupReplyEarly_) {
    lookupReplyEarly_ = false;
    HandleHostLookupDone(lookupEarlyMessage_);
  }
}

void TCustomNetSocket::HandleHostLookupDone(TSocketMessage& Message)
{
  std::unique_ptr<TLookupRequest> request = TakeLookup(Message.WParam);
  if (!request) {
    // The reply of the request being started, before its handle is known.
    if (startingLookup_ != nullptr) {
      lookupEarlyMessage_ = Message;
      lookupReplyEarly_ = true;
    }
    return;
  }
  if (request->Handle != lookupHandle_)
    return;  // replaced or cancelled: its buffer goes, its answer is not used
  lookupHandle_ = nullptr;
  std::uint16_t err = WSAGETASYNCERROR(Message.LParam);
  if (err == 0) {
    CopyHostAddresses(reinterpret_cast<const hostent*>(request->Buffer), dnsResultList_);
    // Success without a single address is no answer at all.
    if (dnsResultList_.empty())
      err = WSANO_DATA;
    else
      dnsResult_ = dnsResultList_.front();
  }
  NotifyDnsLookupDone(err);
}

void TCustomNetSocket::ReverseDnsLookup(const std::string& HostAddr)
{
  if (HostAddr.empty() || HostAddr.size() > 256) {
    SignalError("ReverseDnsLookup: Invalid host name.");
    NotifyDnsLookupDone(WSAEINVAL);
    return;
  }
  if (lookupHandle_ != nullptr)
    Winsock::WSACancelAsyncRequest(lookupHandle_);
  lookupHandle_ = nullptr;
  dnsResult_.clear();
  dnsResultList_.clear();
  const unsigned long address = Winsock::inet_addr(HostAddr.c_str());
  if (hiddenWindow_ == nullptr)
    SignalError("ReverseDnsLookup: Window not assigned");
  auto request = std::make_unique<TLookupRequest>();
  HANDLE handle = Winsock::WSAAsyncGetHostByAddr(hiddenWindow_, WM_SOCKET_ADDR_LOOKUP,
                                                 reinterpret_cast<const char*>(&address), 4, PF_INET, request->Buffer,
                                                 TLookupRequest::kBufferSize);
  if (handle == nullptr) {
    SignalErrorFmt("%s: can't start DNS lookup, error #%d", HostAddr.c_str(), Winsock::WSAGetLastError());
    return;
  }
  request->Handle = handle;
  lookupHandle_ = handle;
  AddWinsockUser();
  lookups_.push_back(std::move(request));
}

void TCustomNetSocket::HandleAddrLookupDone(TSocketMessage& Message)
{
  std::unique_ptr<TLookupRequest> request = TakeLookup(Message.WParam);
  if (!request || request->Handle != lookupHandle_)
    return;
  lookupHandle_ = nullptr;
  std::uint16_t err = WSAGETASYNCERROR(Message.LParam);
  if (err == 0) {
    const auto* entry = reinterpret_cast<const hostent*>(request->Buffer);
    if (entry->h_name == nullptr || entry->h_name[0] == '\0') {
      err = WSANO_DATA;
    } else {
      dnsResult_ = entry->h_name;
      dnsResultList_.clear();
      dnsResultList_.push_back(dnsResult_);
    }
  }
  NotifyDnsLookupDone(err);
}

void TCustomNetSocket::CancelLookup()
{
  if (lookupHandle_ == nullptr)
    return;
  // The request itself stays pending with its buffer until its reply (if any)
  // arrives; only the socket stops waiting for it.
  const int result = Winsock::WSACancelAsyncRequest(lookupHandle_);
  lookupHandle_ = nullptr;
  if (result != 0) {
    ReportSocketError("WSACancelAsyncRequest");
    return;
  }
  if (!destroying_)
    NotifyDnsLookupDone(WSAEINTR);
}

// ---- listening --------------------------------------------------------------

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

void TCustomNetSocket::Listen()
{
  if (!hasPort_) {
    Winsock::WSASetLastError(WSAEINVAL);
    ReportSocketError("listen: port not assigned");
    return;
  }
  if (!hasProto_) {
    Winsock::WSASetLastError(WSAEINVAL);
    ReportSocketError("listen: protocol not assigned");
    return;
  }
  if (!hasAddr_) {
    Winsock::WSASetLastError(WSAEINVAL);
    ReportSocketError("listen: address not assigned");
    return;
  }
  try {
    if (!protoLookedUp_) {
      if (LowerAscii(protoText_.substr(0, 4)) == "raw_") {
        socketType_ = SOCK_RAW;
        protoNumber_ = NetSocketResolveProto(protoText_.substr(4, 10));
      } else {
        protoNumber_ = NetSocketResolveProto(protoText_);
        socketType_ = protoNumber_ == IPPROTO_UDP ? SOCK_DGRAM : SOCK_STREAM;
      }
      protoLookedUp_ = true;
    }
    ResolveRemotePort();
    ResolveRemoteAddr();
  } catch (Exception& e) {
    SignalError("listen: " + e.Message());
    return;
  }
  if (!OpenHandle("socket"))
    return;
  // Still wsClosed here, where a close would not see the handle: drop it
  // before reporting, so no report can leave it behind.
  if (socketType_ == SOCK_DGRAM && ReuseAddr && SetBoolOption(socketHandle_, SOL_SOCKET, SO_REUSEADDR, -1) != 0) {
    AbandonHandle();
    ReportSocketError("setsockopt(SO_REUSEADDR)");
    CloseConnection();
    return;
  }
  if (Winsock::bind(socketHandle_, reinterpret_cast<const sockaddr*>(&remoteSockAddr_), sizeof(remoteSockAddr_)) != 0) {
    AbandonHandle();
    ReportSocketError("Bind");
    CloseConnection();
    return;
  }
  ChangeState(wsBound);
  if (socketType_ == SOCK_STREAM) {
    if (Winsock::listen(socketHandle_, ListenBacklog) != 0) {
      ReportSocketError("Listen");
      return;
    }
    ChangeState(wsListening);
  } else if (socketType_ == SOCK_DGRAM) {
    if (MultiCast) {
      struct {
        in_addr imr_multiaddr;
        in_addr imr_interface;
      } request;
      request.imr_multiaddr.s_addr = Winsock::inet_addr(MultiCastAddrStr.c_str());
      request.imr_interface.s_addr = NetSocketResolveHost(addrText_);
      // The Winsock 1 option number, as wsock32 knows it.
      if (Winsock::setsockopt(socketHandle_, IPPROTO_IP, 5 /* IP_ADD_MEMBERSHIP */,
                              reinterpret_cast<const char*>(&request), sizeof(request)) != 0) {
        ReportSocketError("setsockopt(IP_ADD_MEMBERSHIP)");
        return;
      }
    }
    ChangeState(wsListening);
    ChangeState(wsConnected);
    NotifySessionConnected(0);
  } else {
    if (ComponentOptions.Contains(wsoSIO_RCVALL)) {
      DWORD one = 1;
      DWORD out = 0;
      DWORD bytes = 0;
      if (Winsock::WSAIoctl(socketHandle_, 0x98000001 /* SIO_RCVALL */, &one, sizeof(one), &out, sizeof(out), &bytes,
                            nullptr, nullptr) == SOCKET_ERROR) {
        // Closed also when the report throws.
        try {
          ReportSocketError("WSAIoctl(SIO_RCVALL)");
        } catch (...) {
          CloseConnection();
          throw;
        }
        CloseConnection();
        return;
      }
    }
    ChangeState(wsListening);
    ChangeState(wsConnected);
    NotifySessionConnected(0);
  }
  if (socketHandle_ == INVALID_SOCKET)
    return;  // a handler closed it
  selectMask_ = FD_READ | FD_WRITE | FD_ACCEPT | FD_CLOSE;  // 0x2B
  if (Winsock::WSAAsyncSelect(socketHandle_, hiddenWindow_, WM_SOCKET_SELECT, selectMask_) != 0)
    ReportSocketError("WSAASyncSelect");
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
