#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/settings.h"
#include "tests/core/core_fixture.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

namespace {

// Replies as the service sends them; each ends in a line feed on the wire.
class UpdateReplyTest : public CoreTest {
protected:
  void SetUp() override
  {
    CoreTest::SetUp();
    WriteAccountIni();
    UpdateErrorCount = 3;
    DetectErrorCount = 2;
    ExceptionCount = 1;
    DNSProblemCount = 4;
    ClearLog();
  }

  void Reply(const std::string& text) { core_->ProcessUpdateReply(text + "\n"); }
  bool Succeeded() const { return Logged(">>>>>    Update successfully done!"); }
};

TEST_F(UpdateReplyTest, SuccessSetsIntervalsAndClearsTheCounters)
{
  Reply("IP:1.2.3.4 SI:600 MI:120 DT:PA");
  EXPECT_TRUE(Succeeded());
  EXPECT_EQ(600000, SetIPInterval);
  EXPECT_EQ(120000, MyIPInterval);
  EXPECT_TRUE(core_->TimerSetIP->Enabled());
  EXPECT_EQ(600000u, core_->TimerSetIP->Interval());
  EXPECT_TRUE(core_->TimerMyIP->Enabled());
  EXPECT_EQ(120000u, core_->TimerMyIP->Interval());
  EXPECT_FALSE(core_->TimerHeartBeat->Enabled());
  EXPECT_EQ("PA", TariffCode);
  EXPECT_EQ(0, UpdateErrorCount);
  EXPECT_EQ(0, DetectErrorCount);
  EXPECT_EQ(0, ExceptionCount);
  EXPECT_EQ(0, DNSProblemCount);
  EXPECT_FALSE(LastUpdateTime.empty());
  EXPECT_EQ("1.2.3.4", CurrentIP);
  // The log copy lacks the line end; the timers other than the two cycles stay off.
  EXPECT_TRUE(Logged("Debug    setIP-Return: [IP:1.2.3.4 SI:600 MI:120 DT:PA]"));
  EXPECT_FALSE(core_->TimerDNS->Enabled());
}

TEST_F(UpdateReplyTest, IntervalBoundsFallBackToTheDefaults)
{
  const std::pair<const char*, int> cases[] = {
      {"IP:1.2.3.4 SI:1 MI:1", 1800000},
      {"IP:1.2.3.4 SI:123456 MI:123456", 1800000},
      {"IP:1.2.3.4", 1800000},
      {"IP:1.2.3.4 SI:99999 MI:99999", 99999000},
  };
  for (const auto& [reply, expected] : cases) {
    SCOPED_TRACE(reply);
    Reply(reply);
    EXPECT_EQ(expected, SetIPInterval);
    EXPECT_EQ(expected == 1800000 ? 60000 : 99999000, MyIPInterval);
  }
}

TEST_F(UpdateReplyTest, HeartBeatNeedsTariffIntervalAndTwentyCharacterToken)
{
  const std::string token = "ABCDEFGHIJ0123456789";
  const struct {
    std::string reply;
    const char* token;
    bool on;
    unsigned interval;
  } cases[] = {
      {"IP:1.2.3.4 DT:HB HI:60 HB:" + token, "ABCDEFGHIJ0123456789", true, 60000},
      {"IP:1.2.3.4 DT:HB HI:300 HB:" + token, "", false, 100},  // HI too long: neither interval nor token
      {"IP:1.2.3.4 DT:HB HI:30 HB:" + token.substr(1), "", false, 30000},
      {"IP:1.2.3.4 DT:PA HI:30 HB:" + token, "ABCDEFGHIJ0123456789", false, 30000},  // no heartbeat tariff
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    core_->TimerHeartBeat->SetInterval(100);
    ClearLog();
    Reply(c.reply);
    EXPECT_EQ(c.token, HeartBeatToken);
    EXPECT_EQ(c.on, core_->TimerHeartBeat->Enabled());
    EXPECT_EQ(c.interval, core_->TimerHeartBeat->Interval());
    EXPECT_EQ(c.on, Logged(">>>>>    HeartBeat activ!"));
  }
}

// One garbled reply (a proxy's page, a value that is no number) must not
// silence the client: the ladder brings the next attempt and the endpoints
// are resolved again first.
TEST_F(UpdateReplyTest, FailedReplyIsRetriedOnTheLadder)
{
  const struct {
    const char* reply;
    std::vector<std::string> lines;
    int exceptions;
    const char* tariff;  // keys before a failing one keep their effect
    bool heartBeatOn;    // only a reply beginning "IP:" switches it off
  } cases[] = {
      {"<html>502 Bad Gateway</html>", {">>>>>    Update Error!"}, 1, "", true},
      {"IP:1.2.3.4 DT:PA SI:abc",
       {"Alert!   setIP DataAvailable Exception:", "Alert!   'abc' ist kein gültiger Integerwert"},
       2,
       "PA",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    RecreateCore();  // each reply answers an attempt of its own
    UpdateErrorCount = 3;
    ExceptionCount = 1;
    TariffCode.clear();
    core_->TimerMyIP->SetEnabled(true);
    core_->TimerHeartBeat->SetEnabled(true);
    ClearLog();
    Reply(c.reply);
    for (const auto& line : c.lines)
      EXPECT_TRUE(Logged(line)) << line;
    EXPECT_FALSE(Succeeded());
    EXPECT_EQ(4, UpdateErrorCount);
    EXPECT_EQ(c.exceptions, ExceptionCount);
    EXPECT_EQ(c.tariff, TariffCode);
    EXPECT_FALSE(core_->TimerMyIP->Enabled());
    EXPECT_EQ(c.heartBeatOn, core_->TimerHeartBeat->Enabled());
    EXPECT_TRUE(core_->TimerSetIP->Enabled());
    EXPECT_EQ(15000u, core_->TimerSetIP->Interval());
    EXPECT_TRUE(core_->TimerDNS->Enabled());
    EXPECT_EQ(1000u, core_->TimerDNS->Interval());
  }
}

TEST_F(UpdateReplyTest, KeysCountOnlyWhereTheyStandAsKeys)
{
  const struct {
    const char* reply;
    bool randomLookups;
    unsigned heartBeatInterval;
  } cases[] = {
      {"IP:1.2.3.4 DT:HB HIP:127.0.0.11", false, 100},  // "HI" inside "HIP:"
      {"IP:1.2.3.4 MESS:PRIVAT", false, 100},           // "RI" inside a message word
      {"IP:1.2.3.4 RI:30 HI:60", true, 60000},
      {"IP:1.2.3.4\nRI:30\tHI:60", true, 60000},  // any control character separates
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    Reply(c.reply);
    EXPECT_TRUE(Succeeded());
    EXPECT_EQ(c.randomLookups, core_->TimerDNSRandom->Enabled());
    EXPECT_EQ(c.heartBeatInterval, core_->TimerHeartBeat->Interval());
  }
}

TEST_F(UpdateReplyTest, AccountStateCodes)
{
  Reply("IP:1.2.3.4 C1:99 M1:Bitte zahlen");
  EXPECT_TRUE(Logged(">>>>>    Bitte zahlen"));
  EXPECT_TRUE(Succeeded());

  Reply("IP:1.2.3.4 C1:1");
  EXPECT_TRUE(Deactivated);
  EXPECT_TRUE(Logged(">>>>>    Der Account ist deaktiviert!"));
  EXPECT_NE(std::string::npos, ReadIni().find("DEACTIVATED=1"));

  Deactivated = false;
  Reply("IP:1.2.3.4 C1:3");
  EXPECT_TRUE(ConfigError);
  EXPECT_TRUE(Logged(">>>>>    Überprüfen Sie bitte Ihre Login-Daten!"));
  EXPECT_NE(std::string::npos, ReadIni().find("CONFIGERROR=1"));
  // The update still counts as done; the gate keeps the cycles idle.
  EXPECT_TRUE(core_->TimerSetIP->Enabled());
}

// While the account is deactivated the gate stops every update, so the
// own-host check is the one way out: no reply may leave it off.
TEST_F(UpdateReplyTest, DeactivatedAccountKeepsItsOwnHostCheck)
{
  const struct {
    const char* reply;
    bool deactivatedBefore;  // by the own-host check, while the request was under way
    unsigned interval;
  } cases[] = {
      {"IP:1.2.3.4 C1:1", false, 900000},
      {"IP:1.2.3.4 C1:1 CI:600", false, 600000},
      {"IP:1.2.3.4 SI:600", true, 900000},
      {"IP:1.2.3.4 CI:300", true, 300000},
      {"<html>502 Bad Gateway</html>", true, 900000},
      {"IP:1.2.3.4 SI:abc", true, 900000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    Deactivated = c.deactivatedBefore;
    core_->TimerDNSCheck->SetInterval(120000);
    core_->TimerDNSCheck->SetEnabled(c.deactivatedBefore);
    Reply(c.reply);
    EXPECT_TRUE(Deactivated);
    EXPECT_TRUE(core_->TimerDNSCheck->Enabled());
    EXPECT_EQ(c.interval, core_->TimerDNSCheck->Interval());
  }
  // The check itself, when its time comes, ends the state.
  WriteIni("[ACCOUNT]\r\nAccount=match\r\nDomain=korvalind.test\r\n[LOGGING]\r\nLevel=40\r\n");
  CurrentIP = "203.0.113.7";
  core_->TimerDNSCheck->SetInterval(10);
  ASSERT_TRUE(PumpMessagesUntil([&] { return Logged("Debug    resolved my own IP: [203.0.113.7]"); }, 10s));
  EXPECT_FALSE(Deactivated);
  EXPECT_NE(std::string::npos, ReadIni().find("DEACTIVATED=0"));
}

TEST_F(UpdateReplyTest, OtherStateCodesHoldTheCyclesBackUntilTheSuccessStep)
{
  const std::pair<const char*, unsigned> cases[] = {{"99", 900000}, {"5", 86400000}};
  for (const auto& [code, hold] : cases) {
    SCOPED_TRACE(code);
    Reply(std::string("IP:1.2.3.4 C1:") + code + " SI:600");
    EXPECT_EQ(600000u, core_->TimerSetIP->Interval());
    EXPECT_EQ(60000u, core_->TimerMyIP->Interval());
    // With an exit order the success step never comes.
    Reply(std::string("IP:1.2.3.4 C1:") + code + " EXIT:1");
    EXPECT_EQ(hold, core_->TimerSetIP->Interval());
    EXPECT_EQ(hold, core_->TimerMyIP->Interval());
    EXPECT_FALSE(core_->TimerSetIP->Enabled());
  }
  // An account state code that is not a number fails the reply.
  Reply("IP:1.2.3.4 C1:x1");
  EXPECT_TRUE(Logged("Alert!   'x1' ist kein gültiger Integerwert"));
}

TEST_F(UpdateReplyTest, ExitOrderSkipsTheSuccessStep)
{
  Reply("IP:1.2.3.4 EXIT:1");
  EXPECT_FALSE(Succeeded());
  EXPECT_TRUE(Logged(">>>>>    KILL/EXIT Timer started!"));
  EXPECT_TRUE(core_->TimerKill->Enabled());
  EXPECT_EQ(60000u, core_->TimerKill->Interval());
  EXPECT_FALSE(core_->TimerSetIP->Enabled());
  EXPECT_FALSE(core_->TimerMyIP->Enabled());
}

TEST_F(UpdateReplyTest, MessageRunsToTheEndOfTheReply)
{
  core_->ProcessUpdateReply("IP:1.2.3.4 MESS:Guten Tag\r\n");
  EXPECT_EQ("Guten Tag\r\n", MessageText);
  Reply("IP:1.2.3.4");
  EXPECT_TRUE(MessageText.empty());
}

TEST_F(UpdateReplyTest, ReplyAddressAlwaysBecomesCurrent)
{
  CurrentIP = "1.2.3.4";
  PreviousIP = "5.6.7.8";
  OlderIP = "9.9.9.9";
  Reply("IP:5.6.7.8");
  EXPECT_EQ("5.6.7.8", CurrentIP);
  EXPECT_EQ("1.2.3.4", PreviousIP);
  EXPECT_EQ("5.6.7.8", OlderIP);
  EXPECT_EQ("5.6.7.8", DetectedIP);
  for (const auto& line : LogTexts())
    EXPECT_EQ(std::string::npos, line.find("IP-change detected"));

  Reply("IP:203.0.113.7");
  EXPECT_TRUE(Logged(">>>>>    IP-change detected [5.6.7.8] -> [203.0.113.7]"));
}

TEST_F(UpdateReplyTest, EndpointAddressesUnlessTheServiceAsksForResolution)
{
  Reply("IP:1.2.3.4 MIP:127.0.2.9 SIP:127.0.1.9 HIP:bad");
  EXPECT_EQ("127.0.2.9", DetectServerIP);
  EXPECT_EQ("127.0.1.9", UpdateServerIP);
  EXPECT_EQ("0.0.0.0", HeartBeatServerIP);
  EXPECT_FALSE(core_->TimerDNS->Enabled());

  Reply("IP:1.2.3.4 DNS:1 SIP:127.0.1.7");
  EXPECT_EQ("127.0.1.9", UpdateServerIP);
  EXPECT_TRUE(core_->TimerDNS->Enabled());
  EXPECT_TRUE(Logged("Debug    setIP says DNS-Resolving of socket IPs"));
}

// An endpoint address from a reply stands until a later resolution: one no
// socket can reach, or "any address" in another spelling, leaves the old one.
TEST_F(UpdateReplyTest, EndpointAddressesOutOfRangeOrZeroKeepTheOldOne)
{
  const std::pair<const char*, std::string*> keys[] = {
      {"SIP", &UpdateServerIP}, {"MIP", &DetectServerIP}, {"HIP", &HeartBeatServerIP}};
  const std::pair<const char*, bool> values[] = {
      {"1.2.3.456", false}, {"000.000.000.000", false}, {"0.0.0.00", false},
      {"256.1.1.1", false}, {"1.2.3", false},           {"127.0.3.255", true},
  };
  for (const auto& [key, endpoint] : keys) {
    for (const auto& [value, taken] : values) {
      SCOPED_TRACE(std::string(key) + ":" + value);
      *endpoint = "127.0.0.5";
      Reply(std::string("IP:1.2.3.4 ") + key + ":" + value);
      EXPECT_EQ(taken ? value : "127.0.0.5", *endpoint);
    }
  }
}

TEST_F(UpdateReplyTest, SleepAndLookupIntervalsNeverOverflowOrSleepForEver)
{
  Reply("IP:1.2.3.4 SLEEP:5");
  EXPECT_TRUE(Sleeping);
  EXPECT_TRUE(core_->TimerSleep->Enabled());
  EXPECT_EQ(5000u, core_->TimerSleep->Interval());
  EXPECT_TRUE(Logged(">>>>>    Sleep for 5 Seconds received!"));

  for (const char* none : {"0", "-5"}) {
    SCOPED_TRACE(none);
    Sleeping = false;
    Reply(std::string("IP:1.2.3.4 SLEEP:") + none);
    EXPECT_FALSE(Sleeping);
    EXPECT_FALSE(core_->TimerSleep->Enabled());
    EXPECT_TRUE(Succeeded());
  }

  Reply("IP:1.2.3.4 SLEEP:3000000 RI:3000000 CI:600");
  EXPECT_TRUE(Sleeping);
  EXPECT_EQ(TTimer::MaxInterval, core_->TimerSleep->Interval());
  EXPECT_EQ(TTimer::MaxInterval, core_->TimerDNSRandom->Interval());
  EXPECT_TRUE(core_->TimerDNSRandom->Enabled());
  EXPECT_EQ(600000u, core_->TimerDNSCheck->Interval());
  EXPECT_TRUE(core_->TimerDNSCheck->Enabled());
}

class DetectionReplyTest : public CoreTest {
protected:
  void SetUp() override
  {
    CoreTest::SetUp();
    WriteAccountIni();
    MyIPInterval = 60000;
    ArmTimers();
  }

  void ArmTimers()
  {
    core_->TimerMyIP->SetInterval(30000);  // as the tick leaves it
    core_->TimerMyIP->SetEnabled(true);
    core_->TimerSetIP->SetInterval(300000);
    ClearLog();
  }
};

TEST_F(DetectionReplyTest, MalformedRepliesCountAsFailedDetections)
{
  const std::pair<const char*, const char*> cases[] = {
      {"203.0.113.7", "(d)"},      // no line end: the drop cuts the address
      {"1.2.3.4", "(c)"},          // six characters left
      {"203.0.113.7\r\n", "(d)"},  // the CR stays
      {"1234567890123456789\n", "(c)"},
      {"1234567890123456\n", "(d)"},
      {"", "(c)"},
  };
  for (const auto& [reply, reason] : cases) {
    SCOPED_TRACE(reply);
    RecreateCore();  // each reply answers an attempt of its own
    ArmTimers();
    DetectErrorCount = 0;
    core_->ProcessDetectionReply(reply);
    EXPECT_EQ(1, DetectErrorCount);
    EXPECT_TRUE(Logged(std::string("Debug    myIP could not be detected ") + reason));
  }
  EXPECT_TRUE(CurrentIP.empty());
}

// A detected address that is none of the last three is a change: the history
// shifts and the update comes early; a known one only sets the detection
// cycle back on its interval.
TEST_F(DetectionReplyTest, DetectedAddressAgainstTheHistory)
{
  struct THistory {
    std::string current, previous, older;
    bool operator==(const THistory&) const = default;
  };
  const struct {
    const char* reply;
    THistory before, after;
    unsigned setIPInterval, myIPInterval;
  } cases[] = {
      {"203.0.113.7\n", {"", "", ""}, {"203.0.113.7", "", ""}, 5000, 30000},
      {"1.1.1.1\n", {"1.1.1.1", "2.2.2.2", "3.3.3.3"}, {"1.1.1.1", "2.2.2.2", "3.3.3.3"}, 300000, 60000},
      {"2.2.2.2\n", {"1.1.1.1", "2.2.2.2", "3.3.3.3"}, {"1.1.1.1", "2.2.2.2", "3.3.3.3"}, 300000, 60000},
      {"3.3.3.3\n", {"1.1.1.1", "2.2.2.2", "3.3.3.3"}, {"1.1.1.1", "2.2.2.2", "3.3.3.3"}, 300000, 60000},
      {"4.4.4.4\n", {"1.1.1.1", "2.2.2.2", "3.3.3.3"}, {"4.4.4.4", "1.1.1.1", "2.2.2.2"}, 5000, 30000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply);
    CurrentIP = c.before.current;
    PreviousIP = c.before.previous;
    OlderIP = c.before.older;
    ArmTimers();
    core_->ProcessDetectionReply(c.reply);
    const std::string address = std::string(c.reply, std::string(c.reply).size() - 1);
    EXPECT_EQ(address, DetectedIP);
    EXPECT_TRUE(Logged(">>>>>    myIP detected [" + address + "]"));
    EXPECT_TRUE((c.after == THistory{CurrentIP, PreviousIP, OlderIP}));
    const bool changed = c.after.current != c.before.current;
    EXPECT_EQ(changed, Logged(">>>>>    IP-change detected [" + c.before.current + "] -> [" + address + "]"));
    EXPECT_EQ(c.setIPInterval, core_->TimerSetIP->Interval());
    EXPECT_EQ(c.myIPInterval, core_->TimerMyIP->Interval());
    EXPECT_TRUE(core_->TimerMyIP->Enabled());
  }
}

}  // namespace
