#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "core/korvalind_c.h"
#include "core/korvalind_proc.h"
#include "core/program_info.h"
#include "core/settings.h"
#include "platform/service/service_application.h"
#include "platform/service/service_thread.h"
#include "service/korvalind_daemon.h"
#include "service/stop_client.h"
#include "tests/support/service_control.h"
#include "tests/support/message_pump.h"
#include "tests/support/test_paths.h"

using namespace std::chrono_literals;

namespace {

// The service program's modules in this process, created the way its
// start-up block creates them; the program folder is a fresh one.
class DaemonTest : public testing::Test {
protected:
  void SetUp() override
  {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = FreshTestDir(std::string("daemon.") + info->name());
    SetProgramDirForTesting(dir_);
    std::ofstream(dir_ + "\\korvalind.ini", std::ios::binary) << "[LOGGING]\r\nLevel=40\r\n";
    DaemonMode = false;
    DesktopClientRunning = false;
    ModeName.clear();
    ClientAuthCode = "MERVAT430";
    LogLevel = 0;
    UpdateServerIP = DetectServerIP = HeartBeatServerIP = "0.0.0.0";
    for (auto& slot : LogSlots)
      slot.clear();
    application_ = std::make_unique<TServiceApplication>();
    application_->Initialize();
    daemon_ = application_->CreateForm<TKorvalindDaemon>();
    core_ = application_->CreateForm<TKorvalindC>();
    application_->CreateForm<TKorvalindProc>();
  }
  void TearDown() override
  {
    application_.reset();
    SetProgramDirForTesting("");
  }

  std::vector<std::string> Log() const { return ReadLogTexts(dir_ + "\\test_service.log"); }
  std::vector<std::string> LogBanner() const
  {
    std::vector<std::string> banner;
    for (const auto& line : Log())
      if (line.rfind(">>>>>", 0) == 0 && line.rfind(">>>>>    ", 0) != 0)
        banner.push_back(line);
    return banner;
  }

  // Runs a handler on a thread of its own, as the service thread runs it,
  // while this (main) thread pumps its messages.
  void RunOnServiceThread(const std::function<void()>& handler)
  {
    std::atomic<bool> done{false};
    std::thread thread([&] {
      handler();
      done = true;
    });
    ASSERT_TRUE(PumpMessagesUntil([&] { return done.load(); }, 60s));
    thread.join();
  }

  std::string dir_;
  std::unique_ptr<TServiceApplication> application_;
  TKorvalindDaemon* daemon_ = nullptr;
  TKorvalindC* core_ = nullptr;
};

TEST_F(DaemonTest, ServiceIdentity)
{
  EXPECT_EQ(daemon_, KorvalindDaemon);
  EXPECT_EQ("KorvalindDaemon", daemon_->Name());
  EXPECT_EQ("Korvalind Daemon", daemon_->DisplayName);
  EXPECT_EQ(TServiceType::Win32, daemon_->ServiceType);
  EXPECT_TRUE(daemon_->Interactive);
  EXPECT_EQ(TStartType::Auto, daemon_->StartType);
  EXPECT_EQ(TErrorSeverity::Normal, daemon_->ErrorSeverity);
  EXPECT_TRUE(daemon_->AllowStop);
  EXPECT_TRUE(daemon_->AllowPause);
  EXPECT_EQ(5000u, daemon_->WaitHint);
  EXPECT_TRUE(daemon_->ServiceStartName.empty());
  EXPECT_TRUE(daemon_->Dependencies.empty());
  EXPECT_TRUE(daemon_->LoadGroup.empty());
  EXPECT_EQ(&ForwardControlCode, daemon_->ControllerOverride());
  EXPECT_TRUE(daemon_->OnStart && daemon_->OnStop);
  EXPECT_FALSE(daemon_->OnPause || daemon_->OnContinue || daemon_->OnShutdown || daemon_->OnExecute);
  // The service module belongs to the service application, the core to the
  // window application on this thread.
  EXPECT_EQ(application_.get(), daemon_->Owner());
  EXPECT_EQ(application_->WindowApplication(), core_->Owner());
  EXPECT_NE(nullptr, application_->WindowApplication()->FindComponent("KorvalindProc"));
}

TEST_F(DaemonTest, EndpointLookupsRunBeforeTheServiceIsStarted)
{
  EXPECT_TRUE(PumpMessagesUntil([] { return UpdateServerIP != "0.0.0.0" && DetectServerIP != "0.0.0.0"; }, 60s));
  EXPECT_EQ("127.0.0.21", UpdateServerIP);
  EXPECT_EQ("127.0.0.31", DetectServerIP);
  EXPECT_FALSE(DaemonMode);
  EXPECT_FALSE(core_->TimerSetIP->Enabled());
}

TEST_F(DaemonTest, ServiceStartHandsTheStartToTheMainThreadAndWaits)
{
  std::atomic<bool> done{false};
  bool started = true;
  std::thread serviceThread([&] {
    daemon_->ServiceStart(daemon_, started);
    done = true;
  });
  // While the main thread does not look at its messages, nothing of the
  // start has happened.
  std::this_thread::sleep_for(300ms);
  EXPECT_FALSE(done);
  EXPECT_FALSE(DaemonMode);
  EXPECT_TRUE(Log().empty());
  ASSERT_TRUE(PumpMessagesUntil([&] { return done.load(); }, 60s));
  serviceThread.join();

  EXPECT_TRUE(started);
  EXPECT_TRUE(DaemonMode);
  EXPECT_EQ("Daemon", ModeName);
  EXPECT_EQ("MERVAT430D", ClientAuthCode);
  EXPECT_FALSE(core_->TimerMyIP->Enabled());
  EXPECT_TRUE(core_->TimerSetIP->Enabled());
  EXPECT_EQ(5000u, core_->TimerSetIP->Interval());
  EXPECT_TRUE(core_->TimerProcList->Enabled());
  const auto banner = LogBanner();
  ASSERT_EQ(3u, banner.size());
  EXPECT_EQ(">>>>>", banner[0]);
  EXPECT_TRUE(std::regex_match(
      banner[1],
      std::regex(R"(>>>>>  Korvalind-Poster-Daemon 4\.3 \(Build:4\.3\.0\.701;[a-y]{3};Windows NT\) started\.)")))
      << banner[1];
  EXPECT_EQ(">>>>>", banner[2]);
}

TEST_F(DaemonTest, ServiceStopLogsTheStopBannerAndSwitchesOffThreeTimers)
{
  bool started = true;
  RunOnServiceThread([&] { daemon_->ServiceStart(daemon_, started); });
  // The cycles as a successful update leaves them, plus the own-host check.
  core_->TimerMyIP->SetEnabled(true);
  core_->TimerHeartBeat->SetEnabled(true);
  core_->TimerDNSCheck->SetEnabled(true);
  const bool dnsBefore = core_->TimerDNS->Enabled();

  bool stopped = true;
  RunOnServiceThread([&] { daemon_->ServiceStop(daemon_, stopped); });
  EXPECT_TRUE(stopped);
  const auto log = Log();
  ASSERT_GE(log.size(), 6u);
  const std::vector<std::string> tail(log.end() - 3, log.end());
  EXPECT_EQ((std::vector<std::string>{">>>>>", ">>>>>  " + IdentText + " terminated.", ">>>>>"}), tail);
  EXPECT_FALSE(core_->TimerMyIP->Enabled());
  EXPECT_FALSE(core_->TimerSetIP->Enabled());
  EXPECT_FALSE(core_->TimerHeartBeat->Enabled());
  // The rest keep their state.
  EXPECT_EQ(dnsBefore, core_->TimerDNS->Enabled());
  EXPECT_TRUE(core_->TimerProcList->Enabled());
  EXPECT_TRUE(core_->TimerDNSCheck->Enabled());
}

// The control codes as the service thread gets them from the control
// manager, with the core on this thread.
class DaemonThreadTest : public DaemonTest {
protected:
  void StartThread()
  {
    daemon_->SetStatus(TCurrentStatus::StartPending);
    thread_ = std::make_unique<TServiceThread>(daemon_);
    thread_->Start();
    ASSERT_TRUE(WaitForStatus(TCurrentStatus::Running));
  }
  void Send(DWORD code) { ASSERT_TRUE(PostThreadMessageA(thread_->ThreadId(), CM_SERVICE_CONTROL_CODE, code, 0)); }
  bool WaitForStatus(TCurrentStatus status)
  {
    return PumpMessagesUntil([&] { return daemon_->Status() == status; }, 60s);
  }
  bool WaitForThreadEnd()
  {
    return PumpMessagesUntil([&] { return WaitForSingleObject(thread_->Handle(), 0) == WAIT_OBJECT_0; }, 60s);
  }
  void TearDown() override
  {
    if (thread_ != nullptr && WaitForSingleObject(thread_->Handle(), 0) != WAIT_OBJECT_0) {
      Send(SERVICE_CONTROL_STOP);
      WaitForThreadEnd();
    }
    thread_.reset();
    DaemonTest::TearDown();
  }
  static int Count(const std::vector<std::string>& log, const std::string& text)
  {
    return static_cast<int>(std::count(log.begin(), log.end(), text));
  }

  std::unique_ptr<TServiceThread> thread_;
};

TEST_F(DaemonThreadTest, PauseAndShutdownLeaveTheCoreRunning)
{
  StartThread();
  ASSERT_EQ(3u, LogBanner().size());
  Send(SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitForStatus(TCurrentStatus::Paused));
  EXPECT_TRUE(core_->TimerSetIP->Enabled());
  // The core's ticks go on while paused.
  core_->TimerSetIP->SetInterval(50);
  const std::size_t before = Log().size();
  // Other ticks (the desktop-client watch, the lookups) may log in between.
  EXPECT_TRUE(PumpMessagesUntil(
      [&] {
        const auto log = Log();
        return log.size() > before && std::find(log.begin() + static_cast<std::ptrdiff_t>(before), log.end(),
                                                "Debug    ..... setIP socket") != log.end();
      },
      60s));
  Send(SERVICE_CONTROL_CONTINUE);
  ASSERT_TRUE(WaitForStatus(TCurrentStatus::Running));

  Send(SERVICE_CONTROL_SHUTDOWN);
  ASSERT_TRUE(WaitForThreadEnd());
  // No stop routine: no stop banner, the cycles keep their timers.
  EXPECT_EQ(0, Count(Log(), ">>>>>  " + IdentText + " terminated."));
  EXPECT_TRUE(core_->TimerSetIP->Enabled());
  EXPECT_TRUE(core_->TimerProcList->Enabled());
}

TEST_F(DaemonTest, ControlCodesWithoutARunningServiceAreHarmless)
{
  // The control manager may ask before the service thread exists.
  ForwardControlCode(SERVICE_CONTROL_INTERROGATE);
  ForwardControlCode(SERVICE_CONTROL_STOP);
  EXPECT_EQ(TCurrentStatus::Stopped, daemon_->Status());
  TKorvalindDaemon* saved = KorvalindDaemon;
  KorvalindDaemon = nullptr;
  ForwardControlCode(SERVICE_CONTROL_STOP);
  KorvalindDaemon = saved;
}

}  // namespace
