#include <algorithm>
#include <chrono>
#include <functional>
#include <set>

#include <gtest/gtest.h>

#include "core/endpoint_hosts.h"
#include "core/settings.h"
#include "net/net_socket.h"
#include "tests/core/core_fixture.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

namespace {

// The endpoint and own-host lookups go to the sandbox's hosts file
// (tools/sandbox-hosts): every name it lacks fails at once.
class EndpointLookupTest : public CoreTest {
protected:
  void SetUp() override
  {
    CoreTest::SetUp();
    WriteAccountIni();
    core_->TimerDNS->SetEnabled(false);
    ClearLog();
  }

  // Runs the endpoint tick and waits for the lookups it started.
  void ResolveEndpoints(std::size_t expectedLookups)
  {
    core_->TimerTimerDNS(core_->TimerDNS);
    const bool done = PumpMessagesUntil(
        [&] {
          std::size_t finished = 0;
          for (const auto& line : LogTexts())
            if (line.find("DNS lookup done") != std::string::npos)
              ++finished;
          return finished >= expectedLookups;
        },
        10s);
    ASSERT_TRUE(done);
  }
};

TEST_F(EndpointLookupTest, HealthyClientResolvesAllThreeEndpoints)
{
  DNSProblemCount = 2;
  ResolveEndpoints(3);
  EXPECT_EQ("127.0.0.21", UpdateServerIP);
  EXPECT_EQ("127.0.0.31", DetectServerIP);
  EXPECT_EQ("127.0.0.11", HeartBeatServerIP);
  EXPECT_EQ(0, DNSProblemCount);
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup heartbeat"));
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup setIP"));
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup success (SetIP)! [127.0.0.21]"));
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup success (MyIP)! [127.0.0.31]"));
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup success (HeartBeat)! [127.0.0.11]"));
  EXPECT_TRUE(core_->TimerDNS->Enabled());
  EXPECT_EQ(3600000u, core_->TimerDNS->Interval());
}

TEST_F(EndpointLookupTest, FailureCountPicksTheUpdateHost)
{
  const struct {
    int failures;
    const char* line;
    const char* address;
  } cases[] = {
      {6, ">>>>>    DNS Lookup setIP2", "127.0.0.22"},
      {7, ">>>>>    DNS Lookup setIP", "127.0.0.21"},
      {16, ">>>>>    DNS Lookup setIP2", "127.0.0.22"},
      {18, ">>>>>    DNS Lookup setIP3", "127.0.0.23"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failures);
    UpdateErrorCount = c.failures;
    ClearLog();
    ResolveEndpoints(2);
    EXPECT_TRUE(Logged(c.line));
    EXPECT_EQ(c.address, UpdateServerIP);
    // the heartbeat endpoint only while nothing fails
    EXPECT_FALSE(Logged(">>>>>    DNS Lookup heartbeat"));
  }
}

TEST_F(EndpointLookupTest, FailedLookupsDrawFallbackAddresses)
{
  EndpointHosts().Update[0] = "missing-update.korvalind.test";
  EndpointHosts().Detect = "missing-myip.korvalind.test";
  EndpointHosts().HeartBeat = "missing-heartbeat.korvalind.test";
  HeartBeatServerIP = "127.0.0.11";
  std::set<std::string> updates, detections;
  for (int round = 0; round < 40; ++round) {
    ClearLog();
    ResolveEndpoints(3);
    updates.insert(UpdateServerIP);
    detections.insert(DetectServerIP);
    EXPECT_EQ(60000u, core_->TimerDNS->Interval());
    EXPECT_EQ("127.0.0.11", HeartBeatServerIP);  // a usable older address stays
  }
  EXPECT_EQ(
      (std::set<std::string>{UpdateFallbackIPs[0], UpdateFallbackIPs[1], UpdateFallbackIPs[2], UpdateFallbackIPs[3]}),
      updates);
  EXPECT_EQ((std::set<std::string>{DetectFallbackIPs[0], DetectFallbackIPs[1]}), detections);
  EXPECT_EQ(120, DNSProblemCount);
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup fail (HeartBeat)!"));
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup fail (SetIP)! Using: " + UpdateServerIP));
}

// The system hands out no lookup handle: the lookup cannot start. The socket
// layer reports that through the socket's error handler, as for any socket
// whose lookups cannot start.
class TLookupRefusingSocket : public TNetSocket {
public:
  using TNetSocket::TNetSocket;
  void DnsLookup(const std::string& hostName) override
  {
    StartLookup(hostName, "DnsLookup", [](char*, int) {
      WSASetLastError(WSAENOBUFS);
      return HANDLE{};
    });
  }
};

TEST_F(EndpointLookupTest, LookupsThatCannotStartDrawFallbacksAndAreTriedAgainInAMinute)
{
  // The core's own handlers stay bound to the three sockets, as in the programs.
  for (TNetSocket** socket : {&core_->SHeartBeat, &core_->SSetIP, &core_->SMyIP}) {
    auto* refusing = new TLookupRefusingSocket(core_);
    refusing->OnError = (*socket)->OnError;
    refusing->OnDnsLookupDone = (*socket)->OnDnsLookupDone;
    *socket = refusing;
  }
  const auto ticks = [this] {
    const auto log = LogTexts();
    return std::count(log.begin(), log.end(), "Debug    ..... DNS ");
  };
  for (int tick = 1; tick <= 2; ++tick) {
    SCOPED_TRACE(tick);
    core_->TimerDNS->SetInterval(10);
    core_->TimerDNS->SetEnabled(true);
    ASSERT_TRUE(PumpMessagesUntil([&] { return ticks() == tick; }, 5s));
    EXPECT_TRUE(Logged("Alert!   setIP-Error"));
    EXPECT_TRUE(Logged("Alert!   myIP-Error"));
    EXPECT_LE(1, UpdateErrorCount);
    EXPECT_LE(1, DetectErrorCount);
    // As a failed lookup: the update and detection endpoints get a fallback.
    EXPECT_TRUE(Logged(">>>>>    DNS Lookup fail (SetIP)! Using: " + UpdateServerIP));
    EXPECT_TRUE(Logged(">>>>>    DNS Lookup fail (MyIP)! Using: " + DetectServerIP));
    EXPECT_TRUE(Logged(">>>>>    DNS Lookup fail (HeartBeat)!"));
    EXPECT_TRUE(UpdateServerIP == UpdateFallbackIPs[0] || UpdateServerIP == UpdateFallbackIPs[1] ||
                UpdateServerIP == UpdateFallbackIPs[2] || UpdateServerIP == UpdateFallbackIPs[3])
        << UpdateServerIP;
    EXPECT_TRUE(DetectServerIP == DetectFallbackIPs[0] || DetectServerIP == DetectFallbackIPs[1]) << DetectServerIP;
    // Not once a second with two alert lines: once a minute.
    EXPECT_TRUE(core_->TimerDNS->Enabled());
    EXPECT_EQ(60000u, core_->TimerDNS->Interval());
  }
}

// Some DNS filters answer a blocked name with 0.0.0.0; a name that is an
// address gets the same answer inside the call.
TEST_F(EndpointLookupTest, ZeroAnswerIsAFailedLookup)
{
  EndpointHosts().Update[0] = EndpointHosts().Detect = EndpointHosts().HeartBeat = "0.0.0.0";
  HeartBeatServerIP = "127.0.0.11";
  ResolveEndpoints(3);
  EXPECT_TRUE(UpdateServerIP == UpdateFallbackIPs[0] || UpdateServerIP == UpdateFallbackIPs[1] ||
              UpdateServerIP == UpdateFallbackIPs[2] || UpdateServerIP == UpdateFallbackIPs[3])
      << UpdateServerIP;
  EXPECT_TRUE(DetectServerIP == DetectFallbackIPs[0] || DetectServerIP == DetectFallbackIPs[1]) << DetectServerIP;
  EXPECT_EQ("127.0.0.11", HeartBeatServerIP);
  EXPECT_EQ(3, DNSProblemCount);
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup fail (SetIP)! Using: " + UpdateServerIP));
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup fail (MyIP)! Using: " + DetectServerIP));
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup fail (HeartBeat)!"));
  EXPECT_TRUE(core_->TimerDNS->Enabled());
  EXPECT_EQ(60000u, core_->TimerDNS->Interval());
}

class OwnHostCheckTest : public CoreTest {
protected:
  void SetUp() override
  {
    CoreTest::SetUp();
    CurrentIP = "203.0.113.7";
  }

  // unwritable: another program holds the settings file open for reading only.
  void CheckAs(const std::string& account, bool unwritable = false)
  {
    WriteIni("[ACCOUNT]\r\nAccount=" + account + "\r\nDomain=korvalind.test\r\n[LOGGING]\r\nLevel=40\r\n");
    ClearLog();
    HANDLE holder = unwritable ? CreateFileA((dir_ + "\\korvalind.ini").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                               : INVALID_HANDLE_VALUE;
    core_->TimerDNSCheckTimer(core_->TimerDNSCheck);
    const bool done = PumpMessagesUntil([&] { return Logged("Debug    ..... resolve my own IP"); }, 10s);
    if (holder != INVALID_HANDLE_VALUE)
      CloseHandle(holder);
    ASSERT_TRUE(done);
  }
};

TEST_F(OwnHostCheckTest, MatchingAnswerKeepsTheCheckRunning)
{
  DNSDiffCount = 3;
  CheckAs("match");
  EXPECT_EQ(0, DNSDiffCount);
  EXPECT_TRUE(core_->TimerDNSCheck->Enabled());
  EXPECT_TRUE(Logged("Debug    resolved my own IP: [203.0.113.7]"));

  CheckAs("second");  // a match on the second answer counts
  EXPECT_EQ(0, DNSDiffCount);
  EXPECT_TRUE(Logged("Debug    resolved my own IP: [198.51.100.1, 203.0.113.7]"));
}

TEST_F(OwnHostCheckTest, ReservedAnswerDeactivatesAndANormalOneReactivates)
{
  CheckAs("deactivated");
  EXPECT_TRUE(Deactivated);
  EXPECT_TRUE(Logged(">>>>>    Der Account ist deaktiviert!  (DNS)"));
  EXPECT_NE(std::string::npos, ReadIni().find("DEACTIVATED=1"));
  EXPECT_EQ(900000u, core_->TimerDNSCheck->Interval());
  EXPECT_EQ(21600000u, core_->TimerSetIP->Interval());
  EXPECT_FALSE(core_->TimerMyIP->Enabled());
  EXPECT_EQ(0u, core_->TimerMyIP->Interval());

  CheckAs("match");
  EXPECT_FALSE(Deactivated);
  EXPECT_NE(std::string::npos, ReadIni().find("DEACTIVATED=0"));
  EXPECT_EQ(21600000u, core_->TimerSetIP->Interval());
}

TEST_F(OwnHostCheckTest, DeactivatedAccountIsCheckedOnWhateverAnAnswerBrings)
{
  const std::pair<const char*, bool> cases[] = {
      {"missing", false},     // the lookup fails
      {"private", false},     // a private answer
      {"deactivated", true},  // the settings file cannot be written: the handler throws
  };
  for (const auto& [account, unwritable] : cases) {
    SCOPED_TRACE(account);
    Deactivated = true;
    core_->TimerDNSCheck->SetInterval(900000);
    CheckAs(account, unwritable);
    EXPECT_TRUE(Deactivated);
    EXPECT_TRUE(core_->TimerDNSCheck->Enabled());
    EXPECT_EQ(900000u, core_->TimerDNSCheck->Interval());
  }
  // So a later normal answer still ends the state.
  CheckAs("match");
  EXPECT_FALSE(Deactivated);
}

TEST_F(OwnHostCheckTest, PrivateAnswersAndMismatches)
{
  CheckAs("private");
  EXPECT_EQ(999, DNSDiffCount);
  EXPECT_TRUE(Logged(">>>>>    resolved own IP is private!"));
  EXPECT_TRUE(Logged(">>>>>    Please check your local DNS configuration!"));

  DNSDiffCount = 0;
  CurrentIP = "192.0.2.1";
  int updatesNow = 0;
  for (int i = 0; i < 7; ++i) {
    core_->TimerSetIP->SetInterval(30000);
    CheckAs("match");
    if (core_->TimerSetIP->Interval() == 2500)
      ++updatesNow;
  }
  EXPECT_EQ(6, updatesNow);  // the seventh mismatch only counts
  EXPECT_EQ(7, DNSDiffCount);
  EXPECT_FALSE(core_->TimerDNSCheck->Enabled());

  CheckAs("missing");
  EXPECT_EQ(8, DNSDiffCount);
  EXPECT_TRUE(Logged(">>>>>    Can`t resolve my own IP!"));
}

TEST_F(OwnHostCheckTest, RandomLookupRepeatsWhileItHasAnInterval)
{
  WriteAccountIni();
  core_->TimerDNSRandom->SetInterval(60000);
  core_->TimerDNSRandom->SetEnabled(true);
  core_->TimerDNSRandomTimer(core_->TimerDNSRandom);
  EXPECT_FALSE(core_->TimerDNSRandom->Enabled());
  ASSERT_TRUE(PumpMessagesUntil([&] { return Logged("Debug    ..... resolve random domain done"); }, 10s));
  EXPECT_TRUE(core_->TimerDNSRandom->Enabled());
}

TEST_F(CoreTest, SocketErrorHandlersLogCountAndAskForAResolution)
{
  WriteAccountIni();
  Exception e("boom");
  using TReport = std::function<void(TKorvalindC&, bool& canClose)>;
  const struct {
    const char* line;
    TReport report;
    const int* counter;  // null: no counter
    bool resolves;       // TimerDNS on with 1000
  } cases[] = {
      {"Alert!   myIP-Error", [](TKorvalindC& c, bool&) { c.SMyIPError(c.SMyIP); }, &DetectErrorCount, true},
      {"Alert!   setIP-Error", [](TKorvalindC& c, bool&) { c.SSetIPError(c.SSetIP); }, &UpdateErrorCount, true},
      {"Alert!   myIP-BG-Error", [&](TKorvalindC& c, bool& canClose) { c.SMyIPBgException(c.SMyIP, e, canClose); },
       &DetectErrorCount, false},
      {"Alert!   setIP-BG-Error", [&](TKorvalindC& c, bool& canClose) { c.SSetIPBgException(c.SSetIP, e, canClose); },
       &UpdateErrorCount, true},
      {"Alert!   myIP-Socket-Error", [](TKorvalindC& c, bool&) { c.SMyIPSocksError(c.SMyIP, 20001, "refused"); },
       &DetectErrorCount, true},
      {"Alert!   setIP-Socket-Error", [](TKorvalindC& c, bool&) { c.SSetIPSocksError(c.SSetIP, 20001, "refused"); },
       &UpdateErrorCount, true},
      {"Alert!   HeartBeat-Error", [](TKorvalindC& c, bool&) { c.SHeartBeatError(c.SHeartBeat); }, nullptr, false},
      {"Alert!   HeartBeat-BG-Error",
       [&](TKorvalindC& c, bool& canClose) { c.SHeartBeatBgException(c.SHeartBeat, e, canClose); }, nullptr, false},
      {"Debug    setIP could not be done (a)", [](TKorvalindC& c, bool&) { c.SSetIPDataAvailable(c.SSetIP, 10053); },
       &UpdateErrorCount, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    RecreateCore();
    ClearLog();
    UpdateErrorCount = DetectErrorCount = 0;
    // As after a successful update: endpoint resolution off.
    core_->TimerDNS->SetEnabled(false);
    core_->TimerDNS->SetInterval(3600000);
    bool canClose = false;
    c.report(*core_, canClose);
    EXPECT_TRUE(Logged(c.line));
    EXPECT_EQ(c.counter == &UpdateErrorCount, UpdateErrorCount);
    EXPECT_EQ(c.counter == &DetectErrorCount, DetectErrorCount);
    EXPECT_EQ(c.resolves, core_->TimerDNS->Enabled());
    EXPECT_EQ(c.resolves ? 1000u : 3600000u, core_->TimerDNS->Interval());
    EXPECT_EQ(std::string(c.line).find("BG-Error") != std::string::npos, canClose);
    // The SOCKS layer's message follows its line.
    EXPECT_EQ(std::string(c.line).find("Socket-Error") != std::string::npos, Logged("Alert!   refused"));
  }
}

// A heartbeat host name that keeps failing: the tick sends nothing and looks
// the name up itself, once, leaving the endpoint resolution as it was.
TEST_F(CoreTest, HeartBeatWithoutEndpointLooksItsHostUpOnceAndSendsNothing)
{
  WriteAccountIni();
  EndpointHosts().HeartBeat = "missing-heartbeat.korvalind.test";
  HeartBeatToken = "ABCDEFGHIJ0123456789";
  UpdateErrorCount = 2;  // the endpoint tick would not look it up
  core_->TimerDNS->SetEnabled(false);
  core_->TimerDNS->SetInterval(3600000);
  ClearLog();
  core_->TimerHeartBeat->SetInterval(10);
  core_->TimerHeartBeat->SetEnabled(true);
  ASSERT_TRUE(PumpMessagesUntil([&] { return Logged(">>>>>    DNS Lookup fail (HeartBeat)!"); }, 5s));
  PumpMessagesFor(300ms);
  const auto log = LogTexts();
  EXPECT_LT(5, std::count(log.begin(), log.end(), "Debug    ..... HeartBeat socket "));
  EXPECT_EQ(1, std::count(log.begin(), log.end(), ">>>>>    DNS Lookup heartbeat"));
  EXPECT_EQ(0, std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("Alert!", 0) == 0; }));
  EXPECT_EQ("0.0.0.0", HeartBeatServerIP);
  EXPECT_TRUE(core_->TimerHeartBeat->Enabled());
  EXPECT_FALSE(core_->TimerDNS->Enabled());
  EXPECT_EQ(3600000u, core_->TimerDNS->Interval());
  EXPECT_EQ(0, ExceptionCount);
}

}  // namespace
