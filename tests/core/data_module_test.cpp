#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

#include "core/log.h"
#include "core/korvalind_c.h"
#include "core/settings.h"
#include "net/net_socket.h"
#include "tests/core/core_fixture.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

namespace {

using DataModuleTest = CoreTest;

// What runs by itself once the data module exists: the endpoint lookups,
// about a second later, and nothing else. The other timers get short
// intervals through their properties, so one left running would tick within
// the wait (all but the exit timer, whose tick ends the process).
TEST_F(DataModuleTest, OnlyTheEndpointLookupsStartAboutASecondAfterCreation)
{
  WriteAccountIni();
  const auto created = std::chrono::steady_clock::now();
  RecreateCore();
  EXPECT_EQ("KorvalindC", core_->Name());
  EXPECT_EQ(core_, KorvalindC);
  EXPECT_EQ(10, core_->SMyIP->FlushTimeout);
  EXPECT_EQ(60, core_->SHeartBeat->FlushTimeout);
  EXPECT_EQ("tcp", core_->SSetIP->Proto());
  // The ident text names the test program's own version values (it has
  // none) and the platform.
  EXPECT_NE(std::string::npos, IdentText.find(";Windows NT)"));
  EXPECT_TRUE(LastMessage.empty());

  for (TTimer* timer : {core_->TimerMyIP, core_->TimerSetIP, core_->TimerHeartBeat, core_->TimerProcList,
                        core_->TimerSleep, core_->TimerDNSCheck, core_->TimerDNSRandom})
    timer->SetInterval(20);
  ASSERT_TRUE(PumpMessagesUntil([&] { return Logged("Debug    ..... DNS "); }, 30s));
  EXPECT_GE(std::chrono::steady_clock::now() - created, 900ms);
  PumpMessagesFor(300ms);
  // The endpoint tick and its lookups name DNS; no other tick's line does.
  for (const auto& line : LogTexts())
    EXPECT_NE(std::string::npos, line.find("DNS")) << line;
}

TEST_F(DataModuleTest, StartClientStartsTheUpdateCycleOnly)
{
  WriteAccountIni();
  // No endpoint resolved: the update tick ends at the gate, sending nothing.
  core_->TimerDNS->SetEnabled(false);
  const auto started = std::chrono::steady_clock::now();
  StartClient("W");
  EXPECT_EQ("MERVAT430W", ClientAuthCode);
  ASSERT_EQ(3u, SessionCode.size());
  for (char c : SessionCode)
    EXPECT_TRUE(c >= 'a' && c <= 'y');
  EXPECT_FALSE(core_->TimerProcList->Enabled());
  const auto log = LogTexts();
  ASSERT_EQ(3u, log.size());
  EXPECT_EQ(">>>>>", log[0]);
  EXPECT_EQ(">>>>>  " + IdentText + " started.", log[1]);
  EXPECT_EQ(">>>>>", log[2]);

  // The first update tick five seconds after the start; detection, on a
  // short interval now, would tick at once if the start had switched it on.
  core_->TimerMyIP->SetInterval(20);
  ASSERT_TRUE(PumpMessagesUntil([&] { return Logged("Debug    ..... setIP socket"); }, 30s));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 4500ms);
  EXPECT_FALSE(Logged("Debug    ..... myIP socket"));
}

TEST_F(DataModuleTest, StartClientInDaemonModeStartsTheDesktopWatch)
{
  DaemonMode = true;
  StartClient("D");
  EXPECT_EQ("MERVAT430D", ClientAuthCode);
  EXPECT_TRUE(core_->TimerProcList->Enabled());
}

TEST_F(DataModuleTest, GateStopsSilentlyOnAStateFlagButStillSetsTheInterval)
{
  WriteAccountIni();
  UpdateServerIP = DetectServerIP = HeartBeatServerIP = "127.0.0.1";
  HeartBeatToken = "ABCDEFGHIJ0123456789";
  for (bool* flag : {&Sleeping, &Deactivated, &ConfigError}) {
    *flag = true;
    ClearLog();
    core_->TimerSetIP->SetInterval(5000);
    core_->TimerSetIPTimer(core_->TimerSetIP);
    EXPECT_EQ(30000u, core_->TimerSetIP->Interval());
    core_->TimerMyIP->SetInterval(5000);
    core_->TimerMyIPTimer(core_->TimerMyIP);
    EXPECT_EQ(30000u, core_->TimerMyIP->Interval());
    core_->TimerHeartBeatTimer(core_->TimerHeartBeat);
    EXPECT_TRUE(LogTexts().empty());
    EXPECT_EQ(wsClosed, core_->SSetIP->State());
    EXPECT_EQ(wsClosed, core_->SMyIP->State());
    *flag = false;
  }
}

TEST_F(DataModuleTest, GateStepsAndTheirTexts)
{
  const struct {
    const char* name;
    std::function<void()> setup;
    std::vector<std::string> expected;
    bool resolves;  // TimerDNS on within a second
  } cases[] = {
      {"short account",
       [this] {
         WriteIni("[ACCOUNT]\r\nAccount=ab\r\nDomain=korvalind.test\r\nPasswd=abc\r\n[LOGGING]\r\nLevel=40\r\n");
         LoadConfig();
       },
       {"Debug    ..... setIP socket"},
       false},
      {"offline",
       [this] { WriteAccountIni("Offline=1\r\n"); },
       {"Debug    ..... setIP socket", "Debug    no SetIP cause offline mode"},
       false},
      // even when a reply left the timer off
      {"no endpoint yet",
       [this] { WriteAccountIni(); },
       {"Debug    ..... setIP socket", "Debug    no SetIP cause no valid socket IP"},
       true},
      {"desktop client beside the service",
       [this] {
         WriteAccountIni();
         DaemonMode = DesktopClientRunning = true;
         ModeName = "Daemon";
       },
       {"Debug    ..... setIP socket", "Debug    no SetIP cause Windows Client is runnig"},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DaemonMode = DesktopClientRunning = false;
    ModeName = "GUI";
    c.setup();
    core_->TimerDNS->SetEnabled(false);
    core_->TimerDNS->SetInterval(3600000);
    ClearLog();
    core_->TimerSetIPTimer(core_->TimerSetIP);
    EXPECT_EQ(c.expected, LogTexts());
    EXPECT_EQ(c.resolves, core_->TimerDNS->Enabled());
    EXPECT_EQ(c.resolves ? 1000u : 3600000u, core_->TimerDNS->Interval());
  }
}

TEST_F(DataModuleTest, DetectionGateUsesItsOwnTexts)
{
  WriteAccountIni();
  ClearLog();
  core_->TimerMyIPTimer(core_->TimerMyIP);
  EXPECT_EQ((std::vector<std::string>{"Debug    ..... myIP socket", "Debug    no myIP cause no valid socket IP"}),
            LogTexts());
  EXPECT_EQ(30000u, core_->TimerMyIP->Interval());
}

TEST_F(DataModuleTest, ServiceUpdateTickRereadsTheSettingsBeforeTheGate)
{
  WriteAccountIni();
  ConfigError = true;  // cleared in the file by the desktop client meanwhile
  ModeName = "GUI";
  ClearLog();
  core_->TimerSetIPTimer(core_->TimerSetIP);
  EXPECT_TRUE(LogTexts().empty());

  ModeName = "Daemon";
  core_->TimerSetIPTimer(core_->TimerSetIP);
  EXPECT_FALSE(ConfigError);
  EXPECT_FALSE(LogTexts().empty());
}

TEST_F(DataModuleTest, HeartBeatGateSwitchesItselfOffBesideTheDesktopClient)
{
  WriteAccountIni();
  DaemonMode = DesktopClientRunning = true;
  core_->TimerHeartBeat->SetEnabled(true);
  ClearLog();
  core_->TimerHeartBeatTimer(core_->TimerHeartBeat);
  EXPECT_FALSE(core_->TimerHeartBeat->Enabled());
  EXPECT_EQ(std::vector<std::string>{"Debug    ..... HeartBeat socket "}, LogTexts());
}

TEST_F(DataModuleTest, NudgesBringTheNextTickForwardWithoutStartingATimer)
{
  UpdateNow();
  EXPECT_FALSE(core_->TimerSetIP->Enabled());
  EXPECT_EQ(2500u, core_->TimerSetIP->Interval());

  core_->TimerMyIP->SetEnabled(true);
  CheckIPNow();
  EXPECT_TRUE(core_->TimerMyIP->Enabled());
  EXPECT_EQ(2500u, core_->TimerMyIP->Interval());
}

TEST(UpdateHostTest, ChoiceByFailureCount)
{
  const int first[] = {0, 1, 2, 3, 4, 5, 7, 9, 11, 13, 15, 17, 19, 23, 25, 29};
  const int second[] = {6, 8, 10, 12, 14, 16, 20, 22, 26, 28};
  const int third[] = {18, 21, 24, 27, 30};
  for (int n : first)
    EXPECT_EQ(1, UpdateHostNumber(n)) << n;
  for (int n : second)
    EXPECT_EQ(2, UpdateHostNumber(n)) << n;
  for (int n : third)
    EXPECT_EQ(3, UpdateHostNumber(n)) << n;
}

TEST(UpdateHostTest, RetryLadder)
{
  const std::pair<int, unsigned> ladder[] = {{0, 300000},  {1, 15000},   {5, 15000},   {6, 30000},    {10, 30000},
                                             {11, 120000}, {15, 120000}, {16, 300000}, {1000, 300000}};
  for (const auto& [count, interval] : ladder)
    EXPECT_EQ(interval, UpdateRetryInterval(count)) << count;
}

TEST(UpdateHostTest, SecondsBecomeIntervalsWithoutOverflow)
{
  EXPECT_EQ(0u, SecondsToInterval(0));
  EXPECT_EQ(0u, SecondsToInterval(-5));
  EXPECT_EQ(5000u, SecondsToInterval(5));
  EXPECT_EQ(TTimer::MaxInterval, SecondsToInterval(3000000));
  EXPECT_EQ(TTimer::MaxInterval, SecondsToInterval(2147483647));
}

TEST_F(DataModuleTest, FailedConnectionClimbsTheRetryLadder)
{
  WriteAccountIni();
  const std::pair<int, unsigned> steps[] = {{0, 15000}, {5, 30000}, {10, 120000}, {15, 300000}};
  for (const auto& [before, interval] : steps) {
    SCOPED_TRACE(before);
    RecreateCore();
    UpdateErrorCount = before;
    MessageText = "Hallo";
    ClearLog();
    core_->SSetIPSessionConnected(core_->SSetIP, 10061);
    EXPECT_EQ(before + 1, UpdateErrorCount);
    EXPECT_EQ(interval, core_->TimerSetIP->Interval());
    EXPECT_TRUE(MessageText.empty());
    EXPECT_EQ(
        (std::vector<std::string>{"Debug    ..... setIP session connected", ">>>>>    setIP socket connect problem"}),
        LogTexts());
  }
}

TEST_F(DataModuleTest, SleepWakesUpAndProcListFindsTheDesktopWindow)
{
  WriteAccountIni();
  Sleeping = true;
  core_->TimerSleep->SetEnabled(true);
  core_->TimerSleepTimer(core_->TimerSleep);
  EXPECT_FALSE(Sleeping);
  EXPECT_FALSE(core_->TimerSleep->Enabled());
  EXPECT_TRUE(Logged("Debug    ..... Sleep Wakeup "));

  // Other test programs may show a desktop client's window at the same time,
  // so the window watch runs on a desktop of its own; the main thread pumps,
  // as the timers it switches belong to it.
  DaemonMode = true;
  std::atomic<bool> done{false};
  std::thread watch([&] {
    const std::string name = "korvalind-test-" + std::to_string(GetCurrentProcessId());
    HDESK own = CreateDesktopA(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    ASSERT_NE(nullptr, own);
    ASSERT_TRUE(SetThreadDesktop(own));
    core_->TimerProcListTimer(core_->TimerProcList);
    EXPECT_FALSE(DesktopClientRunning);
    EXPECT_EQ(15000u, core_->TimerProcList->Interval());

    // Title without the trailing blank: not the desktop client.
    HWND exact =
        CreateWindowExA(0, "STATIC", "Korvalind-Poster", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    core_->TimerProcListTimer(core_->TimerProcList);
    EXPECT_FALSE(DesktopClientRunning);
    HWND desktop =
        CreateWindowExA(0, "STATIC", "korvalind-poster 4.3", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    core_->TimerSetIP->SetInterval(5000);
    core_->TimerProcListTimer(core_->TimerProcList);
    EXPECT_TRUE(DesktopClientRunning);
    EXPECT_EQ(10000u, core_->TimerSetIP->Interval());
    DestroyWindow(desktop);
    DestroyWindow(exact);
    CloseDesktop(own);
    done = true;
  });
  PumpMessagesUntil([&] { return done.load(); }, std::chrono::seconds(30));
  watch.join();
}

}  // namespace
