#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "net/net_socket.h"
#include "tests/net/event_recorder.h"
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

// Line mode: answers the greeting with one line and records the lines.
struct TRelayedSession : TSocksEvents {
  std::vector<std::string> Lines;

  void Attach(TNetSocket& s)
  {
    TSocksEvents::Attach(s, false);
    s.AssignLineMode(true);
    s.OnDataAvailable = [this, &s](TObject*, std::uint16_t) {
      Lines.push_back(s.ReceiveText());
      if (Lines.size() == 1)
        s.SendTextLine("ping");
    };
  }
};

const std::vector<std::string> kGrantedLog = {"socks-connected 0", "connected 0"};
const std::vector<std::string> kAuthenticatedLog = {"socks-connected 0", "auth start", "auth success", "connected 0"};

// One session through the relay to the greeting destination, with the
// account's user name and password when one is given (else the SOCKS 4 user
// id "anyone"): the events come as log says, and when the relay let the
// session through, the greeting and the answer to it.
void ExpectRelayedExchange(const std::string& relay, const char* level, const std::optional<std::string>& password,
                           const std::vector<std::string>& log)
{
  TPeerServer destination = GreetingServer();
  TNetSocket s(nullptr);
  TRelayedSession session;
  session.Attach(s);
  if (password)
    UseSocksAccount(s, Env("KORVALIND_SOCKS_USER"), *password);
  else
    s.SocksUsercode = "anyone";  // dante asks for no check
  ConnectViaRelay(s, std::stoi(relay), level, "127.0.0.1", destination.PortText());
  const bool granted = log.back() == "connected 0";
  ASSERT_TRUE(PumpMessagesUntil([&] { return granted ? session.Lines.size() >= 2 : s.State() == wsClosed; }, 15s));
  const std::vector<std::string> lines = {"hello\r\n", "pong:ping\r\n"};
  EXPECT_EQ(session.Lines, granted ? lines : std::vector<std::string>{});
  EXPECT_EQ(session.Log, log);
  s.CloseConnection();
  EXPECT_EQ(s.SocksServer(), "");
}

}  // namespace

TEST(SocksRelays, MicrosocksRelaysALineExchange)
{
  const std::string relay = RelayPort("KORVALIND_MICROSOCKS_PORT");
  ASSERT_FALSE(relay.empty());
  ExpectRelayedExchange(relay, "5", std::nullopt, kGrantedLog);
}

TEST(SocksRelays, RelaysWithPasswordAcceptTheAccountAndRefuseOthers)
{
  const std::string refused = "socks-error 20015 socks authentication failed";
  for (const char* variable : {"KORVALIND_MICROSOCKS_AUTH_PORT", "KORVALIND_DANTE_PORT"}) {
    SCOPED_TRACE(variable);
    const std::string relay = RelayPort(variable);
    ASSERT_FALSE(relay.empty());
    ExpectRelayedExchange(relay, "5", Env("KORVALIND_SOCKS_PASSWORD"), kAuthenticatedLog);
    ExpectRelayedExchange(relay, "5", "wrong",
                          {"socks-connected 0", "auth start", refused, "connected 20015", "closed 20015"});
  }
  // Offering no authentication to a relay that wants it.
  ExpectRelayedExchange(RelayPort("KORVALIND_MICROSOCKS_AUTH_PORT"), "5", std::nullopt,
                        {"socks-connected 0", "socks-error 20003 authentification method not acceptable",
                         "connected 20003", "closed 20003"});
}

TEST(SocksRelays, DanteRelaysSocks4AndSocks5WithoutPassword)
{
  const std::string relay = RelayPort("KORVALIND_DANTE_PORT");
  ASSERT_FALSE(relay.empty());
  for (const char* level : {"4", "5"}) {
    SCOPED_TRACE(level);
    ExpectRelayedExchange(relay, level, std::nullopt, kGrantedLog);
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
    ConnectViaRelay(s, std::stoi(relay), c.level, "127.0.0.1", closedPort);
    ASSERT_TRUE(PumpMessagesUntil([&] { return s.State() == wsClosed; }, 15s));
    ASSERT_EQ(session.Log.size(), 4u);
    EXPECT_EQ(session.Log[1], c.error);
  }
}
