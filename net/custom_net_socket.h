#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/lookup_request.h"
#include "net/send_queue.h"
#include "net/socket_exception.h"
#include "net/socket_types.h"
#include "platform/component.h"

// Messages of a socket's hidden window.
constexpr UINT WM_SOCKET_SELECT = WM_USER + 1;       // Winsock select notification
constexpr UINT WM_SOCKET_HOST_LOOKUP = WM_USER + 2;  // host-name lookup done
constexpr UINT WM_SOCKET_ADDR_LOOKUP = WM_USER + 3;  // address lookup done
constexpr UINT WM_SOCKET_CLOSE_LATER = WM_USER + 4;
constexpr UINT WM_SOCKET_FREE_LATER = WM_USER + 5;
constexpr UINT WM_SOCKET_TEST_EXCEPTION = WM_USER + 6;
constexpr UINT WM_SOCKET_LINE_RETRIGGER = WM_USER + 20;

// One window message as the socket's handlers see it.
struct TSocketMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};

// The event-driven socket: wraps one Windows Sockets socket, never blocks
// (apart from resolving a name inside Connect, Listen and BindSocket) and turns
// every notification into an event, run on the thread that created it. Its
// definitions lie in one file per concern, net/custom_net_socket*.cpp.
class TCustomNetSocket : public TComponent {
public:
  explicit TCustomNetSocket(TComponent* owner);
  ~TCustomNetSocket() override;

  // Addressing (all setters refuse unless closed), and host lookups, answered
  // by OnDnsLookupDone.
  const std::string& Addr() const { return addr_.Text; }
  void AssignAddr(const std::string& value);
  const std::string& Port() const { return port_.Text; }
  void AssignPort(const std::string& value);
  const std::string& Proto() const { return proto_.Text; }
  void AssignProto(const std::string& value);
  const std::string& LocalAddr() const { return localAddr_; }
  void AssignLocalAddr(const std::string& value);
  const std::string& LocalPort() const { return localPort_.Text; }
  void AssignLocalPort(const std::string& value);
  std::string PeerAddr() { return GetPeerAddr(); }
  std::string PeerPort() { return GetPeerPort(); }
  std::string ReadLocalAddr();
  std::string ReadLocalPort();
  int ReadPeerName(sockaddr* name, int nameLen);

  virtual void DnsLookup(const std::string& hostName);
  void ReverseDnsLookup(const std::string& hostAddr);
  void CancelLookup();
  const std::string& DnsResult() const { return dnsResult_; }
  const std::vector<std::string>& DnsResultList() const { return dnsResultList_; }
  HANDLE LookupHandle() const { return lookupHandle_; }
  // Requests whose reply has not arrived yet, the current one and replaced or
  // cancelled ones alike.
  int PendingLookupCount() const { return static_cast<int>(lookups_.size()); }

  // Session: its options, opening, pausing and closing.
  TSocketState State() const { return state_; }
  int LastError() const { return lastError_; }
  SOCKET SocketHandle() const { return socketHandle_; }
  SOCKET AcceptedHandle() const { return acceptedHandle_; }
  int SelectMask() const { return selectMask_; }
  bool IsPaused() const { return isPaused_; }
  bool QuitReceived() const { return quitReceived_; }

  BYTE ReqVerLow() const;
  void SetReqVerLow(BYTE value);
  BYTE ReqVerHigh() const;
  void SetReqVerHigh(BYTE value);

  bool MultiThreaded = false;
  bool MultiCast = false;
  std::string MultiCastAddrStr;
  int MultiCastIpTTL = 1;
  bool ReuseAddr = false;
  TNetSocketOptions ComponentOptions;
  int ListenBacklog = 5;
  static constexpr int kDefaultFlushTimeout = 60;
  int FlushTimeout = kDefaultFlushTimeout;  // stored only: flushing has no time limit
  TSocketLingerOnOff LingerOnOff = wsLingerOn;
  int LingerTimeout = 0;

  virtual void Connect();
  virtual void Listen();
  SOCKET Accept();
  void BindSocket();
  void Dup(SOCKET newHandle);
  void PauseEvents();
  void ResumeEvents();
  void ShutdownSocket(int how);
  void CloseConnection();
  void AbortSession();
  void CloseLater();
  void FreeLater();
  void DrainUntilClosed();

  // Transfer.
  int ReadCount() const { return readCount_; }
  int RcvdCount() { return ReadRcvdCount(); }
  virtual int ReadRcvdCount();
  int ReceiveData(void* buffer, int bufferSize);
  std::string ReceiveText();
  int ReceiveDatagram(void* buffer, int bufferSize, sockaddr* from, int* fromLen);
  int Send(const void* data, int len);
  int SendText(const std::string& text);
  int SendDatagram(const sockaddr* dest, int destLen, const void* data, int len);
  void FlushSendQueue();
  bool SendQueueEmpty() const { return sendQueueEmpty_; }
  const TSendQueue& SendQueue() const { return sendQueue_; }
  int SendBlockSize() const { return sendQueue_.BlockSize; }
  void SetSendBlockSize(int size) { sendQueue_.BlockSize = size; }
  int SendBufferSize() const { return sendBufferSize_; }
  TSocketSendFlags SendFlags();
  void SetSendFlags(TSocketSendFlags value);

  // Events, fired from the messages of the hidden window; errors go to
  // OnError.
  TSessionAvailable OnSessionAvailable;
  TSessionConnected OnSessionConnected;
  TSessionClosed OnSessionClosed;
  TChangeState OnChangeState;
  TDataAvailable OnDataAvailable;
  TDataSent OnDataSent;
  TSendData OnSendData;
  TDnsLookupDone OnDnsLookupDone;
  TNotifyEvent OnError;
  TBgExceptionEvent OnBgException;

  HWND HiddenWindow() const { return hiddenWindow_; }
  virtual void HandleWindowMessage(TSocketMessage& message);
  // closeOnLoss false: the failed call only asked something (the peer of a
  // datagram socket), so a "not connected" answer does not end the session.
  void ReportSocketError(const std::string& functionName, bool closeOnLoss = true);

protected:
  // Addressing below the properties.
  std::string GetPeerAddr();
  std::string GetPeerPort();
  int ReadSockName(sockaddr* name, int& nameLen);

  // The steps of a session that the layers take themselves.
  void ApplyLinger();
  void MarkConnected();
  void AbortConnection(std::uint16_t error);
  void CloseSocketHandle(bool shutdown, std::uint16_t error);

  // Transfer below the queue.
  virtual int RawRecv(void* buffer, int bufferSize, int flags);
  int RawRecvFrom(SOCKET s, void* buffer, int bufferSize, int flags, sockaddr* from, int* fromLen);
  int RawSend(const void* data, int len);
  void TryToSend();

  // The hidden window, and the message pumps of the loops that wait.
  void AllocateHiddenWindow();
  void ReleaseHiddenWindow();
  std::uint16_t CurrentEvent() const { return currentEvent_; }
  void PumpMessages();
  void ProcessThreadMessages();
  bool ProcessOneMessage();

  // Errors.
  void SignalError(const std::string& msg);
  void SignalErrorFmt(const char* fmt, ...);
  void ProcessBgException(Exception& e);
  // Inside a catch block: hands whatever was thrown to ProcessBgException.
  void ProcessCaughtException();

  // Notifications; each fires its event when one is assigned.
  virtual bool NotifyDataAvailable(std::uint16_t ErrCode);
  void NotifySessionAvailable(std::uint16_t ErrCode);
  virtual void NotifySessionConnected(std::uint16_t ErrCode);
  void DeliverSessionConnected(std::uint16_t ErrCode);
  virtual void NotifySessionClosed(std::uint16_t ErrCode);
  void NotifyDataSent(std::uint16_t ErrCode);
  void NotifySendData(int bytesSent);
  void NotifyChangeState(TSocketState oldState, TSocketState newState);
  void NotifyDnsLookupDone(std::uint16_t ErrCode);
  void NotifyError();

  // Seconds-and-microseconds helpers.
  static bool TimevalIsSet(const timeval& tv) { return tv.tv_sec != 0 || tv.tv_usec != 0; }
  static void TimevalClear(timeval& tv) { tv.tv_sec = tv.tv_usec = 0; }
  static bool TimevalCompare(const timeval& a, const timeval& b, bool isEqual)
  {
    const bool equal = a.tv_sec == b.tv_sec && a.tv_usec == b.tv_usec;
    return isEqual ? equal : !equal;
  }

  // Flag that outlives the object: a loop running inside one of its calls can
  // tell that a handler destroyed the socket under it.
  std::shared_ptr<const bool> AliveFlag() const { return alive_; }

  // What a read asks for when the socket counts nothing waiting: the count
  // may lag behind what has arrived.
  static constexpr int kReadSizeWhenNoneCounted = 255;

  virtual void ResetToDefaults();
  // A handle was taken on: the new session starts with its own flags and
  // nothing an earlier one held, also where that one's close had no chance to
  // restore the defaults (a handler opened this session from inside it).
  virtual void BeginSession();
  // Received bytes that a layer holds for the application.
  virtual int HeldReceivedBytes() const { return 0; }

  // The peer address Connect reaches, resolved from text (a relay layer's
  // relay in place of Addr and Port) unless it was resolved since the last
  // assignment; they throw what the resolution throws. A relay layer forgets
  // them when its relay changes.
  void ResolvePeerPort(const std::string& text);
  void ResolvePeerAddr(const std::string& text);
  void ForgetResolvedPeerPort() { port_.LookedUp = false; }
  void ForgetResolvedPeerAddr() { addr_.LookedUp = false; }

  // Changes whenever a handle is taken on or given up. Handle values are
  // reused at once, so this alone tells a notification's session from the
  // next one that a handler may have opened meanwhile.
  unsigned SessionSerial() const { return sessionSerial_; }
  // Runs call, which may run event handlers; false when one of them destroyed
  // the socket or closed (and perhaps reopened) it meanwhile.
  template <class TCall>
  bool SessionSurvives(TCall&& call)
  {
    const auto alive = AliveFlag();
    const unsigned serial = sessionSerial_;
    call();
    return *alive && serial == sessionSerial_;
  }
  // Runs event, which fires a handler. Whatever the handler throws, the step
  // owed after the event (then: a close, the next message of a negotiation, a
  // report) still runs while the session is the one the event was for; the
  // exception goes on afterwards to wherever the caller sends handler
  // exceptions.
  template <class TEvent, class TThen>
  void ThenEvenIfThrown(TEvent&& event, TThen&& then)
  {
    const auto alive = AliveFlag();
    const unsigned serial = sessionSerial_;
    try {
      event();
    } catch (...) {
      if (*alive && serial == sessionSerial_)
        then();
      throw;
    }
    if (*alive && serial == sessionSerial_)
      then();
  }
  // Runs event, which fires a handler, then report, a report owed whatever
  // the handler did (a close of its own included), also when it throws; the
  // exception then goes on.
  template <class TEvent, class TReport>
  void ReportEvenIfThrown(TEvent&& event, TReport&& report)
  {
    const auto alive = AliveFlag();
    try {
      event();
    } catch (...) {
      if (*alive)
        report();
      throw;
    }
    if (*alive)
      report();
  }

  // Counts the sends that failed without ending the session, reported to
  // OnError or by throwing.
  unsigned SendFailures() const { return sendFailures_; }

  // makeRequest makes the Winsock request into the buffer it is given; false
  // when it could not be started (signalled under name).
  bool StartLookup(const std::string& name, const char* caller,
                   const std::function<HANDLE(char* buffer, int size)>& makeRequest);
  // The requests whose reply has not arrived yet.
  const TLookupRequests& PendingLookups() const { return lookups_; }

private:
  // An addressing property as assigned: Has tells that it was assigned since
  // the last reset, LookedUp that it has been resolved since it was.
  struct TAddressingText {
    std::string Text;
    bool Has = false;
    bool LookedUp = false;
  };
  // A port or protocol also keeps the number it resolved to (a port in host
  // order); an address resolves into remoteSockAddr_.
  struct TAddressingNumber : TAddressingText {
    int Number = 0;
  };

  // Requests the Winsock version; setter names the property in the refusal.
  void ChangeReqVer(BYTE low, BYTE high, const char* setter);
  // The address of the peer, or of the socket's own end; false when the
  // state has none or the query fails (a failed peer query is reported under
  // caller's name).
  bool QueryPeer(sockaddr_in& peer, const char* caller);
  bool QueryLocal(sockaddr_in& local);
  // False, with the error signalled, unless the socket is closed.
  bool RequireClosed(const char* property);
  // The setter of Addr, Port or Proto (property names it in the refusal).
  void AssignTarget(const char* property, const std::string& value, TAddressingText& target);
  // Port and address of the peer (listening: of the socket), resolved once
  // per assignment; they throw what the resolution throws.
  void ResolveRemotePort() { ResolvePeerPort(port_.Text); }
  void ResolveRemoteAddr() { ResolvePeerAddr(addr_.Text); }
  void ResolveLocalPort();
  // Protocol and socket type: Connect takes any protocol that is neither
  // TCP nor UDP as raw, Listen only one named "raw_" and a protocol.
  void ResolveConnectProto();
  void ResolveListenProto();
  // Runs the resolution steps of Connect or Listen; false, with context and
  // the resolver's message signalled, when one fails. What was resolved before
  // stays resolved.
  bool ResolveOrSignal(const char* context, const std::function<void()>& resolve);
  // Counts the handles taken on: a change tells that a handler opened a
  // session of its own meanwhile.
  unsigned SessionsBegun() const { return sessionsBegun_; }
  // A new socket handle, the send queue emptied; false when reported.
  bool OpenHandle(const char* reportedCall);
  void TakeOnHandle(SOCKET handle);
  // The steps of Connect, Listen and Dup after the handle is open; each is
  // false when it failed and reported.
  bool ReadSendBufferSize();
  bool ApplyDatagramOptions();
  bool ApplyStreamOptions();
  // An option that takes a 4-byte integer; failure names it in the report.
  bool SetOption(int level, int name, int value, const char* failure);
  void StartStreamConnect();
  bool BindListeningHandle();
  bool ListenForConnections();
  bool ListenForDatagrams();
  bool ListenForRawPackets();
  void EnterReceivingSession();
  // Asks for the notifications of mask; false when Winsock refuses.
  bool SelectEvents(long mask);
  // The session's handle is gone: forgets it and the notifications still
  // queued for it.
  void DropHandle(SOCKET oldHandle);
  // Closes a socket handle that never left wsClosed (so a close would not
  // see it) before a failure is reported.
  void AbandonHandle();
  void ChangeState(TSocketState newState);
  void QueueData(const void* data, int len);
  void HandleSendFailure(int error);
  // The steps of AbortConnection after the lookup's cancel.
  void FinishAbort(std::uint16_t error);
  void PostDataSentNotification();
  void DeleteSendQueue() { sendQueue_.DeleteSendQueue(); }
  // Removes select notifications still queued for a socket handle that is
  // gone: handles are reused at once, so they would reach the next session.
  void PurgeSelectMessages(SOCKET oldHandle);

  void HandleSelectMessage(TSocketMessage& message);
  void HandleHostLookupDone(TSocketMessage& message);
  void HandleAddrLookupDone(TSocketMessage& message);
  // Takes the finished request out of the pending list; null when unknown.
  std::unique_ptr<TLookupRequest> TakeLookup(WPARAM handle);
  // Clears the results; the socket stops waiting for an earlier request.
  void ForgetCurrentLookup();
  // True when request is the lookup the socket waits for, which it then
  // waits for no more.
  bool EndCurrentLookup(const TLookupRequest& request);
  void HandleConnectEvent(TSocketMessage& message);
  void HandleReadEvent(TSocketMessage& message);
  void HandleWriteEvent(TSocketMessage& message);
  void HandleAcceptEvent(TSocketMessage& message);
  void HandleCloseEvent(TSocketMessage& message);
  void ProcessReceive(std::uint16_t ErrCode, TNetSocketOptions options);
  // A data handler threw: Winsock reports neither new bytes nor the peer's
  // close until something is received, so what still waits is offered again
  // by a read notification for the same session. True, with nothing offered,
  // when the handler failed on that offer without taking anything.
  bool OfferAgainAfterFailure();

  std::string dnsResult_;
  std::vector<std::string> dnsResultList_;
  int sendFlags_ = 0;
  int lastError_ = 0;
  HWND hiddenWindow_ = nullptr;
  SOCKET socketHandle_ = INVALID_SOCKET;
  SOCKET acceptedHandle_ = INVALID_SOCKET;
  TAddressingText addr_;
  int addrFamily_ = AF_INET;
  TAddressingNumber port_;
  TAddressingNumber proto_{{"tcp", true, false}, IPPROTO_TCP};
  // Always assigned: "0" asks for any port.
  TAddressingNumber localPort_{{"0", true, false}, 0};
  std::string localAddr_ = "0.0.0.0";
  int socketType_ = SOCK_STREAM;
  TSendQueue sendQueue_;
  int sendBufferSize_ = 0;
  bool sendQueueEmpty_ = true;
  int readCount_ = 0;
  bool isPaused_ = false;
  bool closeNotified_ = false;
  TSocketState state_ = wsClosed;
  // The last ReceiveData of a stream came back short, so nothing waited
  // then: the receive loop need not ask again.
  bool lastReadEmptiedSocket_ = false;
  // TryToSend is under way; a handler that sends meanwhile only queues.
  bool sendDrainRunning_ = false;
  // Bytes the last RawSend handed to Winsock, kept for a drain whose
  // OnSendData handler throws.
  int lastHandedOver_ = 0;
  // Bytes taken from the socket itself (not from a layer's buffer): what
  // ReceiveData adds to ReadCount.
  long long socketBytesRead_ = 0;
  // The last failed data offer: its session, what waited then and what had
  // been taken from the socket by then.
  struct TFailedOffer {
    bool Active = false;
    unsigned Session = 0;
    long long Waiting = 0;
    long long Read = 0;
  } failedOffer_;
  bool quitReceived_ = false;
  int selectMask_ = 0;
  std::uint16_t currentEvent_ = 0;
  sockaddr_in remoteSockAddr_{};
  HANDLE lookupHandle_ = nullptr;
  TLookupRequests lookups_;
  TLookupRequest* startingLookup_ = nullptr;
  bool lookupReplyEarly_ = false;
  TSocketMessage lookupEarlyMessage_;
  bool destroying_ = false;
  std::shared_ptr<bool> alive_;
  unsigned sessionSerial_ = 0;
  unsigned sessionsBegun_ = 0;
  unsigned sendFailures_ = 0;
};
