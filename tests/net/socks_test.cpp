#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "net/net_socket.h"
#include "platform/ascii_text.h"
#include "tests/net/event_recorder.h"
#include "tests/net/net_test_peers.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

// A scripted relay on a blocking socket drives the negotiation byte by byte;
// the tests assert on what the relay received and on the socket's events.

namespace {

std::string Bytes(std::initializer_list<int> values)
{
  std::string text;
  for (int v : values)
    text.push_back(static_cast<char>(v));
  return text;
}

std::string PortBytes(int port)
{
  return Bytes({(port >> 8) & 0xFF, port & 0xFF});
}

const std::string kSocks5Success = Bytes({5, 0, 0, 1, 0, 0, 0, 0, 0, 0});
const std::string kSocks4GrantReply = Bytes({0, 90, 0, 0, 0, 0, 0, 0});

std::string Socks5Request(const std::string& host, int port)
{
  return Bytes({5, 1, 0, 3, static_cast<int>(host.size())}) + host + PortBytes(port);
}

}  // namespace

TEST(Socks, EveryNegotiationSendsItsMessagesByteForByteAndReachesTheApplication)
{
  // One exchange: what the client must send next, and the relay's answer.
  struct TExchange {
    std::string request;
    std::string reply;
  };
  const struct {
    const char* name;
    const char* level;
    const char* user;
    const char* password;  // non-empty: SOCKS 5 user/password offered
    const char* addr;
    int port;
    std::vector<TExchange> exchanges;
    std::vector<std::string> log;
  } cases[] = {
      {"socks 5 without authentication, destination sent as a name",
       "5",
       "",
       "",
       "127.0.0.1",
       4321,
       {{Bytes({5, 1, 0}), Bytes({5, 0})}, {Socks5Request("127.0.0.1", 4321), kSocks5Success}},
       {"socks-connected 0", "connected 0"}},
      {"socks 5 with user and password",
       "5",
       "bob",
       "secret",
       "example.test",
       80,
       {{Bytes({5, 1, 2}), Bytes({5, 2})},
        {Bytes({1, 3}) + "bob" + Bytes({6}) + "secret", Bytes({1, 0})},
        {Socks5Request("example.test", 80), kSocks5Success}},
       {"socks-connected 0", "auth start", "auth success", "connected 0"}},
      {"socks 5 relay that needs no password after all",
       "5",
       "bob",
       "secret",
       "127.0.0.1",
       4321,
       {{Bytes({5, 1, 2}), Bytes({5, 0})}, {Socks5Request("127.0.0.1", 4321), kSocks5Success}},
       {"socks-connected 0", "auth not-required", "connected 0"}},
      {"socks 4 without user",
       "4",
       "",
       "",
       "127.0.0.1",
       4321,
       {{Bytes({4, 1}) + PortBytes(4321) + Bytes({127, 0, 0, 1, 0}), kSocks4GrantReply}},
       {"socks-connected 0", "connected 0"}},
      {"socks 4 with user",
       "4",
       "joe",
       "",
       "127.0.0.2",
       4321,
       {{Bytes({4, 1}) + PortBytes(4321) + Bytes({127, 0, 0, 2}) + "joe" + Bytes({0}), kSocks4GrantReply}},
       {"socks-connected 0", "connected 0"}},
      {"socks 4a with user sends a dotted quad as a name",
       "4a",
       "joe",
       "",
       "127.0.0.1",
       4321,
       {{Bytes({4, 1}) + PortBytes(4321) + Bytes({0, 0, 0, 1}) + "joe" + Bytes({0}) + "127.0.0.1" + Bytes({0}),
         kSocks4GrantReply}},
       {"socks-connected 0", "connected 0"}},
      {"socks 4a without user",
       "4A",
       "",
       "",
       "far.example.test",
       4321,
       {{Bytes({4, 1}) + PortBytes(4321) + Bytes({0, 0, 0, 1, 0}) + "far.example.test" + Bytes({0}),
         kSocks4GrantReply}},
       {"socks-connected 0", "connected 0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string expected;
    for (const auto& exchange : c.exchanges)
      expected += exchange.request;
    expected += "ping";
    std::string received;
    std::atomic<bool> relayDone{false};
    TPeerServer peer([&](SOCKET sock) {
      // The last reply and the application's first bytes in one segment.
      for (const auto& exchange : c.exchanges) {
        received += ReadAll(sock, exchange.request.size());
        SendAll(sock, &exchange == &c.exchanges.back() ? exchange.reply + "hi" : exchange.reply);
      }
      received += ReadAll(sock, 4);
      relayDone = true;
      ReadAll(sock);
    });
    TNetSocket s(nullptr);
    TSocksEvents events;
    events.Attach(s);
    auto onConnected = s.OnSessionConnected;
    s.OnSessionConnected = [&](TObject* sender, std::uint16_t e) {
      onConnected(sender, e);
      EXPECT_EQ(s.State(), wsConnected);
      s.SendText("ping");
    };
    s.SocksUsercode = c.user;
    if (c.password[0] != '\0')
      UseSocksAccount(s, c.user, c.password);
    ConnectViaRelay(s, peer.Port(), c.level, c.addr, std::to_string(c.port));
    EXPECT_EQ(s.SocksLevel(), UpperAscii(c.level));
    ASSERT_TRUE(PumpMessagesUntil([&] { return events.Has("data hi") && relayDone.load(); }, 10s));
    EXPECT_EQ(received, expected);
    std::vector<std::string> log = c.log;
    log.push_back("data hi");
    EXPECT_EQ(events.Log, log);
    s.CloseConnection();
    // The session's relay settings go with it; the credentials stay.
    EXPECT_EQ(s.SocksServer(), "");
    EXPECT_EQ(s.SocksPort(), "");
    EXPECT_EQ(s.SocksLevel(), "5");
    EXPECT_EQ(s.SocksUsercode, c.user);
    EXPECT_EQ(s.SocksPassword, c.password);
    EXPECT_EQ(s.SocksAuthentication, c.password[0] != '\0' ? socksAuthenticateUsercode : socksNoAuthentication);
  }
}

// Each failure: what the relay answers, and the code and text it must give.
struct TFailureCase {
  const char* name;
  const char* level;
  bool withPassword;
  std::vector<std::string> replies;  // one per client message
  int code;
  std::string text;
  std::string user = "";  // without a password
  // Runs before the connect, with the recorder attached.
  std::function<void(TNetSocket&)> arrange = nullptr;
};

// The socket shuts its sending side down at the negotiation step given, so
// the message that step sends cannot go out while the relay waits on.
std::function<void(TNetSocket&)> ShutDownSendingAt(TSocksAuthState step)
{
  return [step](TNetSocket& s) {
    s.OnSocksAuthState = [&s, step, inner = s.OnSocksAuthState](TObject* sender, TSocksAuthState a) {
      inner(sender, a);
      if (a == step)
        s.ShutdownSocket(SD_SEND);
    };
  };
}

void ShutDownSendingAtSocksConnected(TNetSocket& s)
{
  s.OnSocksConnected = [&s, inner = s.OnSocksConnected](TObject* sender, std::uint16_t e) {
    inner(sender, e);
    s.ShutdownSocket(SD_SEND);
  };
}

TEST(Socks, EveryFailureGivesSocksErrorThenConnectedThenClosedWithItsCode)
{
  std::vector<TFailureCase> cases = {
      {"method reply version", "5", false, {Bytes({4, 0})}, SocksVersionError, "socks version error"},
      {"no acceptable method",
       "5",
       false,
       {Bytes({5, 0xFF})},
       SocksMethodNotAcceptable,
       "authentification method not acceptable"},
      {"auth reply version", "5", true, {Bytes({5, 2}), Bytes({5, 0})}, SocksVersionError, "socks version error"},
      {"password refused",
       "5",
       true,
       {Bytes({5, 2}), Bytes({1, 1})},
       SocksAuthenticationFailed,
       "socks authentication failed"},
      {"auth reply too long",
       "5",
       true,
       {Bytes({5, 2}), Bytes({1, 0, 0})},
       SocksLogicError,
       "too much data availaible"},
      {"connect reply version",
       "5",
       false,
       {Bytes({5, 0}), Bytes({4, 0, 0, 1, 0, 0, 0, 0, 0, 0})},
       SocksVersionError,
       "socks version error"},
      {"IPv6 bound address",
       "5",
       false,
       {Bytes({5, 0}), Bytes({5, 0, 0, 4, 0})},
       SocksAddressTypeNotSupported,
       "address type not supported"},
      {"socks 4 version", "4", false, {Bytes({1, 90, 0, 0, 0, 0, 0, 0})}, SocksVersionError, "socks version error"},
      {"socks 4 code 91",
       "4",
       false,
       {Bytes({0, 91, 0, 0, 0, 0, 0, 0})},
       SocksRequestRejected,
       "request rejected or failed"},
      {"socks 4 code 92", "4", false, {Bytes({0, 92, 0, 0, 0, 0, 0, 0})}, SocksConnectionRefused, "connection refused"},
      {"socks 4 code 93",
       "4A",
       false,
       {Bytes({0, 93, 0, 0, 0, 0, 0, 0})},
       SocksAuthenticationFailed,
       "authentification failed"},
      {"socks 4 code 95", "4", false, {Bytes({0, 95, 0, 0, 0, 0, 0, 0})}, SocksUnassignedError, "unassigned error #95"},
  };
  // The codes as the wire shows them: reply code n gives 20003 + n.
  const char* const socks5Texts[] = {"general SOCKS server failure", "connection not allowed by ruleset",
                                     "network unreachable",          "host unreachable",
                                     "connection refused",           "time to live expired",
                                     "command not supported",        "address type not supported"};
  for (int code = 1; code <= 8; ++code)
    cases.push_back({"socks 5 reply code",
                     "5",
                     false,
                     {Bytes({5, 0}), Bytes({5, code, 0, 1, 0, 0, 0, 0, 0, 0})},
                     static_cast<TSocksError>(20003 + code),
                     socks5Texts[code - 1]});
  cases.push_back({"socks 5 reply code 9",
                   "5",
                   false,
                   {Bytes({5, 0}), Bytes({5, 9, 0, 1, 0, 0, 0, 0, 0, 0})},
                   SocksUnassignedError,
                   "unassigned error #9"});
  cases.push_back({"socks 5 reply code 255",
                   "5",
                   false,
                   {Bytes({5, 0}), Bytes({5, 255})},
                   SocksUnassignedError,
                   "unassigned error #255"});
  cases.push_back({"bound name too long for the reply buffer",
                   "5",
                   false,
                   {Bytes({5, 0}), Bytes({5, 0, 0, 3, 200}) + std::string(200, 'n') + PortBytes(1)},
                   SocksInternalError,
                   "socks reply too long: bound host name of 200 bytes, at most 120 fit"});
  // Only "no authentication" was offered: the user name must not go out.
  cases.push_back({"user/password picked though not offered",
                   "5",
                   false,
                   {Bytes({5, 2})},
                   SocksMethodNotAcceptable,
                   "authentification method not acceptable",
                   "bob"});
  // A message of the negotiation that cannot be sent while the session stays
  // open: the relay would wait for it for ever.
  cases.push_back({"credentials cannot be sent",
                   "5",
                   true,
                   {Bytes({5, 2})},
                   WSAESHUTDOWN,
                   "data send error",
                   "",
                   ShutDownSendingAt(socksAuthStart)});
  cases.push_back({"connect request cannot be sent",
                   "4",
                   false,
                   {},
                   WSAESHUTDOWN,
                   "data send error",
                   "",
                   ShutDownSendingAtSocksConnected});
  cases.push_back({"method offer cannot be sent",
                   "5",
                   false,
                   {},
                   WSAESHUTDOWN,
                   "data send error",
                   "",
                   ShutDownSendingAtSocksConnected});
  cases.push_back({"connect request cannot be sent, reported to OnError",
                   "4",
                   false,
                   {},
                   WSAESHUTDOWN,
                   "data send error",
                   "",
                   [](TNetSocket& s) {
                     ShutDownSendingAtSocksConnected(s);
                     s.OnError = [](TObject*) {};
                   }});

  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.code));
    std::atomic<bool> relayDone{false};
    std::atomic<bool> checked{false};
    std::string afterLastReply = "untouched";
    TPeerServer peer([&](SOCKET sock) {
      // Each reply answers one client message; wait for it first.
      for (const auto& reply : c.replies) {
        char buffer[512];
        if (recv(sock, buffer, sizeof(buffer), 0) <= 0)
          break;
        SendAll(sock, reply);
      }
      afterLastReply = ReadAll(sock);
      relayDone = true;
      // A relay does not give up on a client that only stopped sending.
      for (int i = 0; i < 2000 && !checked; ++i)
        Sleep(5);
    });
    TNetSocket s(nullptr);
    TSocksEvents events;
    events.Attach(s);
    if (c.withPassword)
      UseSocksAccount(s, "u", "p");
    else
      s.SocksUsercode = c.user;
    if (c.arrange)
      c.arrange(s);
    ConnectViaRelay(s, peer.Port(), c.level);
    ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 10s));
    const std::string code = std::to_string(c.code);
    std::vector<std::string> expected = {"socks-connected 0"};
    if (c.withPassword)
      expected.push_back("auth start");
    expected.insert(expected.end(), {"socks-error " + code + " " + c.text, "connected " + code, "closed " + code});
    // A refused password is a negotiation error, not an authentication
    // failure: no "auth failure" comes.
    EXPECT_EQ(events.Log, expected);
    EXPECT_EQ(s.SocksServer(), "");
    EXPECT_TRUE(PumpMessagesUntil([&] { return relayDone.load(); }, 10s));
    EXPECT_EQ(afterLastReply, "");  // a failed negotiation sends nothing more
    checked = true;
  }
}

TEST(Socks, AFailureEndsClosedWhateverItsHandlersThrow)
{
  // The failure's close comes first; the exception then goes where the event
  // being handled sends handler exceptions: the receive loop swallows it, a
  // close notification hands it to OnBgException.
  enum TThrower { SocksError, SessionConnected, AuthState };
  const std::string noMethod = "socks-error 20003 authentification method not acceptable";
  const struct {
    const char* name;
    TThrower thrower;
    std::vector<std::string> replies;  // one per client message
    bool relayCloses;                  // once the next client message is in
    std::vector<std::string> log;
    const char* level = "5";
    const char* addr = "127.0.0.1";
  } cases[] = {
      {"OnSocksError",
       SocksError,
       {Bytes({5, 0xFF})},
       false,
       {"socks-connected 0", noMethod, "connected 20003", "closed 20003"}},
      {"OnSessionConnected",
       SessionConnected,
       {Bytes({5, 0xFF})},
       false,
       {"socks-connected 0", noMethod, "connected 20003", "closed 20003"}},
      {"OnSocksAuthState, password refused",
       AuthState,
       {Bytes({5, 2}), Bytes({1, 1})},
       false,
       {"socks-connected 0", "auth start", "socks-error 20015 socks authentication failed", "connected 20015",
        "closed 20015"}},
      {"OnSocksAuthState, password not needed after all",
       AuthState,
       {Bytes({5, 0}), Bytes({5, 1, 0, 1, 0, 0, 0, 0, 0, 0})},
       false,
       {"socks-connected 0", "auth not-required", "socks-error 20004 general SOCKS server failure", "connected 20004",
        "closed 20004"}},
      {"OnSocksAuthState, password taken",
       AuthState,
       {Bytes({5, 2}), Bytes({1, 0}), Bytes({5, 1, 0, 1, 0, 0, 0, 0, 0, 0})},
       false,
       {"socks-connected 0", "auth start", "auth success", "socks-error 20004 general SOCKS server failure",
        "connected 20004", "closed 20004"}},
      {"OnSocksAuthState, relay gone during authentication",
       AuthState,
       {Bytes({5, 2})},
       true,
       {"socks-connected 0", "auth start", "auth failure", "closed 0", "bg boom"}},
      {"OnSocksError, socks 4 destination unknown",
       SocksError,
       {},
       false,
       {"socks-connected 0",
        "socks-error 20017 ESocketException NetSocketResolveHost: Cannot convert host address 'no-such-host.test', "
        "Error #11001",
        "closed 20017", "bg boom"},
       "4",
       "no-such-host.test"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TPeerServer peer([&](SOCKET sock) {
      char buffer[512];
      for (const auto& reply : c.replies) {
        if (recv(sock, buffer, sizeof(buffer), 0) <= 0)
          return;
        SendAll(sock, reply);
      }
      if (c.relayCloses)
        recv(sock, buffer, sizeof(buffer), 0);
      else
        ReadAll(sock);
    });
    TNetSocket s(nullptr);
    TSocksEvents events;
    events.Attach(s);
    s.OnBgException = [&](TObject*, Exception& e, bool&) { events.Log.push_back("bg " + e.Message()); };
    const auto boom = [] { throw ESocketException("boom"); };
    if (c.thrower == SocksError)
      s.OnSocksError = [inner = s.OnSocksError, boom](TObject* sender, int e, const std::string& m) {
        inner(sender, e, m);
        boom();
      };
    else if (c.thrower == SessionConnected)
      s.OnSessionConnected = [inner = s.OnSessionConnected, boom](TObject* sender, std::uint16_t e) {
        inner(sender, e);
        boom();
      };
    else
      s.OnSocksAuthState = [inner = s.OnSocksAuthState, boom](TObject* sender, TSocksAuthState a) {
        inner(sender, a);
        boom();
      };
    UseSocksAccount(s, "u", "p");
    ConnectViaRelay(s, peer.Port(), c.level, c.addr);
    EXPECT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 10s));
    PumpMessagesFor(50ms);
    EXPECT_EQ(events.Log, c.log);
    EXPECT_EQ(s.SocksServer(), "");
  }
}

TEST(Socks, RepliesInPiecesWaitForTheWholeReply)
{
  std::atomic<int> clientRead{0};
  TPeerServer peer([&](SOCKET c) {
    auto waitRead = [&](int count) {
      for (int i = 0; i < 2000 && clientRead.load() < count; ++i)
        Sleep(5);
    };
    ReadAll(c, 3);
    SendAll(c, Bytes({5, 2}));
    ReadAll(c, 5);
    SendAll(c, Bytes({1}));  // the status byte comes later
    waitRead(3);
    SendAll(c, Bytes({0}));
    ReadAll(c, 7 + 9);
    SendAll(c, kSocks5Success.substr(0, 3));
    waitRead(4 + 3);
    SendAll(c, kSocks5Success.substr(3));
    ReadAll(c);
  });
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  UseSocksAccount(s, "a", "b");
  // The last event when 3 bytes (method reply and the first status byte)
  // and when 7 bytes (the first piece of the connect reply) were taken in;
  // the relay sends on only after these were seen.
  std::string atThree;
  std::string atSeven;
  ConnectViaRelay(s, peer.Port(), "5");
  ASSERT_TRUE(PumpMessagesUntil(
      [&] {
        const int now = s.ReadCount();
        if (now == 3 && atThree.empty())
          atThree = events.Log.back();
        if (now == 7 && atSeven.empty())
          atSeven = events.Log.back();
        clientRead = now;
        return events.Has("connected 0");
      },
      10s));
  EXPECT_EQ(atThree, "auth start");
  EXPECT_EQ(atSeven, "auth success");
  EXPECT_EQ(events.Log, (std::vector<std::string>{"socks-connected 0", "auth start", "auth success", "connected 0"}));
  s.CloseConnection();
}

TEST(Socks, BytesBehindTheSocks5ReplyReachTheApplicationFirst)
{
  std::atomic<bool> firstSeen{false};
  const std::string tail(300, 'T');
  std::string big;
  for (int i = 0; i < 300; ++i)
    big.push_back(static_cast<char>('a' + i % 26));
  TPeerServer peer([&](SOCKET c) {
    // A bound name, then more application bytes than the reply buffer holds.
    GrantSocks5(c, kSocks5LoopbackRequestSize, Bytes({5, 0, 0, 3, 4}) + "host" + PortBytes(1) + "hello" + big);
    for (int i = 0; i < 2000 && !firstSeen; ++i)
      Sleep(5);
    SendAll(c, "world");
    ReadAll(c);
  });
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  ConnectViaRelay(s, peer.Port(), "5");
  ASSERT_TRUE(PumpMessagesUntil(
      [&] {
        firstSeen = events.AllData().size() >= 305;
        return events.AllData().size() >= 310;
      },
      10s));
  EXPECT_EQ(events.AllData(), "hello" + big + "world");
  ASSERT_FALSE(events.DataCounts.empty());
  // The first offer holds exactly what came behind the reply in its read:
  // 127 bytes were taken, 11 of them the reply.
  EXPECT_EQ(events.DataCounts[0], 127 - 11);
  EXPECT_EQ(events.Log[0], "socks-connected 0");
  EXPECT_EQ(events.Log[1], "connected 0");
  s.CloseConnection();
}

TEST(Socks, AHandlerThatReadsInOnSessionConnectedGetsTheLeftoverFirst)
{
  TPeerServer peer([&](SOCKET c) {
    GrantSocks5(c, kSocks5LoopbackRequestSize, kSocks5Success + "first");
    Sleep(200);
    SendAll(c, "second");
    ReadAll(c);
  });
  TNetSocket s(nullptr);
  std::string received;
  s.OnSessionConnected = [&](TObject*, std::uint16_t) {
    EXPECT_EQ(s.RcvdCount(), 5);
    received += s.ReceiveText();
  };
  s.OnDataAvailable = [&](TObject*, std::uint16_t) { received += s.ReceiveText(); };
  ConnectViaRelay(s, peer.Port(), "5");
  ASSERT_TRUE(PumpMessagesUntil([&] { return received.size() >= 11; }, 10s));
  EXPECT_EQ(received, "firstsecond");
  s.CloseConnection();
}

TEST(Socks, RelayClosingDuringAuthenticationGivesAuthFailureThenClosed)
{
  TPeerServer peer([&](SOCKET c) {
    ReadAll(c, 3);
    SendAll(c, Bytes({5, 2}));
    ReadAll(c, 3 + 1 + 1);
  });
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  UseSocksAccount(s, "u", "p");
  ConnectViaRelay(s, peer.Port(), "5");
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 10s));
  EXPECT_EQ(events.Log, (std::vector<std::string>{"socks-connected 0", "auth start", "auth failure", "closed 0"}));
}

TEST(Socks, Socks4DestinationThatCannotBeResolvedClosesWithoutConnected)
{
  std::string received = "untouched";
  TPeerServer peer([&](SOCKET c) { received = ReadAll(c); });
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  std::string message;
  s.OnSocksError = [&](TObject*, int e, const std::string& m) {
    events.Log.push_back("socks-error " + std::to_string(e));
    message = m;
  };
  ConnectViaRelay(s, peer.Port(), "4", "no-such-host.test");
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 10s));
  ASSERT_TRUE(peer.WaitSessions(1, 10000));
  EXPECT_EQ(events.Log, (std::vector<std::string>{"socks-connected 0", "socks-error 20017", "closed 20017"}));
  EXPECT_EQ(message.rfind("ESocketException NetSocketResolveHost: Cannot convert host address 'no-such-host.test'", 0),
            0u)
      << message;
  EXPECT_EQ(received, "");
}

TEST(Socks, RequestsThatCannotFitAreRefusedBeforeAnythingOpens)
{
  struct Case {
    const char* level;
    std::string user;
    std::string password;
    std::string addr;
    std::string text;
  };
  const std::string longName = std::string(118, 'h') + ".test";  // 123 bytes
  const std::vector<Case> cases = {
      {"5", "", "", longName, "connect: socks request too long: host name of 123 bytes, at most 121 fit"},
      {"5", std::string(100, 'u'), std::string(26, 'p'), "127.0.0.1",
       "connect: socks request too long: user code and password of 126 bytes together, at most 125 fit"},
      {"4", std::string(120, 'u'), "", "127.0.0.1",
       "connect: socks request too long: user code of 120 bytes, at most 119 fit"},
      {"4A", std::string(10, 'u'), "", std::string(109, 'h'),
       "connect: socks request too long: user code and host name of 119 bytes together, at most 118 fit"},
  };
  TPeerServer peer([](SOCKET) {});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    TNetSocket s(nullptr);
    TSocksEvents events;
    events.Attach(s);
    s.SocksUsercode = c.user;
    if (!c.password.empty())
      UseSocksAccount(s, c.user, c.password);
    EXPECT_EQ(ThrownText([&] { ConnectViaRelay(s, peer.Port(), c.level, c.addr); }), c.text);
    EXPECT_EQ(s.State(), wsClosed);
    EXPECT_EQ(s.SocketHandle(), INVALID_SOCKET);
    EXPECT_TRUE(events.Log.empty());
  }
  // The largest requests that do fit go out whole.
  std::string received;
  const std::string fitting = std::string(116, 'h') + ".test";  // 121 bytes: 128 in all
  TPeerServer relay([&](SOCKET c) {
    ReadAll(c, 3);
    SendAll(c, Bytes({5, 2}));
    received = ReadAll(c, 128);
    SendAll(c, Bytes({1, 0}));
    received += ReadAll(c, 128);
    SendAll(c, kSocks5Success);
    ReadAll(c);
  });
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  UseSocksAccount(s, std::string(100, 'u'), std::string(25, 'p'));
  ConnectViaRelay(s, relay.Port(), "5", fitting, "4321");
  ASSERT_TRUE(PumpMessagesUntil([&] { return events.Has("connected 0"); }, 10s));
  EXPECT_EQ(received, Bytes({1, 100}) + std::string(100, 'u') + Bytes({25}) + std::string(25, 'p') +
                          Socks5Request(fitting, 4321));
  s.CloseConnection();
}

TEST(Socks, SettersAndConnectRefuseWhatTheyMustWithTheirTexts)
{
  // Refusals while not closed: Addressing; the refused Listen: Server.
  TNetSocket s(nullptr);
  EXPECT_EQ(s.SocksLevel(), "5");
  s.AssignSocksLevel("4a");
  EXPECT_EQ(s.SocksLevel(), "4A");
  for (const char* bad : {" 5", "4B", "5 ", "", "6", "4AA"}) {
    EXPECT_EQ(ThrownText([&] { s.AssignSocksLevel(bad); }), "Invalid socks level. Must be 4, 4A or 5.") << bad;
    EXPECT_EQ(s.SocksLevel(), "4A");
  }
  s.AssignSocksServer("  \t127.0.0.1 \r\n");
  EXPECT_EQ(s.SocksServer(), "127.0.0.1");
  s.AssignSocksPort(" 1080 ");
  EXPECT_EQ(s.SocksPort(), "1080");

  s.AssignProto("udp");
  s.AssignAddr("127.0.0.1");
  s.AssignPort("9");
  EXPECT_EQ(ThrownText([&] { s.Connect(); }), "tcp is the only protocol supported thru socks server");
  s.AssignProto("tcp");
  s.AssignSocksServer("no-such-relay.test");
  EXPECT_EQ(ThrownText([&] { s.Connect(); }).rfind("connect: NetSocketResolveHost: Cannot convert host address", 0),
            0u);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.SocketHandle(), INVALID_SOCKET);

  // With OnError the refusal calls the handler and changes nothing.
  int errors = 0;
  s.OnError = [&](TObject*) { ++errors; };
  s.AssignSocksLevel("7");
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(s.SocksLevel(), "4A");
}

TEST(Socks, BlankRelayNameMeansADirectConnection)
{
  TPeerServer peer([](SOCKET c) {
    SendAll(c, Bytes({5, 0}) + "direct");
    ReadAll(c);
  });
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  s.AssignSocksServer("   ");
  s.AssignSocksPort("1080");
  ConnectTcp(s, peer.Port());
  ASSERT_TRUE(PumpMessagesUntil([&] { return !events.Data.empty() && events.AllData().size() >= 8; }, 10s));
  EXPECT_EQ(events.AllData(), Bytes({5, 0}) + "direct");
  EXPECT_EQ(events.Log.front(), "connected 0");
  s.CloseConnection();
}

TEST(Socks, RelaySetAfterAFailedDirectAttemptIsReachedOnItsOwnPort)
{
  std::string received;
  TPeerServer relay([&](SOCKET c) {
    received = GrantSocks5(c, 7 + 17, kSocks5Success);
    ReadAll(c);
  });
  TPeerServer destination([](SOCKET c) { ReadAll(c); });
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  s.OnError = [&](TObject*) { events.Log.push_back("error"); };
  // The direct attempt resolves the port, then fails on the name.
  s.AssignAddr("no-such-host.test");
  s.AssignPort(destination.PortText());
  s.Connect();
  EXPECT_EQ(events.Log, std::vector<std::string>{"error"});
  events.Log.clear();
  s.AssignSocksServer("127.0.0.1");
  s.AssignSocksPort(relay.PortText());
  s.Connect();
  ASSERT_TRUE(PumpMessagesUntil([&] { return events.Has("connected 0"); }, 10s));
  EXPECT_EQ(received, Bytes({5, 1, 0}) + Socks5Request("no-such-host.test", destination.Port()));
  EXPECT_EQ(destination.Accepted(), 0);
  s.CloseConnection();
}

TEST(Socks, ConnectDuringTheNegotiationIsRefusedAndTheNegotiationGoesOn)
{
  std::atomic<bool> requestSeen{false};
  TPeerServer peer([&](SOCKET c) {
    ReadAll(c, 3);
    SendAll(c, Bytes({5, 0}));
    ReadAll(c, 7 + 9);
    requestSeen = true;
    Sleep(100);
    SendAll(c, kSocks5Success);
    ReadAll(c);
  });
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  ConnectViaRelay(s, peer.Port(), "5");
  ASSERT_TRUE(PumpMessagesUntil([&] { return requestSeen.load(); }, 10s));
  EXPECT_EQ(ThrownText([&] { s.Connect(); }), "Connect: Socket already in use");
  ASSERT_TRUE(PumpMessagesUntil([&] { return events.Has("connected 0"); }, 10s));
  EXPECT_EQ(events.Log, (std::vector<std::string>{"socks-connected 0", "connected 0"}));
  s.CloseConnection();
}

TEST(Socks, RelayNotListeningGivesSocksConnectedAndConnectedWithTheError)
{
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  ConnectViaRelay(s, UnusedTcpPort(), "5");
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 10s));
  ASSERT_GE(events.Log.size(), 2u);
  EXPECT_EQ(events.Log[0], "socks-connected 10061");
  EXPECT_EQ(events.Log[1], "connected 10061");
  EXPECT_EQ(s.SocksServer(), "");
}

TEST(Socks, RefusedRelayedConnectLeavesNoNegotiationForTheNextDirectOne)
{
  std::string received = "untouched";
  TPeerServer peer(SendsThenReads("hello", &received));
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  s.AssignSocksServer("127.0.0.1");
  s.AssignSocksPort(peer.PortText());
  s.AssignPort(peer.PortText());
  EXPECT_EQ(ThrownText([&] { s.Connect(); }), "Connect: No IP Address Specified");  // no Addr yet
  s.AssignSocksServer("");
  s.AssignAddr("127.0.0.1");
  s.Connect();
  ASSERT_TRUE(PumpMessagesUntil([&] { return events.Has("data hello"); }, 10s));
  EXPECT_EQ(events.Log, (std::vector<std::string>{"connected 0", "data hello"}));
  s.CloseConnection();
  ASSERT_TRUE(peer.WaitSessions(1, 10000));
  EXPECT_EQ(received, "");
}

TEST(Socks, HandlerThatClosesTheSocketEndsTheNegotiationThere)
{
  TPeerServer peer([&](SOCKET c) {
    ReadAll(c, 3);
    SendAll(c, Bytes({5, 0xFF}));
    ReadAll(c);
  });
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  s.OnSocksError = [&](TObject*, int e, const std::string&) {
    events.Log.push_back("socks-error " + std::to_string(e));
    s.CloseConnection();
  };
  ConnectViaRelay(s, peer.Port(), "5");
  ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 10s));
  PumpMessagesFor(100ms);
  EXPECT_EQ(events.Log, (std::vector<std::string>{"socks-connected 0", "socks-error 20003", "closed 0"}));
}

TEST(Socks, SessionsTheRelayedConnectDidNotOpenBeginWithData)
{
  // Each opens while a relayed negotiation waits for the relay's method reply.
  const struct {
    const char* name;
    bool adopt;  // else a direct connection from OnChangeState(wsClosed)
    std::vector<std::string> log;
  } cases[] = {{"adopted handle", true, {"data hello"}}, {"direct connect", false, {"connected 0", "data hello"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<bool> offerSeen{false};
    TPeerServer relay([&](SOCKET r) {
      ReadAll(r, 3);
      offerSeen = true;
      ReadAll(r);
    });
    std::string received = "untouched";
    TPeerServer peer(SendsThenReads("hello", &received));
    TNetSocket s(nullptr);
    TSocksEvents events;
    events.Attach(s);
    ConnectViaRelay(s, relay.Port(), "5");
    ASSERT_TRUE(PumpMessagesUntil([&] { return offerSeen.load(); }, 10s));
    events.Log.clear();
    if (c.adopt) {
      s.Dup(RawConnection(peer.Port()));
    } else {
      s.OnChangeState = [&](TObject*, TSocketState, TSocketState to) {
        if (to != wsClosed || s.SocksServer().empty())
          return;
        s.AssignSocksServer("");
        ConnectTcp(s, peer.Port());
      };
      s.CloseConnection();
    }
    EXPECT_TRUE(PumpMessagesUntil([&] { return events.Has("data hello"); }, 10s));
    PumpMessagesFor(50ms);
    EXPECT_EQ(events.Log, c.log);
    s.OnChangeState = nullptr;
    s.CloseConnection();
    ASSERT_TRUE(peer.WaitSessions(1, 10000));
    EXPECT_EQ(received, "");
  }
}

TEST(Socks, ASessionOpenedWhereAReadErrorEndedTheNegotiationKeepsItsFirstBytes)
{
  std::atomic<bool> offerSeen{false};
  TPeerServer relay([&](SOCKET r) {
    ReadAll(r, 3);
    offerSeen = true;
    ReadAll(r);
  });
  TPeerServer peer(SendsThenReads("hello"));
  const SOCKET raw = RawConnection(peer.Port());
  ASSERT_NE(raw, INVALID_SOCKET);
  TNetSocket s(nullptr);
  TSocksEvents events;
  events.Attach(s);
  ConnectViaRelay(s, relay.Port(), "5");
  ASSERT_TRUE(PumpMessagesUntil([&] { return offerSeen.load(); }, 10s));
  u_long waiting = 0;
  for (int i = 0; i < 2000 && waiting < 5; ++i, Sleep(5))
    ioctlsocket(raw, FIONREAD, &waiting);
  s.OnSessionClosed = [&](TObject*, std::uint16_t e) {
    events.Log.push_back("closed " + std::to_string(e));
    if (e != 0)
      s.Dup(raw);
  };
  // The relay's connection fails under the negotiation: the adopted peer's
  // bytes already wait when the failure's close returns.
  TSocketMessage failure = SelectMessage(s, FD_READ);
  failure.LParam = WSAMAKESELECTREPLY(FD_READ, WSAECONNRESET);
  s.HandleWindowMessage(failure);
  EXPECT_TRUE(PumpMessagesUntil([&] { return events.Has("data hello"); }, 10s));
  EXPECT_EQ(events.Log, (std::vector<std::string>{"socks-connected 0", "socks-error 10054 data receive error",
                                                  "connected 10054", "closed 10054", "data hello"}));
  s.CloseConnection();
}
