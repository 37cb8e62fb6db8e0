// What the socket tells its owner: errors through SignalError (the OnError
// handler, else an exception), the reports of failed Winsock calls, and the
// operations that fire the component's events.
#include "net/custom_net_socket.h"

#include <cstdarg>
#include <cstdio>

#include "net/winsock_binding.h"
#include "net/winsock_error_text.h"

void TCustomNetSocket::SignalError(const std::string& msg)
{
  if (OnError) {
    NotifyError();
    return;
  }
  throw ESocketException(msg);
}

void TCustomNetSocket::SignalErrorFmt(const char* fmt, ...)
{
  char text[1024];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(text, sizeof(text), fmt, args);
  va_end(args);
  SignalError(text);
}

void TCustomNetSocket::ReportSocketError(const std::string& functionName, bool closeOnLoss)
{
  const int code = Winsock::WSAGetLastError();
  const std::string message =
      "Error " + std::to_string(code) + " in function " + functionName + "\r\n" + WinsockErrorText(code);
  if (closeOnLoss && (code == WSAECONNRESET || code == WSAENOTCONN)) {
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

void TCustomNetSocket::NotifySendData(int bytesSent)
{
  if (OnSendData)
    OnSendData(this, bytesSent);
}

void TCustomNetSocket::NotifyChangeState(TSocketState oldState, TSocketState newState)
{
  if (OnChangeState)
    OnChangeState(this, oldState, newState);
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
