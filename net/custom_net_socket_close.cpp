// Ending a session (an orderly close, an abort, a close or free posted for
// later), the loops that wait for the send queue or the peer, and pausing
// notifications.
#include "net/custom_net_socket.h"

#include <exception>

#include "net/winsock_binding.h"

namespace {

// The longest the loops that wait for the network sleep between two looks.
constexpr DWORD kNetworkPollMs = 10;

// Sleeps until a message arrives or a short while has passed, so the loops
// that wait for the network do not spin the processor.
void WaitForMessages()
{
  MsgWaitForMultipleObjectsEx(0, nullptr, kNetworkPollMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

}  // namespace

void TCustomNetSocket::CloseConnection()
{
  CloseSocketHandle(true, 0);
}

void TCustomNetSocket::AbortSession()
{
  AbortConnection(0);
}

void TCustomNetSocket::AbortConnection(std::uint16_t error)
{
  // The abort is finished whatever the cancel throws (its OnDnsLookupDone
  // handler, or its report without an OnError handler); the exception goes on
  // afterwards. A handler that freed the socket or opened the next session
  // has left this abort nothing to do.
  std::exception_ptr cancelFailure;
  const auto alive = AliveFlag();
  const unsigned session = sessionSerial_;
  try {
    CancelLookup();
  } catch (...) {
    cancelFailure = std::current_exception();
  }
  if (*alive && session == sessionSerial_)
    FinishAbort(error);
  if (cancelFailure)
    std::rethrow_exception(cancelFailure);
}

void TCustomNetSocket::FinishAbort(std::uint16_t error)
{
  DeleteSendQueue();
  if (state_ == wsConnected && proto_.Number == IPPROTO_TCP) {
    LingerOnOff = wsLingerOff;
    ApplyLinger();
  }
  CloseSocketHandle(false, error);
}

void TCustomNetSocket::CloseSocketHandle(bool shutdown, std::uint16_t error)
{
  // Every handler below may free the socket (FreeLater, then a message loop).
  const auto alive = AliveFlag();
  if (socketHandle_ == INVALID_SOCKET) {
    if (state_ != wsClosed) {
      const unsigned begun = SessionsBegun();
      ChangeState(wsClosed);
      // An OnChangeState handler may have opened the next session.
      if (*alive && SessionsBegun() == begun)
        ResetToDefaults();
    }
    return;
  }
  if (state_ == wsClosed)
    return;
  if (shutdown)
    ShutdownSocket(SD_SEND);
  const SOCKET handle = socketHandle_;
  const unsigned session = sessionSerial_;
  while (Winsock::closesocket(handle) != 0) {
    lastError_ = Winsock::WSAGetLastError();
    if (lastError_ == WSAEWOULDBLOCK) {
      PumpMessages();
      if (!*alive || sessionSerial_ != session)
        return;  // closed or freed meanwhile by a handler
      WaitForMessages();
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
  // this session's to reset. One that did so in OnChangeState has heard of
  // this session's end there: a close report now would reach the new one.
  const unsigned closed = sessionSerial_;
  ChangeState(wsClosed);
  if (!*alive || sessionSerial_ != closed)
    return;
  if (!destroying_ && !closeNotified_) {
    closeNotified_ = true;
    NotifySessionClosed(error);
  }
  if (!*alive || sessionSerial_ != closed || state_ != wsClosed)
    return;
  try {
    ResetToDefaults();
  } catch (...) {
    // Only exhausted memory fails here; the close itself is done and
    // reported, and does not turn into a failure.
  }
}

// The request carries its session: one that was closed meanwhile, and maybe
// followed by another, is not closed again.
void TCustomNetSocket::CloseLater()
{
  PostMessageA(hiddenWindow_, WM_SOCKET_CLOSE_LATER, static_cast<WPARAM>(sessionSerial_), 0);
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
      WaitForMessages();
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
    WaitForMessages();
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

void TCustomNetSocket::ShutdownSocket(int how)
{
  if (socketHandle_ != INVALID_SOCKET)
    Winsock::shutdown(socketHandle_, how);
}
