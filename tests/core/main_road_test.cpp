#include <chrono>
#include <memory>

#include <gtest/gtest.h>

#include "core/endpoint_hosts.h"
#include "core/md5.h"
#include "core/os_version_text.h"
#include "core/settings.h"
#include "net/net_socket.h"
#include "tests/core/core_fixture.h"
#include "tests/support/loopback_server.h"
#include "tests/support/message_pump.h"
#include "tests/support/reference_service.h"

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

// The core against the reference service over real sockets on loopback.
class MainRoadTest : public CoreTest {
protected:
  void SetUp() override
  {
    CoreTest::SetUp();
    service_.SetScenario(SuccessScenario(R"([["DT","PA"],["SI","1800"],["MI","60"]])"));
    records_ = service_.Records().size();
    WriteAccountIni();
    ModeName = "GUI";
  }

  std::vector<JsonValue> NewRecords(const std::string& server) const
  {
    std::vector<JsonValue> fresh;
    const auto all = service_.Records();
    for (std::size_t i = records_; i < all.size(); ++i)
      if (all[i]["server"].AsString() == server)
        fresh.push_back(all[i]);
    return fresh;
  }

  bool WaitForNew(const std::string& server, std::size_t count, milliseconds timeout) const
  {
    return PumpMessagesUntil([&] { return NewRecords(server).size() >= count; }, timeout);
  }

  bool WaitForLog(const std::string& text, milliseconds timeout) const
  {
    return PumpMessagesUntil([&] { return Logged(text); }, timeout);
  }

  // The core's endpoints without waiting for the lookups.
  void UseEndpoints(const std::string& update = "127.0.0.21", const std::string& detect = "127.0.0.31")
  {
    core_->TimerDNS->SetEnabled(false);
    UpdateServerIP = update;
    DetectServerIP = detect;
  }

  // Waits for a log line written after the first `lines` lines.
  bool WaitForLogAfter(std::size_t lines, const std::string& text) const
  {
    return PumpMessagesUntil(
        [&] {
          for (const auto& line : LogTextsSince(lines))
            if (line == text)
              return true;
          return false;
        },
        10s);
  }

  // A failure asked for a resolution within a second: the timer is on with
  // 1000 ms. Shortened, it runs now, and line follows.
  void ResolveAsAsked(const std::string& line)
  {
    ASSERT_TRUE(core_->TimerDNS->Enabled());
    EXPECT_EQ(1000u, core_->TimerDNS->Interval());
    const std::size_t lines = LogTexts().size();
    core_->TimerDNS->SetInterval(10);
    ASSERT_TRUE(WaitForLogAfter(lines, line)) << line;
  }

  // The update went through at local ("address:port"), whose request
  // reported failures failed updates; the count is back to 0.
  void ExpectUpdateDoneAt(const char* local, const char* failures)
  {
    ASSERT_TRUE(WaitForLog(">>>>>    Update successfully done!", 10s));
    const JsonValue update = NewRecords("update").back();
    EXPECT_EQ(local, update["local"].AsString());
    EXPECT_EQ(failures, update["fields"]["ec"].AsString());
    EXPECT_EQ(0, UpdateErrorCount);
  }

  // One update attempt now, and its outcome.
  void UpdateNowAndWait(const char* outcome)
  {
    const std::size_t before = LogTexts().size();
    core_->TimerSetIP->Timer();
    ASSERT_TRUE(WaitForLogAfter(before, outcome)) << outcome;
  }

  TReferenceService service_;
  std::size_t records_ = 0;
};

TEST_F(MainRoadTest, StartResolvesUpdatesAndDetectsAnAddressChange)
{
  service_.SetScenario(R"({"update": {"default": {"mode": "success", "fields": [["DT","PA"],["SI","1800"],["MI","2"]]}},
                           "detect": {"default": {"mode": "answer", "address": "198.51.100.23"}}})");
  // The request says "E" whatever the window's language.
  WriteAccountIni("Language=D\r\n");
  const auto start = steady_clock::now();
  StartClient("W");

  ASSERT_TRUE(WaitForLog(">>>>>    DNS Lookup success (SetIP)! [127.0.0.21]", 5s));
  const auto resolved = steady_clock::now() - start;
  EXPECT_GE(resolved, 700ms);
  EXPECT_LE(resolved, 3s);

  ASSERT_TRUE(WaitForNew("update", 1, 10s));
  const auto firstUpdate = steady_clock::now() - start;
  EXPECT_GE(firstUpdate, 4500ms);

  const JsonValue request = NewRecords("update")[0];
  EXPECT_EQ("127.0.0.21:900", request["local"].AsString());
  const JsonValue& fields = request["fields"];
  EXPECT_EQ("MERVAT430W", fields["AuthCode"].AsString());
  EXPECT_EQ(SessionCode, fields["Session"].AsString());
  EXPECT_EQ("demo", fields["Account"].AsString());
  EXPECT_EQ("korvalind.test", fields["Domain"].AsString());
  EXPECT_EQ("0", fields["ec"].AsString());
  EXPECT_EQ("0", fields["ec2"].AsString());
  EXPECT_EQ("0", fields["ec3"].AsString());
  EXPECT_EQ("430701", fields["build"].AsString());
  EXPECT_EQ(GetOSVersionText(), fields["os"].AsString());
  EXPECT_EQ("E", fields["lang"].AsString());
  EXPECT_EQ(Md5DigestToHex(Md5DigestOfText(TestPasswordDigest)), fields["Passwd"].AsString());
  EXPECT_FALSE(fields.Has("offline"));
  const std::vector<std::string> order = {"AuthCode", "Session",    "Account", "Domain", "ec",   "ec2",   "ec3",
                                          "DNSDiff",  "DNSProblem", "build",   "os",     "lang", "Passwd"};
  std::vector<std::string> received;
  for (const auto& name : request["field_order"].AsArray())
    received.push_back(name.AsString());
  EXPECT_EQ(order, received);

  ASSERT_TRUE(WaitForLog(">>>>>    Update successfully done!", 5s));
  EXPECT_EQ("127.0.0.1", CurrentIP);  // the service's view of the peer
  EXPECT_TRUE(
      Logged("Debug    setIP-Request: [Account=demo&Domain=korvalind.test&ec=0&ec2=0&ec3=0&DNSDiff=0"
             "&DNSProblem=0&build=430701&os=" +
             GetOSVersionText() + "&lang=E]"));

  // Detection starts MI seconds after the success and finds a new address:
  // the next update follows five seconds later.
  ASSERT_TRUE(WaitForLog(">>>>>    IP-change detected [127.0.0.1] -> [198.51.100.23]", 8s));
  const auto changed = steady_clock::now();
  ASSERT_TRUE(WaitForNew("update", 2, 10s));
  const auto early = steady_clock::now() - changed;
  EXPECT_GE(early, 4000ms);
  EXPECT_LE(early, 8000ms);
  const JsonValue detection = NewRecords("detect")[0];
  EXPECT_EQ("127.0.0.31:901", detection["local"].AsString());
  EXPECT_EQ("MERVAT430W", detection["fields"]["AuthCode"].AsString());
}

TEST_F(MainRoadTest, FailingLookupsFallBackToTheBuiltInAddresses)
{
  EndpointHosts().Update[0] = "missing-update.korvalind.test";
  EndpointHosts().Detect = "missing-myip.korvalind.test";
  EndpointHosts().HeartBeat = "missing-heartbeat.korvalind.test";
  StartClient("W");
  ASSERT_TRUE(WaitForNew("update", 1, 12s));
  const std::string local = NewRecords("update")[0]["local"].AsString();
  const std::string address = local.substr(0, local.find(':'));
  EXPECT_TRUE(address == UpdateFallbackIPs[0] || address == UpdateFallbackIPs[1] || address == UpdateFallbackIPs[2] ||
              address == UpdateFallbackIPs[3])
      << local;
  EXPECT_TRUE(WaitForLog(">>>>>    Update successfully done!", 5s));
  // No fallback list for the heartbeat: it stays idle.
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup fail (HeartBeat)!"));
  EXPECT_EQ("0.0.0.0", HeartBeatServerIP);

  // The detection reaches one of the first two detection fallbacks.
  core_->TimerMyIP->Timer();
  ASSERT_TRUE(WaitForNew("detect", 1, 10s));
  const std::string detectLocal = NewRecords("detect")[0]["local"].AsString();
  const std::string detectAddress = detectLocal.substr(0, detectLocal.find(':'));
  EXPECT_TRUE(detectAddress == DetectFallbackIPs[0] || detectAddress == DetectFallbackIPs[1]) << detectLocal;
}

// A dead update host, refusing or resetting every connection: the client's
// own timers climb the retry ladder and resolve the update host anew after
// each failure, which the failure count moves to the second and the third
// host. The test only shortens the waits.
TEST_F(MainRoadTest, DeadUpdateHostsGiveWayToTheSecondAndThirdByTheClientsOwnTimers)
{
  service_.SetScenario(R"({"update": {"default": {"mode": "success"},
                                      "by_address": {"127.0.0.21": {"mode": "refuse"}, "127.0.0.22": {"mode": "refuse"}}}})");
  // The update host that failure counts 1 to 18 choose, and the next attempt's wait.
  const std::string hosts =
      "11111"
      "2121212121"
      "21"
      "3";
  const auto ladder = [](int n) { return n <= 5 ? 15000u : n <= 10 ? 30000u : n <= 15 ? 120000u : 300000u; };
  for (const bool reset : {false, true}) {
    SCOPED_TRACE(reset ? "every connection reset" : "connections refused");
    std::vector<std::unique_ptr<TPeerServer>> deadHosts;
    if (reset)
      for (const char* address : {"127.0.0.21", "127.0.0.22"}) {
        deadHosts.push_back(std::make_unique<TPeerServer>(address, 900, [](SOCKET) { return TPeerEnd::Reset; }));
        ASSERT_TRUE(deadHosts.back()->Listening()) << address;
      }
    // As after a successful update on the first host: no resolution pending.
    UseEndpoints();
    ClearLog();
    core_->TimerSetIP->SetInterval(10);
    core_->TimerSetIP->SetEnabled(true);
    for (int n = 1; n <= 18; ++n) {
      SCOPED_TRACE(n);
      ASSERT_TRUE(PumpMessagesUntil([&] { return UpdateErrorCount >= n; }, 10s));
      EXPECT_EQ(n, UpdateErrorCount);
      EXPECT_EQ(ladder(n), core_->TimerSetIP->Interval());
      ResolveAsAsked(">>>>>    DNS Lookup success (SetIP)! [127.0.0.2" +
                     hosts.substr(static_cast<std::size_t>(n - 1), 1) + "]");
      core_->TimerSetIP->SetInterval(10);
    }
    ExpectUpdateDoneAt("127.0.0.23:900", "18");
  }
}

// The first update host takes every request and never answers: each next
// tick counts the attempt as failed, and at count 6 the resolution picks the
// second host, where the update goes through. The test only shortens the waits.
TEST_F(MainRoadTest, SilentUpdateHostGivesWayToTheSecondByTheClientsOwnTimers)
{
  service_.SetScenario(R"({"update": {"default": {"mode": "success", "fields": [["SI","600"]]},
                                      "by_address": {"127.0.0.21": {"mode": "silent"}}}})");
  UseEndpoints();
  ClearLog();
  core_->TimerSetIP->SetEnabled(true);
  for (int n = 0; n <= 6; ++n) {
    SCOPED_TRACE(n);
    core_->TimerSetIP->SetInterval(10);
    ASSERT_TRUE(PumpMessagesUntil([&] { return core_->TimerSetIP->Interval() != 10; }, 10s));
    EXPECT_EQ(n, UpdateErrorCount);
    // The tick counted the unanswered attempt and asked for a resolution.
    if (n > 0)
      ResolveAsAsked(std::string(">>>>>    DNS Lookup success (SetIP)! [127.0.0.2") + (n == 6 ? "2]" : "1]"));
    // The request went out to the first host (the resolution comes after the
    // tick's connect); the next tick follows the ladder.
    ASSERT_TRUE(WaitForNew("update", static_cast<std::size_t>(n + 1), 10s));
    EXPECT_EQ("127.0.0.21:900", NewRecords("update").back()["local"].AsString());
    EXPECT_EQ(UpdateRetryInterval(n), core_->TimerSetIP->Interval());
  }
  core_->TimerSetIP->SetInterval(10);
  ExpectUpdateDoneAt("127.0.0.22:900", "7");
  EXPECT_EQ(600000u, core_->TimerSetIP->Interval());
}

// An endpoint of 0.0.0.0 in a reply is no address given: every cycle goes on
// with the address it had. One whose endpoint is not known yet has it resolved
// on its next tick and then tries.
TEST_F(MainRoadTest, ZeroEndpointInAReplyLeavesEveryCycleGoing)
{
  const std::string token = "ABCDEFGHIJ0123456789";
  const struct {
    const char* key;
    const char* before;  // the endpoint before the reply
    const char* server;  // where the next attempt shows
    const char* local;
    std::string* endpoint;
    TTimer* TKorvalindC::*timer;
  } cases[] = {
      {"SIP", "127.0.0.21", "update", "127.0.0.21:900", &UpdateServerIP, &TKorvalindC::TimerSetIP},
      {"MIP", "127.0.0.31", "detect", "127.0.0.31:901", &DetectServerIP, &TKorvalindC::TimerMyIP},
      {"MIP", "0.0.0.0", "detect", "127.0.0.31:901", &DetectServerIP, &TKorvalindC::TimerMyIP},
      {"HIP", "127.0.0.11", "heartbeat", "127.0.0.11:910", &HeartBeatServerIP, &TKorvalindC::TimerHeartBeat},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.key) + " after " + c.before);
    // The heartbeat runs only on a reply that orders it.
    const std::string heartBeat =
        c.endpoint == &HeartBeatServerIP ? R"(["DT","HB"],["HI","1"],["HB",")" + token + R"("],)" : "";
    service_.SetScenario(SuccessScenario("[" + heartBeat + R"(["SI","600"],[")" + c.key + R"(","0.0.0.0"]])"));
    UseEndpoints();
    HeartBeatServerIP = "127.0.0.11";
    *c.endpoint = c.before;
    UpdateNowAndWait(">>>>>    Update successfully done!");
    EXPECT_EQ(c.before, *c.endpoint);
    EXPECT_FALSE(core_->TimerDNS->Enabled());
    const std::size_t seen = NewRecords(c.server).size();
    TTimer* timer = core_->*c.timer;
    if (std::string(c.before) == "0.0.0.0") {
      timer->SetInterval(10);
      ASSERT_TRUE(WaitForLog("Debug    no myIP cause no valid socket IP", 10s));
      ResolveAsAsked(">>>>>    DNS Lookup success (MyIP)! [127.0.0.31]");
    }
    timer->SetInterval(10);
    ASSERT_TRUE(WaitForNew(c.server, seen + 1, 10s));
    EXPECT_EQ(c.local, NewRecords(c.server).back()["local"].AsString());
    timer->SetEnabled(false);
  }
}

TEST_F(MainRoadTest, FaultyRepliesLeaveTheClientUpdating)
{
  const struct {
    const char* name;
    const char* behaviour;
    const char* outcome;
    int failures;
    unsigned nextAttempt;
  } faults[] = {
      {"garbage", R"({"mode": "garbage", "text": "<html>proxy error</html>"})", ">>>>>    Update Error!", 1, 15000},
      {"silent close", R"({"mode": "silent_close"})", "Debug    setIP could not be done (b)", 1, 15000},
      {"pieces", R"({"mode": "success", "fields": [["DT","PA"],["SI","900"]], "pieces": 4, "gap_ms": 150})",
       ">>>>>    Update successfully done!", 0, 900000},
      {"slow", R"({"mode": "success", "delay_ms": 1500})", ">>>>>    Update successfully done!", 0, 1800000},
      {"bad number", R"({"mode": "success", "fields": [["SI","12a"]]})", "Alert!   setIP DataAvailable Exception:", 1,
       15000},
  };
  UseEndpoints();
  for (const auto& fault : faults) {
    SCOPED_TRACE(fault.name);
    service_.SetScenario(std::string(R"({"update": {"queue": [)") + fault.behaviour +
                         R"(], "default": {"mode": "success", "fields": [["SI","600"]]}}})");
    UpdateNowAndWait(fault.outcome);
    // Whatever happened, the next attempt is scheduled (for a piecewise reply
    // by the whole reply, not its first piece); after a failure the
    // endpoints are resolved again first.
    EXPECT_EQ(fault.failures, UpdateErrorCount);
    EXPECT_TRUE(core_->TimerSetIP->Enabled());
    EXPECT_EQ(fault.nextAttempt, core_->TimerSetIP->Interval());
    EXPECT_EQ(fault.failures == 1, core_->TimerDNS->Enabled());
    UpdateNowAndWait(">>>>>    Update successfully done!");
    EXPECT_EQ(600000u, core_->TimerSetIP->Interval());
    EXPECT_EQ(0, UpdateErrorCount);
  }
}

TEST_F(MainRoadTest, ReplyWithoutLineEndIsAppliedWhenTheServiceCloses)
{
  service_.SetScenario(R"({"update": {"default": {"mode": "raw", "text": "IP:127.0.0.1 DT:PA SI:700"}}})");
  UseEndpoints();
  UpdateNowAndWait(">>>>>    Update successfully done!");
  // Only the log copy loses the last character.
  EXPECT_TRUE(Logged("Debug    setIP-Return: [IP:127.0.0.1 DT:PA SI:70]"));
  EXPECT_EQ(700000, SetIPInterval);
}

TEST_F(MainRoadTest, ReplyCutOffByTheNextAttemptIsNeverApplied)
{
  service_.SetScenario(
      R"({"update": {"queue": [{"mode": "success", "fields": [["DT","XX"],["SI","900"]], "pieces": 2, "gap_ms": 5000}],
                                      "default": {"mode": "success", "fields": [["DT","PA"],["SI","600"]]}}})");
  UseEndpoints();
  const std::size_t before = LogTexts().size();
  core_->TimerSetIP->Timer();
  ASSERT_TRUE(WaitForLog("Debug    ..... setIP data available", 10s));
  // The next tick closes the half-answered session and starts over.
  UpdateNowAndWait(">>>>>    Update successfully done!");
  int successes = 0;
  for (const auto& line : LogTextsSince(before))
    if (line == ">>>>>    Update successfully done!")
      ++successes;
  EXPECT_EQ(1, successes);
  EXPECT_EQ("PA", TariffCode);
  EXPECT_EQ(600000, SetIPInterval);
}

TEST_F(MainRoadTest, LoginIsCheckedAgainstTheTwiceHashedPassword)
{
  const std::string accounts =
      std::string(R"("accounts": {"demo": {"domain": "korvalind.test", "passwd": ")") + TestPasswordDigest + R"("}})";
  service_.SetScenario("{" + accounts + R"(, "update": {"default": {"mode": "success", "fields": [["SI","600"]]}}})");
  UseEndpoints();
  UpdateNowAndWait(">>>>>    Update successfully done!");
  EXPECT_TRUE(NewRecords("update").back()["auth_ok"].AsBool());
  EXPECT_FALSE(ConfigError);

  // Another stored digest at the service: wrong login data.
  service_.SetScenario(R"({"accounts": {"demo": {"passwd": "00000000000000000000000000000000"}},
                           "update": {"default": {"mode": "success"}}})");
  UpdateNowAndWait(">>>>>    Überprüfen Sie bitte Ihre Login-Daten!");
  EXPECT_EQ("wrong_login", NewRecords("update").back()["mode"].AsString());
  EXPECT_TRUE(ConfigError);
  EXPECT_NE(std::string::npos, ReadIni().find("CONFIGERROR=1"));
  // The update still counted as done; the gate now keeps the cycle idle.
  EXPECT_TRUE(Logged(">>>>>    Update successfully done!"));
  const std::size_t requests = NewRecords("update").size();
  ClearLog();
  core_->TimerSetIP->Timer();
  PumpMessagesFor(500ms);
  EXPECT_TRUE(LogTexts().empty());
  EXPECT_EQ(requests, NewRecords("update").size());
}

TEST_F(MainRoadTest, HeartBeatTariffSendsTheTokenOnTheReplysInterval)
{
  const std::string token = "ABCDEFGHIJ0123456789";
  service_.SetScenario(SuccessScenario(R"([["DT","HB"],["HI","1"],["HB",")" + token + R"("],["SI","600"]])"));
  UseEndpoints();
  HeartBeatServerIP = "127.0.0.11";
  UpdateNowAndWait(">>>>>    HeartBeat activ!");
  EXPECT_EQ(1000u, core_->TimerHeartBeat->Interval());
  ASSERT_TRUE(WaitForNew("heartbeat", 2, 10s));
  for (const auto& record : NewRecords("heartbeat")) {
    EXPECT_EQ("127.0.0.11:910", record["local"].AsString());
    EXPECT_EQ(token, record["line"].AsString());
  }
  EXPECT_TRUE(Logged("Debug    HeartBeat: [" + token + "]"));
  EXPECT_EQ(0, ExceptionCount);

  // The next reply without a heartbeat order stops it.
  service_.SetScenario(SuccessScenario(R"([["DT","HB"],["SI","600"]])"));
  UpdateNowAndWait(">>>>>    Update successfully done!");
  EXPECT_FALSE(core_->TimerHeartBeat->Enabled());
  EXPECT_TRUE(HeartBeatToken.empty());
}

// Started before the network is up: every lookup fails and the heartbeat has
// no address; the reply that grants it switches the endpoint resolution off.
// Once the name resolves, the heartbeat's own lookup finds its host.
TEST_F(MainRoadTest, HeartBeatGrantedAfterFailedLookupsStartsOnceTheNameResolves)
{
  const std::string token = "ABCDEFGHIJ0123456789";
  service_.SetScenario(SuccessScenario(R"([["DT","HB"],["HI","1"],["HB",")" + token + R"("],["SI","600"]])"));
  const TEndpointHosts names = EndpointHosts();
  EndpointHosts().Update[0] = "missing-update.korvalind.test";
  EndpointHosts().Detect = "missing-myip.korvalind.test";
  EndpointHosts().HeartBeat = "missing-heartbeat.korvalind.test";
  StartClient("W");
  ASSERT_TRUE(WaitForLog(">>>>>    DNS Lookup fail (HeartBeat)!", 5s));
  EndpointHosts() = names;
  ASSERT_TRUE(WaitForLog(">>>>>    HeartBeat activ!", 10s));
  EXPECT_EQ("0.0.0.0", HeartBeatServerIP);
  ASSERT_TRUE(WaitForNew("heartbeat", 1, 5s));
  EXPECT_EQ("127.0.0.11:910", NewRecords("heartbeat")[0]["local"].AsString());
  EXPECT_EQ(token, NewRecords("heartbeat")[0]["line"].AsString());
  EXPECT_TRUE(Logged(">>>>>    DNS Lookup success (HeartBeat)! [127.0.0.11]"));
  EXPECT_FALSE(core_->TimerDNS->Enabled());
}

TEST_F(MainRoadTest, DetectionReplyInPiecesIsReadWhole)
{
  service_.SetScenario(
      R"({"detect": {"default": {"mode": "answer", "address": "198.51.100.77", "pieces": 3, "gap_ms": 150}}})");
  UseEndpoints();
  MyIPInterval = 60000;
  core_->TimerMyIP->Timer();
  ASSERT_TRUE(WaitForLog(">>>>>    myIP detected [198.51.100.77]", 10s));
  EXPECT_EQ(0, DetectErrorCount);
}

TEST_F(MainRoadTest, DetectionReplyCutOffByTheNextTickIsNeverRead)
{
  service_.SetScenario(
      R"({"detect": {"queue": [{"mode": "answer", "address": "198.51.100.99", "pieces": 2, "gap_ms": 5000}],
                                      "default": {"mode": "answer", "address": "198.51.100.77"}}})");
  UseEndpoints();
  MyIPInterval = 60000;
  core_->TimerMyIP->Timer();
  ASSERT_TRUE(WaitForLog("Debug    ..... myIP data available", 10s));
  core_->TimerMyIP->Timer();
  ASSERT_TRUE(WaitForLog(">>>>>    myIP detected [198.51.100.77]", 10s));
  // The attempt that had half its answer by the next tick failed, once.
  EXPECT_EQ(1, DetectErrorCount);
  EXPECT_TRUE(Logged("Debug    myIP could not be detected (no reply)"));
  EXPECT_EQ("198.51.100.77", CurrentIP);
}

TEST_F(MainRoadTest, UmlautInTheAccountNeverCutsTheRequestLine)
{
  // Plain bytes 0xF1-0xFF become a line feed under some shifts.
  WriteIni(std::string("[ACCOUNT]\r\nAccount=m\xFCller\xFF\r\nDomain=korvalind.test\r\nPasswd=") + TestPasswordDigest +
           "\r\n[LOGGING]\r\nLevel=40\r\n");
  UseEndpoints();
  for (int i = 0; i < 12; ++i)
    UpdateNowAndWait(">>>>>    Update successfully done!");
  for (const auto& record : NewRecords("update")) {
    EXPECT_TRUE(record["complete"].AsBool());
    EXPECT_EQ("m\xFCller\xFF", record["fields"]["Account"].AsString());
  }
}

}  // namespace
