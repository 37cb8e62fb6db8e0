#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "net/net_socket.h"
#include "net/winsock_binding.h"
#include "tests/net/event_recorder.h"
#include "tests/net/net_test_peers.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

namespace {

void PostSelect(TNetSocket& s, long events)
{
  PostMessageA(s.HiddenWindow(), WM_SOCKET_SELECT, s.SocketHandle(), WSAMAKESELECTREPLY(events, 0));
}

}  // namespace

TEST(Notifications, CloseWhileConnectingIsIgnored)
{
  TPeerServer peer([](SOCKET c) { ReadAll(c); });
  TNetSocket s(nullptr);
  TEventRecorder events;
  events.Attach(s);
  ConnectTcp(s, peer.Port());
  ASSERT_EQ(s.State(), wsConnecting);
  TSocketMessage close = SelectMessage(s, FD_CLOSE);
  s.HandleWindowMessage(close);
  EXPECT_EQ(s.State(), wsConnecting);
  EXPECT_FALSE(events.Has("closed 0"));
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsConnected; }, 20000ms));
  s.CloseConnection();
}

TEST(Notifications, ReadAndCloseInOneMessageReadFirst)
{
  std::atomic<bool> go{false};
  TPeerServer peer([&](SOCKET c) {
    while (!go)
      Sleep(5);
    SendAll(c, "last words");
    ReadAll(c);
  });
  TNetSocket s(nullptr);
  TEventRecorder events;
  events.Attach(s);
  std::string got;
  s.OnDataAvailable = [&](TObject*, std::uint16_t) {
    got += s.ReceiveText();
    events.Log.push_back("data");
  };
  ASSERT_TRUE(ConnectAndWait(s, peer.Port()));
  s.PauseEvents();
  go = true;
  // No notification is handled while paused; wait until the data is there.
  const auto deadline = std::chrono::steady_clock::now() + 20000ms;
  while (s.RcvdCount() < 10 && std::chrono::steady_clock::now() < deadline)
    Sleep(5);
  ASSERT_EQ(s.RcvdCount(), 10);
  MSG msg;
  while (PeekMessageA(&msg, s.HiddenWindow(), WM_SOCKET_SELECT, WM_SOCKET_SELECT, PM_REMOVE)) {
  }
  s.ResumeEvents();
  EXPECT_FALSE(s.IsPaused());
  events.Log.clear();
  TSocketMessage both = SelectMessage(s, FD_READ | FD_CLOSE);
  s.HandleWindowMessage(both);
  EXPECT_EQ(got, "last words");
  ASSERT_GE(events.Log.size(), 3u);
  EXPECT_EQ(events.Log[0], "data");
  EXPECT_EQ(events.Folded({"data"}), (std::vector<std::string>{"data", "closed 0", "state 5->8"}));
}

TEST(Notifications, NoReceiveLoopOffersOncePerNotification)
{
  TPeerServer peer([](SOCKET c) {
    SendAll(c, "abcdef");
    ReadAll(c);  // until the client closes: no close notification meanwhile
  });
  for (bool noLoop : {true, false}) {
    TNetSocket s(nullptr);
    if (noLoop)
      s.ComponentOptions.Include(wsoNoReceiveLoop);
    int calls = 0;
    std::string got;
    s.OnDataAvailable = [&](TObject*, std::uint16_t) {
      ++calls;
      char two[2];
      const int n = s.ReceiveData(two, 2);  // only part of what waits
      if (n > 0)
        got.append(two, static_cast<std::size_t>(n));
    };
    ConnectTcp(s, peer.Port());
    ASSERT_TRUE(PumpMessagesUntil([&] { return calls > 0; }, 20000ms));
    if (noLoop) {
      // Each call reads 2 bytes; Winsock announces the rest with new
      // notifications, one call each.
      PumpMessagesUntil([&] { return got.size() == 6; }, 20000ms);
      EXPECT_EQ(calls, 3);
    } else {
      EXPECT_EQ(got, "abcdef");  // called again at once while bytes wait
    }
    EXPECT_EQ(got, "abcdef");
    s.CloseConnection();
  }
}

TEST(Notifications, ClosingInsideSessionClosedFiresNoSecondClose)
{
  TPeerServer peer([](SOCKET) {});
  TNetSocket s(nullptr);
  int closes = 0;
  s.OnSessionClosed = [&](TObject*, std::uint16_t) {
    ++closes;
    s.CloseConnection();
  };
  ConnectTcp(s, peer.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 20000ms));
  PumpMessagesFor(50ms);
  EXPECT_EQ(closes, 1);
}

TEST(Notifications, PausedSocketIgnoresQueuedNotifications)
{
  TPeerServer peer([](SOCKET c) { ReadAll(c); });
  TNetSocket s(nullptr);
  int sent = 0;
  s.OnDataSent = [&](TObject*, std::uint16_t) { ++sent; };
  ASSERT_TRUE(ConnectAndWait(s, peer.Port()));
  PumpMessagesFor(50ms);
  sent = 0;
  s.PauseEvents();
  PostSelect(s, FD_WRITE);
  PumpMessagesFor(50ms);
  EXPECT_EQ(sent, 0);
  s.ResumeEvents();
  PostSelect(s, FD_WRITE);
  // Re-registering may bring a write notification of its own as well.
  EXPECT_TRUE(PumpMessagesUntil([&] { return sent >= 1; }, 20000ms));
  s.CloseConnection();
}

TEST(Notifications, ReceiveTextReadsWhatWaitsAndNothingWhenTheCountFails)
{
  TPeerServer peer([](SOCKET c) {
    SendAll(c, std::string(1000, 't'));
    ReadAll(c);
  });
  TNetSocket s(nullptr);
  std::vector<std::size_t> sizes;
  s.OnDataAvailable = [&](TObject*, std::uint16_t) { sizes.push_back(s.ReceiveText().size()); };
  ConnectTcp(s, peer.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return !sizes.empty(); }, 20000ms));
  EXPECT_EQ(sizes[0], 1000u);  // the waiting count is known: all of it
  s.CloseConnection();
  int errors = 0;
  s.OnError = [&](TObject*) { ++errors; };
  EXPECT_EQ(s.ReceiveText(), "");  // the count cannot be read on a closed socket
  EXPECT_EQ(errors, 1);
}

TEST(Notifications, CloseNotificationWithAHandlerThatNeverReadsEnds)
{
  TPeerServer peer([](SOCKET c) {
    SendAll(c, std::string(500, 'z'));
    ReadAll(c);
  });
  TNetSocket s(nullptr);
  TEventRecorder events;
  events.Attach(s);
  int calls = 0;
  s.OnDataAvailable = [&](TObject*, std::uint16_t) { ++calls; };
  ConnectTcp(s, peer.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return calls > 0 && s.RcvdCount() == 500; }, 20000ms));
  calls = 0;
  TSocketMessage close = SelectMessage(s, FD_CLOSE);
  s.HandleWindowMessage(close);  // returns although nobody takes the data
  EXPECT_GE(calls, 1);
  EXPECT_LE(calls, 2);
  EXPECT_EQ(events.Count("closed 0"), 1);
  EXPECT_EQ(s.State(), wsClosed);
}

TEST(Notifications, DrainUntilClosedDeliversTheRestUntilThePeerCloses)
{
  std::atomic<bool> go{false};
  TPeerServer peer([&](SOCKET c) {
    while (!go)
      Sleep(5);
    SendAll(c, "first ");
    Sleep(50);
    SendAll(c, "second");
  });
  TNetSocket s(nullptr);
  TEventRecorder events;
  events.Attach(s);
  std::string got;
  s.OnDataAvailable = [&](TObject*, std::uint16_t) { got += s.ReceiveText(); };
  ASSERT_TRUE(ConnectAndWait(s, peer.Port()));
  go = true;
  s.DrainUntilClosed();
  EXPECT_EQ(got, "first second");
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(events.Count("closed 0"), 1);
}

TEST(Notifications, DrainUntilClosedEndsWhenTheHandlerTakesNothing)
{
  TPeerServer peer([](SOCKET c) {
    SendAll(c, "unread");
    ReadAll(c);
  });
  TNetSocket s(nullptr);
  int calls = 0;
  s.OnDataAvailable = [&](TObject*, std::uint16_t) { ++calls; };
  ConnectTcp(s, peer.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return calls > 0 && s.RcvdCount() == 6; }, 20000ms));
  s.DrainUntilClosed();  // returns: a pass that takes nothing ends the loop
  EXPECT_EQ(s.RcvdCount(), 6);
  s.CloseConnection();
}

TEST(Notifications, AHandlerThatReconnectsGetsNothingOfTheOldSession)
{
  // A handler closes the socket and opens the next session; nothing of the old
  // session's path that runs on after it (the rest of a notification, a send,
  // a listen, a close, an adoption) may reach the new one. Wine hands out the
  // lowest free handle value, so every case requires the new session to get
  // the old value: only the session counter tells the two apart then. The
  // peers never accept, so no thread of theirs takes or frees a handle value
  // meanwhile and the reuse does not depend on the machine's load.
  enum TFirst { TcpConnecting, TcpConnected, Udp, NoSession };
  enum TWhere { InConnected, InData, InClosed, InSendData, InChangeState };
  // The new session: UDP (connected at once, Winsock's one write notification
  // follows), TCP that stays connecting, or TCP to a port nobody listens on.
  enum TNext { NextUdp, NextPending, NextRefused };
  TIdleListener open;
  TIdleListener full(true);
  const int refused = UnusedTcpPort();
  const auto select = [](long events, int error) {
    return [events, error](TNetSocket& s) {
      TSocketMessage message = SelectMessage(s, events);
      message.LParam = WSAMAKESELECTREPLY(events, error);
      s.HandleWindowMessage(message);
    };
  };
  const struct Case {
    const char* name;
    TFirst first;
    TWhere where;
    TNext next;
    std::function<void(TNetSocket&)> trigger;
    std::vector<std::string> rest;     // events after the reconnect, until the trigger returned
    TSocketState changeTo = wsClosed;  // InChangeState: the state the handler reconnects at
  } cases[] = {
      {"connected, then written", TcpConnecting, InConnected, NextPending, select(FD_CONNECT | FD_WRITE, 0), {}},
      {"connect failed", TcpConnecting, InConnected, NextPending, select(FD_CONNECT, 10061), {}},
      {"connect failed, reconnect on its close", TcpConnecting, InClosed, NextRefused, select(FD_CONNECT, 10061), {}},
      {"read, then closed", TcpConnected, InData, NextUdp, select(FD_READ | FD_CLOSE, 0), {}},
      {"closed", TcpConnected, InClosed, NextUdp, select(FD_CLOSE, 0), {}},
      {"closed by the client with bytes queued",
       TcpConnected,
       InClosed,
       NextUdp,
       [](TNetSocket& s) {
         const std::string block(1 << 20, 'q');  // the peer never reads
         for (int i = 0; i < 64 && s.SendQueueEmpty(); ++i)
           s.SendText(block);
         EXPECT_FALSE(s.SendQueueEmpty());
         s.CloseConnection();
         EXPECT_TRUE(s.SendQueueEmpty());
       },
       {}},
      {"send while connecting",
       TcpConnecting,
       InClosed,
       NextUdp,
       [](TNetSocket& s) { EXPECT_EQ(s.SendText("early"), -1); },
       {"error 10057"}},
      {"sent", TcpConnected, InSendData, NextPending, [](TNetSocket& s) { EXPECT_EQ(s.SendText("x"), 1); }, {}},
      {"datagram sent",
       Udp,
       InSendData,
       NextUdp,
       [](TNetSocket& s) {
         const sockaddr_in to = LoopbackAddress(9);
         EXPECT_EQ(s.SendDatagram(reinterpret_cast<const sockaddr*>(&to), sizeof(to), "x", 1), 1);
       },
       {}},
      {"listening for datagrams",
       NoSession,
       InConnected,
       NextRefused,
       [](TNetSocket& s) { ListenOn(s, "udp", "127.0.0.1", "0"); },
       {}},
      {"listening for datagrams, reconnect at connected",
       NoSession,
       InChangeState,
       NextRefused,
       [](TNetSocket& s) { ListenOn(s, "udp", "127.0.0.1", "0"); },
       {},
       wsConnected},
      {"connected over UDP, reconnect at connected",
       NoSession,
       InChangeState,
       NextRefused,
       [](TNetSocket& s) { ConnectUdp(s); },
       {},
       wsConnected},
      {"closed by the client",
       TcpConnected,
       InChangeState,
       NextRefused,
       [](TNetSocket& s) { s.CloseConnection(); },
       {}},
      {"closed again after a failed close",
       TcpConnected,
       InChangeState,
       NextRefused,
       [](TNetSocket& s) {
         Winsock::closesocket(s.SocketHandle());  // behind the component's back
         s.CloseConnection();                     // reported; the state stays
         s.CloseConnection();
       },
       {}},
      {"adopting a handle",
       TcpConnected,
       InChangeState,
       NextRefused,
       [&](TNetSocket& s) { s.Dup(RawConnection(open.Port())); },
       {"error 10022"}},
  };
  const std::vector<std::string> refusal = {StateText(wsConnecting, wsConnected), "connected 10061",
                                            StateText(wsConnected, wsClosed), "closed 0"};
  // Tried again should a handle of Wine's own take the value meanwhile.
  constexpr int kTries = 3;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool reused = false;
    for (int attempt = 0; attempt < kTries && !reused; ++attempt) {
      TNetSocket s(nullptr);
      TEventRecorder events;
      events.Attach(s);
      s.OnError = [&](TObject*) { events.Log.push_back("error " + std::to_string(s.LastError())); };
      if (c.first == Udp)
        ConnectUdp(s);
      else if (c.first != NoSession)
        ConnectTcp(s, open.Port());
      if (c.first == TcpConnected) {
        ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsConnected; }, 20000ms));
      }
      SOCKET first = s.SocketHandle();
      bool done = false;
      const auto reconnect = [&] {
        if (done)
          return;
        done = true;
        if (first == INVALID_SOCKET)
          first = s.SocketHandle();
        s.CloseConnection();
        if (c.next == NextUdp)
          ConnectUdp(s);
        else
          ConnectTcp(s, c.next == NextPending ? full.Port() : refused);
        reused = s.SocketHandle() == first;
        events.Log.clear();  // from here on only what the old session's path does
      };
      // The recorder still logs; the handler reconnects after it.
      const auto chain = [&](auto& event) {
        event = [inner = event, &reconnect](TObject* sender, std::uint16_t e) {
          if (inner)
            inner(sender, e);
          reconnect();
        };
      };
      if (c.where == InConnected)
        chain(s.OnSessionConnected);
      else if (c.where == InData)
        chain(s.OnDataAvailable);
      else if (c.where == InClosed)
        chain(s.OnSessionClosed);
      else if (c.where == InSendData)
        s.OnSendData = [&](TObject*, int) { reconnect(); };
      else
        s.OnChangeState = [&, inner = s.OnChangeState](TObject* sender, TSocketState from, TSocketState to) {
          inner(sender, from, to);
          if (to == c.changeTo)
            reconnect();
        };
      c.trigger(s);
      EXPECT_TRUE(done);
      EXPECT_EQ(s.State(), c.next == NextUdp ? wsConnected : wsConnecting);
      EXPECT_EQ(events.Log, c.rest);
      // What the old path posted is queued by now.
      std::vector<std::string> settled = c.rest;
      if (c.next == NextUdp) {
        settled.push_back("sent 0");
        PumpMessagesUntil([&] { return events.Has("sent 0"); }, 20000ms);
      } else if (c.next == NextRefused) {
        settled.insert(settled.end(), refusal.begin(), refusal.end());
        PumpMessagesUntil([&] { return s.State() == wsClosed; }, 20000ms);
      }
      PumpMessagesFor(50ms);
      EXPECT_EQ(events.Log, settled);
      if (c.next == NextPending) {
        EXPECT_EQ(s.State(), wsConnecting);
      }
      s.CloseConnection();
    }
    EXPECT_TRUE(reused) << "the new session never got the old handle value, so the case proved nothing";
  }
}
