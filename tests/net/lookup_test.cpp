#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "net/lookup_request.h"
#include "net/net_socket.h"
#include "net/socket_window.h"
#include "net/winsock_binding.h"
#include "tests/net/net_test_peers.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

namespace {

struct TLookupLog {
  std::vector<int> Codes;
  std::vector<std::vector<std::string>> Lists;

  void Attach(TNetSocket& s)
  {
    s.OnDnsLookupDone = [this, &s](TObject* sender, std::uint16_t err) {
      EXPECT_EQ(sender, &s);
      Codes.push_back(err);
      Lists.push_back(s.DnsResultList());
    };
  }
};

bool AllLookupsSettled()
{
  return PendingOrphanLookupCount() == 0;
}

// Reaches the buffer of a pending request.
class TLookupSocket : public TNetSocket {
public:
  using TNetSocket::TNetSocket;
  TLookupRequest* Request(HANDLE handle)
  {
    for (const auto& request : PendingLookups())
      if (request->Handle == handle)
        return request.get();
    return nullptr;
  }
};

// Waits, without handling it, until a lookup reply is queued for the window.
bool WaitForQueuedReply(HWND window, MSG& reply)
{
  const auto deadline = std::chrono::steady_clock::now() + 20000ms;
  while (!PeekMessageA(&reply, window, WM_SOCKET_HOST_LOOKUP, WM_SOCKET_HOST_LOOKUP, PM_NOREMOVE)) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    Sleep(5);
  }
  return true;
}

}  // namespace

TEST(Lookup, NameWithThreeAddressesGivesAllInOrder)
{
  TNetSocket s(nullptr);
  TLookupLog log;
  log.Attach(s);
  s.DnsLookup("multi.korvalind.test");
  EXPECT_NE(s.LookupHandle(), nullptr);
  ASSERT_TRUE(PumpMessagesUntil([&] { return !log.Codes.empty(); }, 20000ms));
  EXPECT_EQ(log.Codes, (std::vector<int>{0}));
  EXPECT_EQ(s.DnsResultList(), (std::vector<std::string>{"127.0.0.41", "127.0.0.42", "127.0.0.43"}));
  EXPECT_EQ(s.DnsResult(), "127.0.0.41");
  EXPECT_EQ(s.LookupHandle(), nullptr);
  EXPECT_EQ(s.PendingLookupCount(), 0);
}

TEST(Lookup, UnknownNameReportsItsErrorAndEmptyResults)
{
  TNetSocket s(nullptr);
  TLookupLog log;
  log.Attach(s);
  s.DnsLookup("multi.korvalind.test");
  ASSERT_TRUE(PumpMessagesUntil([&] { return !log.Codes.empty(); }, 20000ms));
  s.DnsLookup("no-such-host.korvalind.test");
  ASSERT_TRUE(PumpMessagesUntil([&] { return log.Codes.size() == 2; }, 20000ms));
  EXPECT_EQ(log.Codes[1], 11001);
  EXPECT_TRUE(s.DnsResultList().empty());
  EXPECT_EQ(s.DnsResult(), "");
}

TEST(Lookup, SuccessWithoutAnyAddressIsReportedAsNoData)
{
  TLookupSocket s(nullptr);
  TLookupLog log;
  log.Attach(s);
  s.DnsLookup("multi.korvalind.test");
  TLookupRequest* request = s.Request(s.LookupHandle());
  ASSERT_NE(request, nullptr);
  MSG reply;
  ASSERT_TRUE(WaitForQueuedReply(s.HiddenWindow(), reply));
  ASSERT_EQ(WSAGETASYNCERROR(reply.lParam), 0);
  // The answer is in the buffer; empty its address list before it is read.
  auto* entry = reinterpret_cast<hostent*>(request->Buffer);
  ASSERT_NE(entry->h_addr_list, nullptr);
  entry->h_addr_list[0] = nullptr;
  ASSERT_TRUE(PumpMessagesUntil([&] { return !log.Codes.empty(); }, 20000ms));
  EXPECT_EQ(log.Codes, (std::vector<int>{11004}));
  EXPECT_TRUE(log.Lists[0].empty());
  EXPECT_EQ(s.DnsResult(), "");
}

TEST(Lookup, DottedQuadIsAnsweredInsideTheCallTrimmed)
{
  TNetSocket s(nullptr);
  TLookupLog log;
  log.Attach(s);
  s.DnsLookup(" 127.0.0.21 ");
  ASSERT_EQ(log.Codes, (std::vector<int>{0}));
  EXPECT_EQ(log.Lists[0], (std::vector<std::string>{"127.0.0.21"}));
  s.DnsLookup("010.0.0.1");  // inet_addr reads octal parts
  ASSERT_EQ(log.Codes.size(), 2u);
  EXPECT_EQ(s.DnsResult(), "8.0.0.1");
  EXPECT_EQ(s.PendingLookupCount(), 0);
}

TEST(Lookup, EmptyNameReportsThenFiresTheEventOnlyWithAnErrorHandler)
{
  TNetSocket s(nullptr);
  TLookupLog log;
  log.Attach(s);
  try {
    s.DnsLookup("");
    FAIL() << "no report";
  } catch (const ESocketException& e) {
    EXPECT_EQ(e.Message(), "DNS lookup: invalid host name.");
  }
  EXPECT_TRUE(log.Codes.empty());
  int errors = 0;
  s.OnError = [&](TObject*) { ++errors; };
  s.DnsLookup("");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(log.Codes, (std::vector<int>{10022}));
  s.ReverseDnsLookup(std::string(257, '1'));
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(log.Codes, (std::vector<int>{10022, 10022}));
}

TEST(Lookup, SecondLookupReplacesThePendingOne)
{
  for (int round = 0; round < 20; ++round) {
    TNetSocket s(nullptr);
    TLookupLog log;
    log.Attach(s);
    s.DnsLookup("multi.korvalind.test");
    s.DnsLookup("update1.korvalind.test");
    ASSERT_TRUE(PumpMessagesUntil([&] { return !log.Codes.empty() && s.PendingLookupCount() == 0; }, 20000ms));
    PumpMessagesFor(20ms);
    ASSERT_EQ(log.Codes, (std::vector<int>{0})) << round;
    EXPECT_EQ(log.Lists[0], (std::vector<std::string>{"127.0.0.21"})) << round;
    EXPECT_EQ(s.DnsResultList(), (std::vector<std::string>{"127.0.0.21"})) << round;
  }
}

TEST(Lookup, CancelFiresInterruptedAndTheLateReplyIsIgnored)
{
  TNetSocket s(nullptr);
  TLookupLog log;
  log.Attach(s);
  s.CancelLookup();  // nothing pending: nothing happens
  EXPECT_TRUE(log.Codes.empty());
  s.DnsLookup("multi.korvalind.test");
  s.CancelLookup();
  EXPECT_EQ(log.Codes, (std::vector<int>{10004}));
  // The reply still comes (a cancel does not cancel here) and is dropped.
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.PendingLookupCount() == 0; }, 20000ms));
  EXPECT_EQ(log.Codes, (std::vector<int>{10004}));
  EXPECT_TRUE(s.DnsResultList().empty());
}

TEST(Lookup, DestroyingSocketsWithLookupsPendingIsClean)
{
  ASSERT_EQ(LiveSocketCount(), 0);
  int events = 0;
  for (int i = 0; i < 300; ++i) {
    auto s = std::make_unique<TNetSocket>(nullptr);
    s->OnDnsLookupDone = [&](TObject*, std::uint16_t) { ++events; };
    s->DnsLookup(i % 2 == 0 ? "multi.korvalind.test" : "no-such-host.korvalind.test");
    if (i % 3 == 0)
      s->DnsLookup("update2.korvalind.test");  // a replaced request goes with it
    s.reset();
    if (i % 50 == 0)
      PumpMessagesFor(1ms);
  }
  EXPECT_TRUE(PumpMessagesUntil(AllLookupsSettled, 30000ms));
  EXPECT_EQ(events, 0);
  EXPECT_EQ(LiveSocketCount(), 0);
  EXPECT_EQ(SocketWindowCount(), 0);
  EXPECT_FALSE(WinsockLoaded());
  EXPECT_FALSE(SocketWindowClassRegistered());
}

TEST(Lookup, WinsockStaysLoadedWhileALookupOfADestroyedSocketIsInFlight)
{
  auto s = std::make_unique<TNetSocket>(nullptr);
  s->DnsLookup("multi.korvalind.test");
  s.reset();
  EXPECT_EQ(PendingOrphanLookupCount(), 1);
  EXPECT_TRUE(WinsockLoaded());
  EXPECT_TRUE(PumpMessagesUntil(AllLookupsSettled, 20000ms));
  EXPECT_FALSE(WinsockLoaded());
}

TEST(Lookup, ReverseLookupOfLoopback)
{
  TNetSocket s(nullptr);
  TLookupLog log;
  log.Attach(s);
  s.ReverseDnsLookup("127.0.0.1");
  ASSERT_TRUE(PumpMessagesUntil([&] { return !log.Codes.empty(); }, 20000ms));
  EXPECT_EQ(log.Codes, (std::vector<int>{0}));
  EXPECT_EQ(s.DnsResult(), "localhost");
  EXPECT_EQ(s.DnsResultList(), (std::vector<std::string>{"localhost"}));
}

TEST(Lookup, AbortSessionCancelsAPendingLookup)
{
  TNetSocket s(nullptr);
  TLookupLog log;
  log.Attach(s);
  s.DnsLookup("update3.korvalind.test");
  s.AbortSession();
  EXPECT_EQ(log.Codes, (std::vector<int>{10004}));
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.PendingLookupCount() == 0; }, 20000ms));
  EXPECT_EQ(log.Codes.size(), 1u);
}

TEST(Lookup, AnAbortFinishesWhateverTheCancelledLookupsHandlerThrows)
{
  for (const bool background : {false, true}) {
    SCOPED_TRACE(background ? "background exception" : "AbortSession");
    TPeerServer peer([](SOCKET c) { ReadAll(c); });
    TNetSocket s(nullptr);
    ASSERT_TRUE(ConnectAndWait(s, peer.Port()));
    int closes = 0;
    s.OnSessionClosed = [&](TObject*, std::uint16_t) { ++closes; };
    s.OnDnsLookupDone = [](TObject*, std::uint16_t) { throw ESocketException("lookup handler failed"); };
    s.DnsLookup("update3.korvalind.test");
    if (background) {
      TSocketMessage message{WM_SOCKET_TEST_EXCEPTION};
      s.HandleWindowMessage(message);
    } else {
      EXPECT_EQ(ThrownText([&] { s.AbortSession(); }), "lookup handler failed");
    }
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.SocketHandle(), INVALID_SOCKET);
    EXPECT_EQ(closes, 1);
    EXPECT_TRUE(peer.WaitSessions(1, 20000));  // the peer's read saw the close
  }
}
