#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>

#include "net/net_socket.h"
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

TEST(Notifications, AHandlerThatReconnectsGetsNothingOfTheOldNotification)
{
  // The new socket gets the old handle's value at once: only the session can
  // tell that the rest of the notification is not the new one's.
  enum TWhere { InConnected, InData, InClosed };
  struct Case {
    const char* name;
    long events;  // 0: a send while connecting, which ends the session
    int error;
    TWhere where;  // the handler that closes and connects again
    bool udp;      // the new session: UDP (connected at once) or TCP
    TSocketState after;
  } cases[] = {
      {"connected, then written", FD_CONNECT | FD_WRITE, 0, InConnected, false, wsConnecting},
      {"connect failed", FD_CONNECT, 10061, InConnected, false, wsConnecting},
      {"read, then closed", FD_READ | FD_CLOSE, 0, InData, true, wsConnected},
      {"closed", FD_CLOSE, 0, InClosed, true, wsConnected},
      {"send while connecting", 0, 0, InClosed, true, wsConnected},
  };
  TPeerServer peer([](SOCKET c) { ReadAll(c); });
  int reused = 0;
  // Whether the freed value comes back depends on what the peer's threads
  // close meanwhile, so each case tries until it has seen a reuse.
  constexpr int kTries = 20;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int reusedBefore = reused;
    for (int attempt = 0; attempt < kTries && reused == reusedBefore; ++attempt) {
      TNetSocket s(nullptr);
      TEventRecorder events;
      events.Attach(s);
      s.OnError = [](TObject*) {};
      ConnectTcp(s, peer.Port());
      if (c.where != InConnected && c.events != 0) {
        ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsConnected; }, 20000ms));
      }
      const SOCKET first = s.SocketHandle();
      bool done = false;
      const auto reconnect = [&] {
        if (done)
          return;
        done = true;
        s.CloseConnection();
        if (c.udp)
          ConnectUdp(s);
        else
          ConnectTcp(s, peer.Port());
        reused += s.SocketHandle() == first;
        events.Log.clear();  // from here on only the rest of the old notification
      };
      if (c.where == InConnected)
        s.OnSessionConnected = [&](TObject*, std::uint16_t) { reconnect(); };
      else if (c.where == InData)
        s.OnDataAvailable = [&](TObject*, std::uint16_t) { reconnect(); };
      else
        s.OnSessionClosed = [&](TObject*, std::uint16_t) { reconnect(); };
      if (c.events == 0) {
        EXPECT_EQ(s.SendText("early"), -1);
      } else {
        TSocketMessage message = SelectMessage(s, c.events);
        message.LParam = WSAMAKESELECTREPLY(c.events, c.error);
        s.HandleWindowMessage(message);
      }
      EXPECT_TRUE(done);
      EXPECT_EQ(s.State(), c.after);
      EXPECT_EQ(events.Log, std::vector<std::string>{});
      s.CloseConnection();
    }
  }
  EXPECT_GT(reused, 0) << "handles were never reused, the stale path was not exercised";
}
