// The socket's hidden window: every message Winsock or the socket itself posts
// there becomes a call on the socket, on the thread that created it. Here too
// the bookkeeping that ties a notification to its session, and the message
// pumps of the loops that wait.
#include "net/custom_net_socket.h"

#include <vector>

#include "net/socket_window.h"
#include "platform/application.h"

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

void TCustomNetSocket::HandleWindowMessage(TSocketMessage& message)
{
  // Nothing leaves a window procedure: whatever an event handler or this
  // layer throws goes to the background-exception handling, while the socket
  // lives. A handler that freed it (FreeLater, then a message loop) has taken
  // its exception's addressee with it: the exception is dropped.
  const auto alive = AliveFlag();
  try {
    switch (message.Msg) {
    case WM_SOCKET_SELECT: HandleSelectMessage(message); break;
    case WM_SOCKET_HOST_LOOKUP: HandleHostLookupDone(message); break;
    case WM_SOCKET_ADDR_LOOKUP: HandleAddrLookupDone(message); break;
    case WM_SOCKET_CLOSE_LATER:
      if (static_cast<unsigned>(message.WParam) == sessionSerial_)
        CloseConnection();
      break;
    case WM_SOCKET_FREE_LATER: delete this; return;
    case WM_SOCKET_TEST_EXCEPTION: throw ESocketException("Test exception in NetSocket");
    default: message.Result = DefWindowProcA(hiddenWindow_, message.Msg, message.WParam, message.LParam); break;
    }
  } catch (...) {
    if (*alive)
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

void TCustomNetSocket::ProcessBgException(Exception& e)
{
  bool canClose = true;
  const auto alive = AliveFlag();
  if (OnBgException) {
    try {
      OnBgException(this, e, canClose);
    } catch (...) {
      // the handler of last resort must not fail the message loop
    }
  }
  if (canClose && *alive) {
    try {
      AbortSession();
    } catch (...) {
      // The abort's own report has no one left to go to: nothing may leave
      // the message loop from here.
    }
  }
}

void TCustomNetSocket::PurgeSelectMessages(SOCKET oldHandle)
{
  if (hiddenWindow_ == nullptr || oldHandle == INVALID_SOCKET)
    return;
  // The Winsock error lives in the thread's last error, which the message
  // calls may overwrite; a report that follows must still read it.
  const DWORD lastError = GetLastError();
  std::vector<MSG> keep;
  MSG msg;
  while (PeekMessageA(&msg, hiddenWindow_, WM_SOCKET_SELECT, WM_SOCKET_SELECT, PM_REMOVE))
    if (static_cast<SOCKET>(msg.wParam) != oldHandle)
      keep.push_back(msg);
  for (const MSG& m : keep)
    PostMessageA(hiddenWindow_, m.message, m.wParam, m.lParam);
  SetLastError(lastError);
}

void TCustomNetSocket::DropHandle(SOCKET oldHandle)
{
  socketHandle_ = INVALID_SOCKET;
  ++sessionSerial_;
  PurgeSelectMessages(oldHandle);
}

void TCustomNetSocket::HandleSelectMessage(TSocketMessage& message)
{
  // What is queued for a handle is purged when the handle goes, so a queued
  // notification with the handle's value is the current session's.
  const SOCKET handle = static_cast<SOCKET>(message.WParam);
  if (handle != socketHandle_ || isPaused_)
    return;
  // In this order, each bit on its own.
  static const struct {
    std::uint16_t Bit;
    void (TCustomNetSocket::*Handle)(TSocketMessage&);
  } kEvents[] = {
      {FD_CONNECT, &TCustomNetSocket::HandleConnectEvent}, {FD_READ, &TCustomNetSocket::HandleReadEvent},
      {FD_WRITE, &TCustomNetSocket::HandleWriteEvent},     {FD_ACCEPT, &TCustomNetSocket::HandleAcceptEvent},
      {FD_CLOSE, &TCustomNetSocket::HandleCloseEvent},
  };
  const std::uint16_t events = WSAGETSELECTEVENT(message.LParam);
  // Each bit only while the session is still the one the message was for: a
  // handler of an earlier bit may have closed it, and opened the next one
  // under the same handle value.
  const unsigned session = sessionSerial_;
  const auto alive = AliveFlag();
  for (const auto& event : kEvents) {
    if ((events & event.Bit) == 0 || session != sessionSerial_ || isPaused_)
      continue;
    currentEvent_ = event.Bit;
    (this->*event.Handle)(message);
    // A handler that freed the socket (FreeLater, then a message loop) left
    // nothing here to touch.
    if (!*alive)
      return;
  }
  currentEvent_ = 0;
}

void TCustomNetSocket::HandleConnectEvent(TSocketMessage& message)
{
  if (state_ == wsConnected)
    return;
  const std::uint16_t err = WSAGETSELECTERROR(message.LParam);
  // A handler that closed the socket, and perhaps connected again, has ended
  // the session this notification was for.
  if (!SessionSurvives([&] { ChangeState(wsConnected); }))
    return;
  if (!SessionSurvives([&] { NotifySessionConnected(err); }))
    return;
  if (err != 0 && state_ != wsClosed)
    CloseConnection();
}

void TCustomNetSocket::HandleReadEvent(TSocketMessage& message)
{
  const std::uint16_t err = WSAGETSELECTERROR(message.LParam);
  if (state_ != wsConnected) {
    if (!SessionSurvives([&] { ChangeState(wsConnected); }))
      return;
    if (!SessionSurvives([&] { NotifySessionConnected(err); }))
      return;
  }
  ProcessReceive(err, ComponentOptions);
}

void TCustomNetSocket::HandleWriteEvent(TSocketMessage& message)
{
  if (SessionSurvives([&] { TryToSend(); }) && sendQueueEmpty_)
    NotifyDataSent(WSAGETSELECTERROR(message.LParam));
}

void TCustomNetSocket::HandleAcceptEvent(TSocketMessage& message)
{
  NotifySessionAvailable(WSAGETSELECTERROR(message.LParam));
}

void TCustomNetSocket::HandleCloseEvent(TSocketMessage& message)
{
  if (state_ == wsConnecting)
    return;
  // A handler that closed the socket while taking the last data or hearing of
  // the close has already ended this session; it may have opened the next.
  if (!SessionSurvives([&] { ProcessReceive(0, ComponentOptions.Without(wsoNoReceiveLoop)); }))
    return;
  if (!closeNotified_) {
    closeNotified_ = true;
    if (!SessionSurvives([&] { NotifySessionClosed(WSAGETSELECTERROR(message.LParam)); }))
      return;
  }
  if (state_ != wsClosed)
    CloseConnection();
}

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
