#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "net/net_socket.h"
#include "tests/net/net_test_peers.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

// End to end through real relays from Debian (microsocks, dante-server) that
// tools/socks-relays starts on loopback and names in the environment.

namespace {

std::string Env(const char* name)
{
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// The relay's port, or a test failure when the relays were not started.
std::string RelayPort(const char* name)
{
  const std::string port = Env(name);
  if (port.empty())
    ADD_FAILURE() << name << " is not set: run this program through tools/socks-relays";
  return port;
}

// A destination that greets, answers one line and closes.
TPeerServer GreetingServer()
{
  return TPeerServer([](SOCKET c) {
    SendAll(c, "hello\r\n");
    std::string line;
    char ch;
    while (recv(c, &ch, 1, 0) == 1) {
      line.push_back(ch);
      if (line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0)
        break;
    }
    SendAll(c, "pong:" + line);
    ReadAll(c);
  });
}

struct TRelayedSession {
  std::vector<std::string> Log;
  std::vector<std::string> Lines;
  int SocksError = 0;

  // Line mode: answers the greeting with one line and records the answer.
  void Attach(TNetSocket& s)
  {
    s.AssignLineMode(true);
    s.OnSocksConnected = [this](TObject*, std::uint16_t e) { Log.push_back("socks-connected " + std::to_string(e)); };
    s.OnSocksAuthState = [this](TObject*, TSocksAuthState a) {
      static const char* const names[] = {"start", "success", "failure", "not-required"};
      Log.push_back(std::string("auth ") + names[a]);
    };
    s.OnSocksError = [this](TObject*, int e, const std::string& m) {
      SocksError = e;
      Log.push_back("socks-error " + std::to_string(e) + " " + m);
    };
    s.OnSessionConnected = [this](TObject*, std::uint16_t e) { Log.push_back("connected " + std::to_string(e)); };
    s.OnSessionClosed = [this](TObject*, std::uint16_t e) { Log.push_back("closed " + std::to_string(e)); };
    s.OnDataAvailable = [this, &s](TObject*, std::uint16_t) {
      Lines.push_back(s.ReceiveText());
      if (Lines.size() == 1)
        s.SendTextLine("ping");
    };
  }
};

void ConnectVia(TNetSocket& s, const std::string& relayPort, const std::string& level, const std::string& port,
                const std::string& addr = "127.0.0.1")
{
  s.AssignSocksServer("127.0.0.1");
  s.AssignSocksPort(relayPort);
  s.AssignSocksLevel(level);
  s.AssignAddr(addr);
  s.AssignPort(port);
  s.Connect();
}

void UseAccount(TNetSocket& s, const std::string& password)
{
  s.SocksUsercode = Env("KORVALIND_SOCKS_USER");
  s.SocksPassword = password;
  s.SocksAuthentication = socksAuthenticateUsercode;
}

}  // namespace

TEST(SocksRelays, MicrosocksRelaysALineExchange)
{
  const std::string relay = RelayPort("KORVALIND_MICROSOCKS_PORT");
  ASSERT_FALSE(relay.empty());
  TPeerServer destination = GreetingServer();
  TNetSocket s(nullptr);
  TRelayedSession session;
  session.Attach(s);
  ConnectVia(s, relay, "5", destination.PortText());
  ASSERT_TRUE(PumpMessagesUntil([&] { return session.Lines.size() >= 2; }, 15s));
  EXPECT_EQ(session.Lines, (std::vector<std::string>{"hello\r\n", "pong:ping\r\n"}));
  EXPECT_EQ(session.Log, (std::vector<std::string>{"socks-connected 0", "connected 0"}));
  s.CloseConnection();
  EXPECT_EQ(s.SocksServer(), "");
}

TEST(SocksRelays, MicrosocksWithPasswordAcceptsTheAccountAndRefusesOthers)
{
  const std::string relay = RelayPort("KORVALIND_MICROSOCKS_AUTH_PORT");
  ASSERT_FALSE(relay.empty());
  TPeerServer destination = GreetingServer();
  {
    TNetSocket s(nullptr);
    TRelayedSession session;
    session.Attach(s);
    UseAccount(s, Env("KORVALIND_SOCKS_PASSWORD"));
    ConnectVia(s, relay, "5", destination.PortText());
    ASSERT_TRUE(PumpMessagesUntil([&] { return session.Lines.size() >= 2; }, 15s));
    EXPECT_EQ(session.Lines, (std::vector<std::string>{"hello\r\n", "pong:ping\r\n"}));
    EXPECT_EQ(session.Log,
              (std::vector<std::string>{"socks-connected 0", "auth start", "auth success", "connected 0"}));
    s.CloseConnection();
  }
  {
    TNetSocket s(nullptr);
    TRelayedSession session;
    session.Attach(s);
    UseAccount(s, "wrong");
    ConnectVia(s, relay, "5", destination.PortText());
    ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 15s));
    EXPECT_EQ(session.Log, (std::vector<std::string>{"socks-connected 0", "auth start",
                                                     "socks-error 20015 socks authentication failed",
                                                     "connected 20015", "closed 20015"}));
  }
  {
    // Offering no authentication to a relay that wants it.
    TNetSocket s(nullptr);
    TRelayedSession session;
    session.Attach(s);
    ConnectVia(s, relay, "5", destination.PortText());
    ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 15s));
    EXPECT_EQ(session.Log,
              (std::vector<std::string>{"socks-connected 0", "socks-error 20003 authentification method not acceptable",
                                        "connected 20003", "closed 20003"}));
  }
}

TEST(SocksRelays, DanteRelaysSocks4AndSocks5WithPassword)
{
  const std::string relay = RelayPort("KORVALIND_DANTE_PORT");
  ASSERT_FALSE(relay.empty());
  TPeerServer destination = GreetingServer();
  struct Case {
    const char* level;
    bool account;
    std::vector<std::string> log;
  };
  const std::vector<Case> cases = {
      {"4", false, {"socks-connected 0", "connected 0"}},
      {"5", false, {"socks-connected 0", "connected 0"}},
      {"5", true, {"socks-connected 0", "auth start", "auth success", "connected 0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.level) + (c.account ? " with password" : ""));
    TNetSocket s(nullptr);
    TRelayedSession session;
    session.Attach(s);
    if (c.account)
      UseAccount(s, Env("KORVALIND_SOCKS_PASSWORD"));
    else
      s.SocksUsercode = "anyone";  // the SOCKS 4 user id; dante asks for no check
    ConnectVia(s, relay, c.level, destination.PortText());
    ASSERT_TRUE(PumpMessagesUntil([&] { return session.Lines.size() >= 2; }, 15s));
    EXPECT_EQ(session.Lines, (std::vector<std::string>{"hello\r\n", "pong:ping\r\n"}));
    EXPECT_EQ(session.Log, c.log);
    s.CloseConnection();
  }
  {
    TNetSocket s(nullptr);
    TRelayedSession session;
    session.Attach(s);
    UseAccount(s, "wrong");
    ConnectVia(s, relay, "5", destination.PortText());
    ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 15s));
    EXPECT_EQ(session.SocksError, 20015);
    EXPECT_TRUE(session.Lines.empty());
  }
}

TEST(SocksRelays, RefusedDestinationIsReportedByBothRelays)
{
  const std::string closedPort = std::to_string(UnusedTcpPort());
  struct Case {
    const char* variable;
    const char* level;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"KORVALIND_MICROSOCKS_PORT", "5", "socks-error 20008 connection refused"},
      {"KORVALIND_DANTE_PORT", "5", "socks-error 20008 connection refused"},
      {"KORVALIND_DANTE_PORT", "4", "socks-error 20016 request rejected or failed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.variable) + " " + c.level);
    const std::string relay = RelayPort(c.variable);
    ASSERT_FALSE(relay.empty());
    TNetSocket s(nullptr);
    TRelayedSession session;
    session.Attach(s);
    ConnectVia(s, relay, c.level, closedPort);
    ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 15s));
    ASSERT_EQ(session.Log.size(), 4u);
    EXPECT_EQ(session.Log[1], c.error);
  }
}
