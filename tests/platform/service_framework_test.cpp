#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/service/event_logger.h"
#include "platform/service/os_error.h"
#include "platform/service/service_application.h"
#include "platform/service/service_thread.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

namespace {

void WINAPI IgnoreControl(DWORD) {}

class TTestService : public TService {
public:
  explicit TTestService(TComponent* owner) : TService(owner)
  {
    SetName("KorvalindFrameworkTest");
    DisplayName = "Korvalind Framework Test";
  }
  TServiceController ControllerOverride() override { return &IgnoreControl; }
};

// Collects what would have gone to the event log.
class EventLogCapture {
public:
  struct Entry {
    std::string source;
    std::string message;
    WORD type;
  };
  EventLogCapture()
  {
    TEventLogger::SetSink([this](const std::string& source, const std::string& message, WORD type, WORD, DWORD) {
      std::lock_guard<std::mutex> lock(mutex_);
      entries_.push_back({source, message, type});
    });
  }
  ~EventLogCapture() { TEventLogger::SetSink(nullptr); }
  std::vector<Entry> Entries()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }

private:
  std::mutex mutex_;
  std::vector<Entry> entries_;
};

class ServiceFrameworkTest : public testing::Test {
protected:
  void SetUp() override
  {
    application_ = std::make_unique<TServiceApplication>();
    application_->OnMessageBox = [this](const std::string& text, const std::string&, UINT) {
      boxes_.push_back(text);
      return IDOK;
    };
    service_ = application_->CreateForm<TTestService>();
  }

  std::unique_ptr<TServiceApplication> application_;
  TTestService* service_ = nullptr;
  std::vector<std::string> boxes_;
};

TEST_F(ServiceFrameworkTest, StatusRecordFollowsTheStatus)
{
  service_->Interactive = true;
  service_->WaitHint = 5000;
  const DWORD all = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;
  struct Row {
    TCurrentStatus status;
    DWORD state;
    DWORD accepted;
    DWORD waitHint;
  };
  const Row rows[] = {
      {TCurrentStatus::StartPending, SERVICE_START_PENDING, 0, 5000},
      {TCurrentStatus::Running, SERVICE_RUNNING, all, 0},
      {TCurrentStatus::PausePending, SERVICE_PAUSE_PENDING, all, 5000},
      {TCurrentStatus::Paused, SERVICE_PAUSED, all, 0},
      {TCurrentStatus::ContinuePending, SERVICE_CONTINUE_PENDING, all, 5000},
      {TCurrentStatus::StopPending, SERVICE_STOP_PENDING, 0, 5000},
      {TCurrentStatus::Stopped, SERVICE_STOPPED, 0, 0},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.state);
    service_->SetStatus(row.status);
    const SERVICE_STATUS record = service_->StatusRecord();
    EXPECT_EQ(DWORD(SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS), record.dwServiceType);
    EXPECT_EQ(row.state, record.dwCurrentState);
    EXPECT_EQ(row.accepted, record.dwControlsAccepted);
    EXPECT_EQ(row.waitHint, record.dwWaitHint);
    EXPECT_EQ(row.waitHint != 0 ? 1u : 0u, record.dwCheckPoint);
  }
}

TEST_F(ServiceFrameworkTest, EachReportOfAPendingStateMovesTheCheckpoint)
{
  service_->SetStatus(TCurrentStatus::StartPending);
  service_->ReportStatus();
  service_->ReportStatus();
  EXPECT_EQ(3u, service_->StatusRecord().dwCheckPoint);
  service_->SetStatus(TCurrentStatus::Running);
  service_->ReportStatus();
  EXPECT_EQ(0u, service_->StatusRecord().dwCheckPoint);
  service_->SetStatus(TCurrentStatus::StopPending);
  EXPECT_EQ(1u, service_->StatusRecord().dwCheckPoint);
}

TEST_F(ServiceFrameworkTest, AcceptedControlsFollowAllowStopAndAllowPause)
{
  service_->SetStatus(TCurrentStatus::Running);
  service_->AllowPause = false;
  EXPECT_EQ(DWORD(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN), service_->StatusRecord().dwControlsAccepted);
  service_->AllowStop = false;
  EXPECT_EQ(DWORD(SERVICE_ACCEPT_SHUTDOWN), service_->StatusRecord().dwControlsAccepted);
  service_->Interactive = false;
  EXPECT_EQ(DWORD(SERVICE_WIN32_OWN_PROCESS), service_->StatusRecord().dwServiceType);
}

TEST_F(ServiceFrameworkTest, StoppedReportsTheExitCodes)
{
  service_->SetStatus(TCurrentStatus::Stopped);
  EXPECT_EQ(0u, service_->StatusRecord().dwWin32ExitCode);
  service_->Win32ErrCode = ERROR_ACCESS_DENIED;
  EXPECT_EQ(DWORD(ERROR_ACCESS_DENIED), service_->StatusRecord().dwWin32ExitCode);
  service_->ErrCode = 42;
  EXPECT_EQ(DWORD(ERROR_SERVICE_SPECIFIC_ERROR), service_->StatusRecord().dwWin32ExitCode);
  EXPECT_EQ(42u, service_->StatusRecord().dwServiceSpecificExitCode);
}

// The service thread on its own, fed control codes the way Controller posts
// them; the handlers note the status they run in.
class ServiceThreadTest : public ServiceFrameworkTest {
protected:
  void SetUp() override
  {
    ServiceFrameworkTest::SetUp();
    service_->OnStart = [this](TService* s, bool&) { Note("start", s); };
    service_->OnStop = [this](TService* s, bool& stopped) {
      Note("stop", s);
      stopped = stopAllowed_;
    };
    service_->OnPause = [this](TService* s, bool& paused) {
      Note("pause", s);
      paused = pauseAllowed_;
    };
    service_->OnContinue = [this](TService* s, bool&) { Note("continue", s); };
    service_->OnShutdown = [this](TService* s) { Note("shutdown", s); };
  }

  void Note(const std::string& what, TService* sender)
  {
    std::lock_guard<std::mutex> lock(mutex_);
    notes_.push_back(what + ":" + std::to_string(static_cast<int>(sender->Status())));
  }
  std::vector<std::string> Notes()
  {
    std::lock_guard<std::mutex> lock(mutex_);
    return notes_;
  }
  static std::string N(const char* what, TCurrentStatus status)
  {
    return std::string(what) + ":" + std::to_string(static_cast<int>(status));
  }
  bool WaitForStatus(TCurrentStatus status)
  {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (service_->Status() != status)
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      else
        std::this_thread::sleep_for(1ms);
    return true;
  }
  void Send(TServiceThread& thread, DWORD code)
  {
    ASSERT_TRUE(PostThreadMessageA(thread.ThreadId(), CM_SERVICE_CONTROL_CODE, code, 0));
  }
  bool WaitUntilNotes(std::size_t count)
  {
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    while (Notes().size() < count)
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      else
        std::this_thread::sleep_for(1ms);
    return true;
  }
  // As the service's main routine does: start pending, then the thread.
  void Start(TServiceThread& thread)
  {
    service_->SetStatus(TCurrentStatus::StartPending);
    thread.Start();
  }
  bool Ended(TServiceThread& thread, DWORD ms = 60000)
  {
    return WaitForSingleObject(thread.Handle(), ms) == WAIT_OBJECT_0;
  }

  std::mutex mutex_;
  std::vector<std::string> notes_;
  std::atomic<bool> stopAllowed_{true};
  std::atomic<bool> pauseAllowed_{true};
};

TEST_F(ServiceThreadTest, PauseContinueAndStop)
{
  TServiceThread thread(service_);
  Start(thread);
  ASSERT_TRUE(WaitForStatus(TCurrentStatus::Running));
  Send(thread, SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitForStatus(TCurrentStatus::Paused));
  // Codes that change nothing while paused.
  Send(thread, SERVICE_CONTROL_INTERROGATE);
  Send(thread, SERVICE_CONTROL_PAUSE);
  Send(thread, 200);
  Send(thread, SERVICE_CONTROL_CONTINUE);
  ASSERT_TRUE(WaitForStatus(TCurrentStatus::Running));
  Send(thread, SERVICE_CONTROL_CONTINUE);
  Send(thread, SERVICE_CONTROL_STOP);
  ASSERT_TRUE(Ended(thread));
  EXPECT_EQ((std::vector<std::string>{
                N("start", TCurrentStatus::StartPending), N("pause", TCurrentStatus::PausePending),
                N("continue", TCurrentStatus::ContinuePending), N("stop", TCurrentStatus::StopPending)}),
            Notes());
}

// A continue that arrives before the paused thread has settled must not be
// lost, the way a resume that comes before the suspend would leave the thread
// asleep for good.
TEST_F(ServiceThreadTest, AContinueRightBehindThePauseIsNotLost)
{
  TServiceThread thread(service_);
  Start(thread);
  ASSERT_TRUE(WaitForStatus(TCurrentStatus::Running));
  for (int round = 0; round < 20; ++round) {
    Send(thread, SERVICE_CONTROL_PAUSE);
    Send(thread, SERVICE_CONTROL_CONTINUE);
  }
  Send(thread, SERVICE_CONTROL_STOP);
  ASSERT_TRUE(Ended(thread));
  const auto notes = Notes();
  EXPECT_EQ(20, std::count(notes.begin(), notes.end(), N("continue", TCurrentStatus::ContinuePending)));
  EXPECT_EQ(N("stop", TCurrentStatus::StopPending), notes.back());
}

// The control manager may send a stop as soon as the service reports that it
// runs; the service thread takes codes from before its start handler on.
TEST_F(ServiceThreadTest, AStopSentWhileTheStartHandlerRunsIsActedUpon)
{
  service_->OnStart = [this](TService* s, bool&) {
    Note("start", s);
    s->Controller(SERVICE_CONTROL_STOP);
  };
  TServiceThread thread(service_);
  Start(thread);
  const bool ended = Ended(thread);
  if (!ended)
    Send(thread, SERVICE_CONTROL_STOP);
  ASSERT_TRUE(ended);
  EXPECT_EQ(
      (std::vector<std::string>{N("start", TCurrentStatus::StartPending), N("stop", TCurrentStatus::StopPending)}),
      Notes());
}

TEST_F(ServiceThreadTest, StopWhilePausedEndsTheThread)
{
  TServiceThread thread(service_);
  Start(thread);
  ASSERT_TRUE(WaitForStatus(TCurrentStatus::Running));
  Send(thread, SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitForStatus(TCurrentStatus::Paused));
  Send(thread, SERVICE_CONTROL_STOP);
  ASSERT_TRUE(Ended(thread));
  EXPECT_EQ(N("stop", TCurrentStatus::StopPending), Notes().back());
}

TEST_F(ServiceThreadTest, ShutdownEndsWithoutTheStopHandler)
{
  TServiceThread thread(service_);
  Start(thread);
  ASSERT_TRUE(WaitForStatus(TCurrentStatus::Running));
  Send(thread, SERVICE_CONTROL_SHUTDOWN);
  ASSERT_TRUE(Ended(thread));
  EXPECT_EQ(
      (std::vector<std::string>{N("start", TCurrentStatus::StartPending), N("shutdown", TCurrentStatus::StopPending)}),
      Notes());
}

TEST_F(ServiceThreadTest, RefusedStopAndPauseKeepTheServiceWhereItWas)
{
  stopAllowed_ = false;
  pauseAllowed_ = false;
  TServiceThread thread(service_);
  Start(thread);
  ASSERT_TRUE(WaitForStatus(TCurrentStatus::Running));
  Send(thread, SERVICE_CONTROL_PAUSE);
  Send(thread, SERVICE_CONTROL_STOP);
  Send(thread, SERVICE_CONTROL_INTERROGATE);
  ASSERT_TRUE(WaitUntilNotes(3));
  EXPECT_FALSE(Ended(thread, 100));
  EXPECT_EQ(TCurrentStatus::Running, service_->Status());
  stopAllowed_ = true;
  Send(thread, SERVICE_CONTROL_STOP);
  EXPECT_TRUE(Ended(thread));
}

TEST_F(ServiceThreadTest, AFailedStartIsLoggedAndEndsTheThread)
{
  EventLogCapture events;
  service_->OnStart = [](TService*, bool&) { throw Exception("cannot start now"); };
  TServiceThread thread(service_);
  Start(thread);
  ASSERT_TRUE(Ended(thread));
  EXPECT_NE(TCurrentStatus::Running, service_->Status());
  EXPECT_EQ(DWORD(ERROR_EXCEPTION_IN_SERVICE), service_->Win32ErrCode);
  const auto entries = events.Entries();
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("KorvalindFrameworkTest", entries[0].source);
  EXPECT_EQ("cannot start now", entries[0].message);
  EXPECT_EQ(EVENTLOG_ERROR_TYPE, entries[0].type);
}

TEST_F(ServiceThreadTest, AStartHandlerThatClearsStartedEndsTheThreadWithoutALogEntry)
{
  EventLogCapture events;
  service_->OnStart = [](TService*, bool& started) { started = false; };
  TServiceThread thread(service_);
  Start(thread);
  ASSERT_TRUE(Ended(thread));
  EXPECT_TRUE(events.Entries().empty());
}

TEST_F(ServiceThreadTest, AStopHandlerThatThrowsIsLoggedAndTheServiceStillStops)
{
  EventLogCapture events;
  service_->OnStop = [](TService*, bool&) { throw std::runtime_error("stop went wrong"); };
  TServiceThread thread(service_);
  Start(thread);
  ASSERT_TRUE(WaitForStatus(TCurrentStatus::Running));
  Send(thread, SERVICE_CONTROL_STOP);
  ASSERT_TRUE(Ended(thread));
  ASSERT_EQ(1u, events.Entries().size());
  EXPECT_EQ("stop went wrong", events.Entries()[0].message);
}

TEST_F(ServiceFrameworkTest, RunWithoutTheControlManagerLogsTheDispatcherFailure)
{
  EventLogCapture events;
  application_->Params = {};
  const auto started = std::chrono::steady_clock::now();
  application_->Run();
  // It returns by itself; Wine's dispatcher call may first wait some seconds
  // for a control manager that is only starting up.
  EXPECT_LT(std::chrono::steady_clock::now() - started, 120s);
  EXPECT_EQ(1, application_->ExitCode());
  const auto entries = events.Entries();
  ASSERT_EQ(1u, entries.size());
  EXPECT_EQ("KorvalindFrameworkTest", entries[0].source);
  EXPECT_EQ(SysErrorMessage(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT), entries[0].message);
  EXPECT_TRUE(boxes_.empty());
}

TEST_F(ServiceFrameworkTest, InstallAndUninstallTogetherDoNeither)
{
  application_->Params = {"/install", "-UNINSTALL", "/silent"};
  application_->Run();
  EXPECT_EQ(2, application_->ExitCode());
  ASSERT_EQ(1u, boxes_.size());
  EXPECT_NE(std::string::npos, boxes_[0].find("INSTALL und UNINSTALL"));
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  ASSERT_NE(nullptr, manager);
  SC_HANDLE service = OpenServiceA(manager, "KorvalindFrameworkTest", SERVICE_QUERY_STATUS);
  EXPECT_EQ(nullptr, service);
  if (service != nullptr)
    CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

TEST_F(ServiceFrameworkTest, SynchronizeRunsOnTheMainThreadAndWaits)
{
  std::atomic<bool> done{false};
  DWORD ranOn = 0;
  std::thread worker([&] {
    application_->Synchronize([&] { ranOn = GetCurrentThreadId(); });
    done = true;
  });
  // Nothing runs while the main thread does not look at its messages.
  std::this_thread::sleep_for(200ms);
  EXPECT_FALSE(done);
  EXPECT_TRUE(PumpMessagesUntil([&] { return done.load(); }, 60s));
  worker.join();
  EXPECT_EQ(GetCurrentThreadId(), ranOn);
}

TEST_F(ServiceFrameworkTest, SynchronizeHandsExceptionsBackToTheCaller)
{
  std::atomic<bool> done{false};
  std::string caught;
  std::thread worker([&] {
    try {
      service_->Synchronize([] { throw Exception("failed on the main thread"); });
    } catch (const Exception& e) {
      caught = e.Message();
    }
    done = true;
  });
  EXPECT_TRUE(PumpMessagesUntil([&] { return done.load(); }, 60s));
  worker.join();
  EXPECT_EQ("failed on the main thread", caught);
  // And on the main thread itself the work runs at once.
  bool ran = false;
  service_->Synchronize([&] { ran = true; });
  EXPECT_TRUE(ran);
}

TEST_F(ServiceFrameworkTest, ServiceModulesBelongToTheServiceApplicationOthersToTheWindowApplication)
{
  application_->Initialize();
  EXPECT_FALSE(application_->WindowApplication()->ShowMainForm);
  EXPECT_EQ(application_.get(), service_->Owner());
  EXPECT_EQ(1, application_->ServiceCount());
  EXPECT_EQ(service_, application_->FindService("korvalindframeworktest"));
  auto* module = application_->CreateForm<TDataModule>();
  EXPECT_EQ(application_->WindowApplication(), module->Owner());
  EXPECT_EQ(1, application_->ServiceCount());
}

}  // namespace
