#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>

#include <gtest/gtest.h>

#include "core/endpoint_hosts.h"
#include "core/settings.h"
#include "net/net_socket.h"
#include "tests/core/core_fixture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

namespace {

// Update and detection sessions against a peer of the test's own on an
// address nothing else in the sandbox serves, which ends them without a
// reply in the ways broken servers do.
constexpr const char* PeerAddress = "127.0.0.61";

class FailedExchangeTest : public CoreTest {
protected:
  // One cycle as the tests drive it.
  struct TCycle {
    TTimer* timer;
    TNetSocket* socket;
    int port;
    int& counter;
  };

  void SetUp() override
  {
    CoreTest::SetUp();
    WriteAccountIni();
    ModeName = "GUI";
  }

  TCycle Update() { return {core_->TimerSetIP, core_->SSetIP, 900, UpdateErrorCount}; }
  TCycle Detection() { return {core_->TimerMyIP, core_->SMyIP, 901, DetectErrorCount}; }

  // The state after a successful update: endpoint resolution off, the cycles
  // on their intervals, nothing failed.
  void AfterSuccessfulUpdate()
  {
    core_->TimerDNS->SetEnabled(false);
    core_->TimerSetIP->SetInterval(300000);
    core_->TimerSetIP->SetEnabled(true);
    core_->TimerMyIP->SetInterval(60000);
    core_->TimerMyIP->SetEnabled(true);
    UpdateServerIP = DetectServerIP = PeerAddress;
    SetIPInterval = 300000;
    UpdateErrorCount = DetectErrorCount = ExceptionCount = 0;
    requestRead_ = false;
    ClearLog();
  }

  // The peer's side of a session that reads the request and then waits for
  // the client to end it.
  TPeerEnd ReadRequestThenWait(SOCKET client, const std::string& answer = "")
  {
    ReadLine(client);
    if (!answer.empty())
      send(client, answer.data(), static_cast<int>(answer.size()), 0);
    requestRead_ = true;
    ReadLine(client);  // returns when the client closes
    return TPeerEnd::Close;
  }

  // Once the handler has taken what arrived (dataLine logged), the close
  // notification with the error that Windows posts when the peer resets
  // (Wine reports a reset as a plain close).
  std::function<void(TCycle&)> ResetCloseAfter(const std::string& dataLine)
  {
    return [this, dataLine](TCycle& cycle) {
      ASSERT_TRUE(PumpMessagesUntil([&] { return Logged(dataLine); }, 5s));
      PostMessageA(cycle.socket->HiddenWindow(), WM_SOCKET_SELECT, cycle.socket->SocketHandle(),
                   WSAMAKESELECTREPLY(FD_CLOSE, WSAECONNRESET));
    };
  }

  std::atomic<bool> requestRead_{false};
};

// A session that the far side ends before the reply (close, reset, a reply
// cut off by a reset, a read that fails) is one failed attempt: however many
// events report it, the counter grows by one.
TEST_F(FailedExchangeTest, SessionEndedBeforeTheReplyIsOneFailedAttempt)
{
  const struct {
    const char* name;
    bool update;
    TPeerServer::TSession peer;
    std::function<void(TCycle&)> then;  // once the peer has read the request
    const char* line;
  } cases[] = {
      {"update, closed at once", true, [](SOCKET) { return TPeerEnd::Close; }, nullptr,
       "Debug    setIP could not be done (b)"},
      {"update, reset at once", true, [](SOCKET) { return TPeerEnd::Reset; }, nullptr,
       "Debug    setIP could not be done (b)"},
      {"update, reset after the request", true,
       [](SOCKET c) {
         ReadLine(c);
         return TPeerEnd::Reset;
       },
       nullptr, "Debug    setIP could not be done (b)"},
      {"update, reply cut off by a reset", true,
       [this](SOCKET c) { return ReadRequestThenWait(c, "IP:127.0.0.1 SI:6"); },
       ResetCloseAfter("Debug    ..... setIP data available"), "Debug    setIP could not be done (b)"},
      {"update, a read error closes the session", true, [this](SOCKET c) { return ReadRequestThenWait(c); },
       [this](TCycle& cycle) {
         // What the read count query does when it meets a reset: close, error
         // handler; then the data handler finds nothing to read.
         WSASetLastError(WSAECONNRESET);
         cycle.socket->ReportSocketError("ioctlSocket");
         core_->SSetIPDataAvailable(cycle.socket, 0);
       },
       "Alert!   setIP-Error"},
      {"detection, closed at once", false, [](SOCKET) { return TPeerEnd::Close; }, nullptr,
       "Debug    myIP could not be detected (b)"},
      {"detection, reset at once", false, [](SOCKET) { return TPeerEnd::Reset; }, nullptr,
       "Debug    myIP could not be detected (b)"},
      {"detection, reply cut off by a reset", false, [this](SOCKET c) { return ReadRequestThenWait(c, "198.51.100"); },
       ResetCloseAfter("Debug    ..... myIP data available"), "Debug    myIP could not be detected (b)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    AfterSuccessfulUpdate();
    TCycle cycle = c.update ? Update() : Detection();
    TPeerServer peer(PeerAddress, cycle.port, c.peer);
    ASSERT_TRUE(peer.Listening());
    cycle.timer->Timer();
    if (c.then) {
      ASSERT_TRUE(PumpMessagesUntil([&] { return requestRead_.load(); }, 5s));
      c.then(cycle);
    }
    EXPECT_TRUE(PumpMessagesUntil([&] { return cycle.counter > 0 && Logged(c.line); }, 3s));
    PumpMessagesFor(300ms);  // whatever else reports this attempt
    EXPECT_EQ(1, cycle.counter);
    const auto log = LogTexts();
    for (const auto& line : log) {
      if (line.find(" could not be ") != std::string::npos) {
        EXPECT_EQ(1, std::count(log.begin(), log.end(), line)) << line;
      }
    }
    EXPECT_FALSE(Logged(">>>>>    Update successfully done!"));
    EXPECT_FALSE(Logged(">>>>>    myIP detected [198.51.100]"));
    if (c.update) {
      // The next attempt on the first ladder step, the endpoints resolved first.
      EXPECT_EQ(15000u, core_->TimerSetIP->Interval());
      EXPECT_TRUE(core_->TimerSetIP->Enabled());
      EXPECT_EQ(1000u, core_->TimerDNS->Interval());
      EXPECT_TRUE(core_->TimerDNS->Enabled());
      EXPECT_NE(6000, SetIPInterval);  // never the cut "SI:6"
    }
  }
}

// A host that takes the request and never answers, or one whose connect
// never completes: the next tick counts the attempt as one failed update or
// detection before it closes it (the close itself counts nothing more), and
// the update moves to the second host at count 6 by the client's own timers,
// whose intervals the test only shortens.
TEST_F(FailedExchangeTest, UnansweredAttemptIsOneFailureAndTheUpdateMovesOn)
{
  const struct {
    const char* name;
    bool update;
    bool stalled;      // the connect never completes; else the request is never answered
    const char* tick;  // a line per attempt, once it is under way
    const char* line;  // a line per failed attempt
  } cases[] = {
      {"update, request never answered", true, false, "Debug    setIP-Request: [",
       "Debug    setIP could not be done (no reply)"},
      {"update, connect never completes", true, true, "Debug    ..... setIP socket",
       ">>>>>    setIP socket connect problem"},
      {"detection, request never answered", false, false, "Debug    myIP socket connect",
       "Debug    myIP could not be detected (no reply)"},
      {"detection, connect never completes", false, true, "Debug    ..... myIP socket",
       "Debug    myIP could not be detected (socket connect)"},
  };
  constexpr const char* SecondHost = "127.0.0.62";
  const auto count = [this](const std::string& prefix) {
    int n = 0;
    for (const auto& line : LogTexts())
      n += line.compare(0, prefix.size(), prefix) == 0;
    return n;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecreateCore();
    AfterSuccessfulUpdate();
    // Names that are their own address: each resolution is done inside the tick.
    EndpointHosts().Update[0] = EndpointHosts().Detect = EndpointHosts().HeartBeat = PeerAddress;
    EndpointHosts().Update[1] = SecondHost;
    TCycle cycle = c.update ? Update() : Detection();
    std::unique_ptr<TIdleListener> stalled;
    std::unique_ptr<TPeerServer> silent;
    if (c.stalled) {
      stalled = std::make_unique<TIdleListener>(PeerAddress, cycle.port);
      ASSERT_TRUE(stalled->Stalled());
    } else {
      silent =
          std::make_unique<TPeerServer>(PeerAddress, cycle.port, [this](SOCKET s) { return ReadRequestThenWait(s); });
      ASSERT_TRUE(silent->Listening());
    }
    TPeerServer second(SecondHost, 900, [](SOCKET s) {
      ReadLine(s);
      send(s, "IP:127.0.0.1 SI:600\n", 20, 0);
      ReadLine(s);
      return TPeerEnd::Close;
    });
    const int attempts = c.update ? 7 : 3;
    for (int k = 1; k <= attempts; ++k) {
      SCOPED_TRACE(k);
      cycle.timer->SetInterval(10);
      ASSERT_TRUE(PumpMessagesUntil([&] { return count(c.tick) == k; }, 5s));
      EXPECT_EQ(k - 1, cycle.counter);
      EXPECT_EQ(k - 1, count(c.line));
      // The ladder once the request went out (five minutes after the first)
      // or a connect that never completed was counted, the tick's 30 seconds
      // while the first connect is under way.
      EXPECT_EQ(c.update && (!c.stalled || k > 1) ? UpdateRetryInterval(k - 1) : 30000u, cycle.timer->Interval());
      EXPECT_TRUE(cycle.timer->Enabled());
      if (!c.update || k == 1) {
        EXPECT_FALSE(core_->TimerDNS->Enabled());
        continue;
      }
      // A failed update asks for a resolution within a second, which picks
      // the host by the new count.
      ASSERT_TRUE(core_->TimerDNS->Enabled());
      EXPECT_EQ(1000u, core_->TimerDNS->Interval());
      core_->TimerDNS->SetInterval(10);
      ASSERT_TRUE(PumpMessagesUntil([&] { return count(">>>>>    DNS Lookup success (SetIP)!") == k - 1; }, 5s));
      EXPECT_EQ(k - 1 == 6, Logged(">>>>>    DNS Lookup setIP2"));
      EXPECT_EQ(k - 1 == 6 ? SecondHost : PeerAddress, UpdateServerIP);
    }
    if (c.update) {
      // The attempt counted as the seventh failure closed, the second host answers.
      cycle.timer->SetInterval(10);
      EXPECT_TRUE(PumpMessagesUntil([&] { return Logged(">>>>>    Update successfully done!"); }, 5s));
      EXPECT_EQ(1, second.Accepted());
      EXPECT_EQ(7, count(c.line));
      EXPECT_EQ(600000u, core_->TimerSetIP->Interval());
    }
    cycle.socket->CloseConnection();  // the row done: lets the silent peer's session end
  }
}

// A detection endpoint that dies after the start, refusing every connection:
// the third failed detection asks for a resolution within a second, and then
// every thirtieth after it, never each one.
TEST_F(FailedExchangeTest, DeadDetectionEndpointIsLookedUpAgainNowAndThen)
{
  constexpr const char* Refusing = "127.0.0.63";  // nothing listens there
  AfterSuccessfulUpdate();
  EndpointHosts().Update[0] = EndpointHosts().Detect = Refusing;
  DetectServerIP = Refusing;
  const std::pair<int, bool> steps[] = {{0, false},  {1, false}, {2, true},   {3, false},
                                        {31, false}, {32, true}, {33, false}, {62, true}};
  for (const auto& [before, resolves] : steps) {
    SCOPED_TRACE(before);
    DetectErrorCount = before;
    core_->TimerDNS->SetEnabled(false);
    core_->TimerDNS->SetInterval(3600000);
    ClearLog();
    core_->TimerMyIP->SetInterval(10);
    ASSERT_TRUE(PumpMessagesUntil([&] { return DetectErrorCount == before + 1; }, 5s));
    EXPECT_TRUE(Logged("Debug    myIP could not be detected (socket connect)"));
    EXPECT_EQ(resolves, core_->TimerDNS->Enabled());
    EXPECT_EQ(resolves ? 1000u : 3600000u, core_->TimerDNS->Interval());
    if (resolves) {
      core_->TimerDNS->SetInterval(10);
      EXPECT_TRUE(PumpMessagesUntil([&] { return Logged(">>>>>    DNS Lookup myIP"); }, 5s));
    }
  }
}

// Winsock can hand a read notification with an error while bytes wait; the
// socket layer then offers it twice. One attempt, one failure.
TEST_F(FailedExchangeTest, ReadEventWithAnErrorCountsOnceWhileBytesWait)
{
  AfterSuccessfulUpdate();
  std::atomic<bool> go{false}, sent{false};
  TPeerServer peer(PeerAddress, 900, [&](SOCKET c) {
    ReadLine(c);
    requestRead_ = true;
    while (!go)
      Sleep(5);
    send(c, "IP:127.0.0.1\n", 13, 0);
    sent = true;
    ReadLine(c);
    return TPeerEnd::Close;
  });
  core_->TimerSetIP->Timer();
  ASSERT_TRUE(PumpMessagesUntil([&] { return requestRead_.load(); }, 5s));
  go = true;
  while (!sent)
    Sleep(5);
  Sleep(100);  // the reply waits on the socket; no message is handled meanwhile
  TSocketMessage read;
  read.Msg = WM_SOCKET_SELECT;
  read.WParam = core_->SSetIP->SocketHandle();
  read.LParam = WSAMAKESELECTREPLY(FD_READ, WSAECONNABORTED);
  core_->SSetIP->HandleWindowMessage(read);
  EXPECT_EQ(1, UpdateErrorCount);
  const auto log = LogTexts();
  EXPECT_EQ(1, std::count(log.begin(), log.end(), "Debug    setIP could not be done (a)"));
  EXPECT_TRUE(core_->TimerDNS->Enabled());
  EXPECT_EQ(1000u, core_->TimerDNS->Interval());
  // The reply still read later is applied as ever.
  EXPECT_TRUE(PumpMessagesUntil([&] { return Logged(">>>>>    Update successfully done!"); }, 5s));
}

}  // namespace
