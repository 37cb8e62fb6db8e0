// Data transfer: the receive loop of a read notification, the receive
// operations, and the send path through the send queue.
#include "net/custom_net_socket.h"

#include <algorithm>
#include <cstring>

#include "net/winsock_binding.h"

namespace {

// Most bytes of a stream handed to one send call, as a plain 64 KiB write loop does.
constexpr int kSendRun = 64 * 1024;

}  // namespace

void TCustomNetSocket::ProcessReceive(std::uint16_t ErrCode, TNetSocketOptions options)
{
  const auto alive = AliveFlag();
  const unsigned session = sessionSerial_;
  u_long lastWaiting = 0;
  bool counted = false;
  for (;;) {
    try {
      lastError_ = 0;
      const int readBefore = readCount_;
      lastReadEmptiedSocket_ = false;
      const bool handled = NotifyDataAvailable(ErrCode);
      if (!*alive)
        return;
      failedOffer_.Active = false;
      if (!handled) {
        // The SOCKS layer's failure reports "not handled" after its close: a
        // handler may have opened the next session, whose bytes are not to
        // be thrown away.
        if (sessionSerial_ != session)
          break;
        char scratch[1024];
        if (RawRecv(scratch, sizeof(scratch), 0) < 0) {
          lastError_ = Winsock::WSAGetLastError();
          if (lastError_ == WSAEWOULDBLOCK) {
            lastError_ = 0;
            break;
          }
        }
      }
      if (options.Contains(wsoNoReceiveLoop))
        break;
      if (lastError_ != 0)
        break;
      if (sessionSerial_ != session)
        break;
      // The handler's last read came back short, so nothing waited then; what
      // arrives later brings a read notification of its own. Saves asking.
      if (lastReadEmptiedSocket_ && readCount_ != readBefore)
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
      // What a data handler throws ends the loop; the session stays as the
      // handler left it and what waits is offered once more. A handler that
      // fails again on the same bytes would leave the socket deaf to them
      // and to the peer's close: that failure goes on to the
      // background-exception handling, which ends the session unless its
      // handler keeps it.
      if (*alive && sessionSerial_ == session && OfferAgainAfterFailure())
        throw;
      break;
    }
  }
}

bool TCustomNetSocket::OfferAgainAfterFailure()
{
  u_long waiting = 0;
  if (socketHandle_ == INVALID_SOCKET || Winsock::ioctlsocket(socketHandle_, FIONREAD, &waiting) != 0)
    return false;
  const long long now = static_cast<long long>(waiting) + HeldReceivedBytes();
  // The same bytes: nothing was taken since the last failure, and no fewer wait.
  const bool failedAgain = failedOffer_.Active && failedOffer_.Session == sessionSerial_ &&
                           failedOffer_.Read == socketBytesRead_ && now >= failedOffer_.Waiting;
  if (failedAgain) {
    failedOffer_.Active = false;
    return true;
  }
  failedOffer_ = {true, sessionSerial_, now, socketBytesRead_};
  if (now > 0)
    PostMessageA(hiddenWindow_, WM_SOCKET_SELECT, static_cast<WPARAM>(socketHandle_), WSAMAKESELECTREPLY(FD_READ, 0));
  return false;
}

int TCustomNetSocket::ReadRcvdCount()
{
  u_long count = 0;
  if (Winsock::ioctlsocket(socketHandle_, FIONREAD, &count) == SOCKET_ERROR) {
    ReportSocketError("ioctlSocket");
    return -1;
  }
  return static_cast<int>(count);
}

int TCustomNetSocket::RawRecv(void* buffer, int bufferSize, int flags)
{
  const int count = Winsock::recv(socketHandle_, static_cast<char*>(buffer), bufferSize, flags);
  if (count > 0)
    socketBytesRead_ += count;
  return count;
}

int TCustomNetSocket::ReceiveData(void* buffer, int bufferSize)
{
  const long long before = socketBytesRead_;
  const int count = RawRecv(buffer, bufferSize, 0);
  if (count < 0)
    lastError_ = Winsock::WSAGetLastError();
  else
    // Bytes a layer held were counted when it took them from the socket.
    readCount_ += static_cast<int>(socketBytesRead_ - before);
  // A stream read that did not fill the buffer emptied the socket.
  lastReadEmptiedSocket_ = socketType_ == SOCK_STREAM && count >= 0 && count < bufferSize;
  return count;
}

std::string TCustomNetSocket::ReceiveText()
{
  int count = ReadRcvdCount();
  if (count < 0)
    return std::string();
  if (count == 0)
    count = kReadSizeWhenNoneCounted;
  std::string text(static_cast<std::size_t>(count), '\0');
  const int got = ReceiveData(text.data(), count);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

int TCustomNetSocket::RawRecvFrom(SOCKET s, void* buffer, int bufferSize, int flags, sockaddr* from, int* fromLen)
{
  return Winsock::recvfrom(s, static_cast<char*>(buffer), bufferSize, flags, from, fromLen);
}

int TCustomNetSocket::ReceiveDatagram(void* buffer, int bufferSize, sockaddr* from, int* fromLen)
{
  const int count = RawRecvFrom(socketHandle_, buffer, bufferSize, 0, from, fromLen);
  if (count < 0)
    lastError_ = Winsock::WSAGetLastError();
  else
    readCount_ += count;
  return count;
}

void TCustomNetSocket::QueueData(const void* data, int len)
{
  // A datagram goes out whole: it gets a block of its own, never split at
  // the block size.
  const bool queued = socketType_ == SOCK_DGRAM ? sendQueue_.QueueDatagram(data, len) : sendQueue_.QueueData(data, len);
  if (queued)
    sendQueueEmpty_ = false;
}

int TCustomNetSocket::Send(const void* data, int len)
{
  // A session whose handle is gone (a close that failed) sends nothing: the
  // bytes would wait in the queue for ever while the caller counts them sent.
  if ((state_ != wsConnected && state_ != wsSocksConnected) || socketHandle_ == INVALID_SOCKET) {
    Winsock::WSASetLastError(WSAENOTCONN);
    ReportSocketError("Send");
    return -1;
  }
  // Nothing queued leaves SendQueueEmpty as it was, so a flush never waits
  // for data that does not exist.
  if (len > 0)
    QueueData(data, len);
  // A handler that closed the socket during the drain, and perhaps connected
  // again, has ended the session this send was for.
  if (SessionSurvives([&] { TryToSend(); }) && sendQueueEmpty_ && socketHandle_ != INVALID_SOCKET)
    PostDataSentNotification();
  return len > 0 ? len : 0;
}

// OnDataSent fires from the message loop, after the send call has returned.
void TCustomNetSocket::PostDataSentNotification()
{
  PostMessageA(hiddenWindow_, WM_SOCKET_SELECT, static_cast<WPARAM>(socketHandle_), WSAMAKESELECTREPLY(FD_WRITE, 0));
}

int TCustomNetSocket::SendText(const std::string& text)
{
  if (text.empty())
    return 0;
  return Send(text.data(), static_cast<int>(text.size()));
}

void TCustomNetSocket::TryToSend()
{
  // An OnSendData handler that sends again lands here while the bytes just
  // handed over are not yet taken off the queue: they would go out twice. The
  // running drain sends what the handler queued.
  if (socketHandle_ == INVALID_SOCKET || sendQueue_.BlockCount() == 0 || sendDrainRunning_)
    return;
  const auto alive = AliveFlag();
  const unsigned session = sessionSerial_;
  sendDrainRunning_ = true;
  struct TDrainGuard {
    bool& Flag;
    const std::shared_ptr<const bool>& Alive;
    ~TDrainGuard()
    {
      if (*Alive)
        Flag = false;
    }
  } guard{sendDrainRunning_, alive};
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
    int sent = 0;
    lastHandedOver_ = 0;
    try {
      sent = RawSend(data, len);
    } catch (...) {
      // OnSendData threw after Winsock took the bytes: they are sent, so they
      // leave the queue before the exception goes on.
      if (*alive && sessionSerial_ == session && sendQueue_.Generation() == generation)
        sendQueue_.Consume(lastHandedOver_);
      throw;
    }
    if (sent == 0)
      return;
    if (sent == SOCKET_ERROR) {
      HandleSendFailure(Winsock::WSAGetLastError());
      return;
    }
    // OnSendData may have closed the socket or dropped the queue.
    if (!*alive || sessionSerial_ != session || sendQueue_.Generation() != generation)
      return;
    sendQueue_.Consume(sent);
    if (sent < len)
      return;
  }
}

// A lost connection ends the session with its own error; a full buffer waits
// for the write notification that resumes the drain.
void TCustomNetSocket::HandleSendFailure(int error)
{
  switch (error) {
  case WSAECONNRESET:
  case WSAENOTSOCK:
  case WSAENOTCONN:
  case WSAEINVAL:
  case WSAECONNABORTED: {
    closeNotified_ = true;
    // A handler that opened the next session in OnChangeState has heard of
    // this one's end there: the close report would reach the new session.
    const auto alive = AliveFlag();
    const unsigned begun = SessionsBegun();
    CloseConnection();
    if (*alive && SessionsBegun() == begun)
      NotifySessionClosed(static_cast<std::uint16_t>(error));
    return;
  }
  case WSAEWOULDBLOCK: return;
  default:
    ++sendFailures_;
    ReportSocketError("TryToSend failed");
    return;
  }
}

int TCustomNetSocket::RawSend(const void* data, int len)
{
  int result;
  if (socketType_ == SOCK_DGRAM)
    result = Winsock::sendto(socketHandle_, static_cast<const char*>(data), len, sendFlags_,
                             reinterpret_cast<const sockaddr*>(&remoteSockAddr_), sizeof(remoteSockAddr_));
  else
    result = Winsock::send(socketHandle_, static_cast<const char*>(data), len, sendFlags_);
  if (result > 0) {
    lastHandedOver_ = result;
    NotifySendData(result);
  }
  return result;
}

int TCustomNetSocket::SendDatagram(const sockaddr* dest, int destLen, const void* data, int len)
{
  // Never read past what the caller gave.
  sockaddr_in target{};
  if (dest != nullptr && destLen > 0)
    std::memcpy(&target, dest, std::min<std::size_t>(sizeof(target), static_cast<std::size_t>(destLen)));
  const int result =
      Winsock::sendto(socketHandle_, static_cast<const char*>(data), len, sendFlags_,
                      reinterpret_cast<const sockaddr*>(&target), std::min<int>(destLen, sizeof(target)));
  // The write notification is for this session only: OnSendData may have
  // closed the socket and opened another.
  if (result > 0 && !SessionSurvives([&] { NotifySendData(result); }))
    return result;
  if (sendQueueEmpty_ && socketType_ == SOCK_DGRAM && socketHandle_ != INVALID_SOCKET)
    PostDataSentNotification();
  return result;
}
