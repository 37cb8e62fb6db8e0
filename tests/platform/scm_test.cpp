#include <algorithm>
#include <chrono>
#include <filesystem>

#include <gtest/gtest.h>

#include "platform/service/os_error.h"
#include "platform/service/service_application.h"
#include "tests/support/service_control.h"
#include "tests/support/test_paths.h"

using namespace std::chrono_literals;

namespace {

const char* const kInProcessName = "KorvalindInstallTest";
const char* const kDummyName = "KorvalindTestService";

void WINAPI IgnoreControl(DWORD) {}

class TInstallTestService : public TService {
public:
  explicit TInstallTestService(TComponent* owner) : TService(owner)
  {
    SetName(kInProcessName);
    DisplayName = "Korvalind Install Test";
    Interactive = true;
    // Also the account a caller may have set: interactive clears it.
    ServiceStartName = ".\\somebody";
    Password = "secret";
  }
  TServiceController ControllerOverride() override { return &IgnoreControl; }
};

std::string OwnPath()
{
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// Registration from this test program, with the message boxes caught.
class InstallTest : public testing::Test {
protected:
  void SetUp() override
  {
    RemoveService(kInProcessName);
    application_ = std::make_unique<TServiceApplication>();
    application_->OnMessageBox = [this](const std::string& text, const std::string&, UINT type) {
      boxes_.push_back({text, type});
      return IDOK;
    };
    service_ = application_->CreateForm<TInstallTestService>();
  }
  void TearDown() override { RemoveService(kInProcessName); }

  int RunWith(std::vector<std::string> params)
  {
    boxes_.clear();
    application_->Params = std::move(params);
    application_->Run();
    return application_->ExitCode();
  }

  struct Box {
    std::string text;
    UINT type;
  };
  std::unique_ptr<TServiceApplication> application_;
  TInstallTestService* service_ = nullptr;
  std::vector<Box> boxes_;
};

TEST_F(InstallTest, SilentInstallRegistersTheIdentityWithoutABox)
{
  ASSERT_EQ(0, RunWith({"-Install", "/SILENT"}));
  EXPECT_TRUE(boxes_.empty());
  const TServiceConfig config = QueryConfig(kInProcessName);
  ASSERT_TRUE(config.exists);
  EXPECT_EQ(DWORD(SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS), config.serviceType);
  EXPECT_EQ(DWORD(SERVICE_AUTO_START), config.startType);
  EXPECT_EQ(DWORD(SERVICE_ERROR_NORMAL), config.errorControl);
  EXPECT_EQ("Korvalind Install Test", config.displayName);
  EXPECT_EQ(OwnPath(), config.binaryPath);
  EXPECT_EQ("LocalSystem", config.startName);
}

TEST_F(InstallTest, BoxesTellSuccessUnlessSilent)
{
  ASSERT_EQ(0, RunWith({"/install"}));
  ASSERT_EQ(1u, boxes_.size());
  EXPECT_EQ("Service erfolgreich installiert", boxes_[0].text);
  EXPECT_TRUE(QueryConfig(kInProcessName).exists);

  ASSERT_EQ(0, RunWith({"/UnInstall"}));
  ASSERT_EQ(1u, boxes_.size());
  EXPECT_EQ("Service erfolgreich deinstalliert", boxes_[0].text);
  EXPECT_FALSE(QueryConfig(kInProcessName).exists);
}

TEST_F(InstallTest, FailuresShowTheDisplayNameAndTheSystemTextEvenWhenSilent)
{
  ASSERT_EQ(0, RunWith({"/install", "/silent"}));
  // A second registration of the same name.
  EXPECT_EQ(1, RunWith({"/install", "/silent"}));
  ASSERT_EQ(1u, boxes_.size());
  EXPECT_EQ("Korvalind Install Test: " + SysErrorMessage(ERROR_SERVICE_EXISTS), boxes_[0].text);
  EXPECT_TRUE(boxes_[0].type & MB_ICONERROR);
  // The first registration is still in place.
  EXPECT_TRUE(QueryConfig(kInProcessName).exists);

  ASSERT_EQ(0, RunWith({"/uninstall", "/silent"}));
  EXPECT_EQ(1, RunWith({"/uninstall", "/silent"}));
  ASSERT_EQ(1u, boxes_.size());
  EXPECT_EQ("Korvalind Install Test: " + SysErrorMessage(ERROR_SERVICE_DOES_NOT_EXIST), boxes_[0].text);
}

// The dummy service program under Wine's service control manager. It lies in
// a folder whose name holds a blank, as "Program Files" does.
class DummyServiceTest : public testing::Test {
protected:
  void SetUp() override
  {
    RemoveService(kDummyName);
    dir_ = FreshTestDir("dummy service");
    program_ = dir_ + "\\test_dummy_service.exe";
    ASSERT_TRUE(CopyTo(BinaryPath("tests/platform/test_dummy_service.exe"), program_));
    ASSERT_EQ(0u, RunProgram(program_, "/INSTALL -Silent"));
    std::filesystem::remove(dir_ + "\\dummy.log");
  }
  void TearDown() override { RemoveService(kDummyName); }

  std::vector<std::string> Log() const { return ReadLines(dir_ + "\\dummy.log"); }
  bool Logged(const std::string& line) const
  {
    const auto log = Log();
    return std::find(log.begin(), log.end(), line) != log.end();
  }
  bool WaitForLine(const std::string& line) const
  {
    return WaitUntil([&] { return Logged(line); }, 60s);
  }
  // The program's last line, written after the dispatcher returned.
  bool WaitForExit() const
  {
    return WaitUntil(
        [&] {
          const auto log = Log();
          return !log.empty() && log.back().rfind("exit code=0 ", 0) == 0;
        },
        60s);
  }
  // The states seen while waiting, without repeats of the same state and
  // without the state before the request, which a loaded machine may still
  // show when the first look comes before the service thread has acted.
  static std::vector<DWORD> States(const std::vector<SERVICE_STATUS_PROCESS>& seen, DWORD before = 0)
  {
    std::vector<DWORD> states;
    for (const auto& status : seen)
      if ((states.empty() && status.dwCurrentState != before) ||
          (!states.empty() && states.back() != status.dwCurrentState))
        states.push_back(status.dwCurrentState);
    return states;
  }
  std::string dir_;
  std::string program_;
};

TEST_F(DummyServiceTest, TheProgramRegistersItsQuotedPath)
{
  const TServiceConfig config = QueryConfig(kDummyName);
  ASSERT_TRUE(config.exists);
  EXPECT_EQ("\"" + program_ + "\"", config.binaryPath);
  EXPECT_EQ(DWORD(SERVICE_DEMAND_START), config.startType);
}

TEST_F(DummyServiceTest, StatusSequenceThroughStartPauseContinueAndStop)
{
  const DWORD all = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE | SERVICE_ACCEPT_SHUTDOWN;
  ASSERT_TRUE(StartService(kDummyName, {"slow"}));
  std::vector<SERVICE_STATUS_PROCESS> seen;
  ASSERT_TRUE(WaitForState(kDummyName, SERVICE_RUNNING, 60s, &seen));
  EXPECT_EQ((std::vector<DWORD>{SERVICE_START_PENDING, SERVICE_RUNNING}), States(seen));
  for (const auto& status : seen) {
    if (status.dwCurrentState == SERVICE_START_PENDING) {
      EXPECT_EQ(0u, status.dwControlsAccepted);
      EXPECT_EQ(5000u, status.dwWaitHint);
      EXPECT_GE(status.dwCheckPoint, 1u);
    } else {
      EXPECT_EQ(all, status.dwControlsAccepted);
      EXPECT_EQ(0u, status.dwWaitHint);
      EXPECT_EQ(0u, status.dwCheckPoint);
    }
  }
  // The start handler ran on the service thread and handed its work to the
  // main thread.
  EXPECT_TRUE(Logged("start start-pending handler-on-main=0 synchronized-on-main=1 params=1"));

  seen.clear();
  const SERVICE_STATUS answer = ControlService(kDummyName, SERVICE_CONTROL_PAUSE);
  EXPECT_NE(0u, answer.dwCurrentState);
  ASSERT_TRUE(WaitForState(kDummyName, SERVICE_PAUSED, 60s, &seen));
  EXPECT_EQ((std::vector<DWORD>{SERVICE_PAUSE_PENDING, SERVICE_PAUSED}), States(seen, SERVICE_RUNNING));
  EXPECT_TRUE(Logged("pause pause-pending"));

  seen.clear();
  ControlService(kDummyName, SERVICE_CONTROL_CONTINUE);
  ASSERT_TRUE(WaitForState(kDummyName, SERVICE_RUNNING, 60s, &seen));
  EXPECT_EQ((std::vector<DWORD>{SERVICE_CONTINUE_PENDING, SERVICE_RUNNING}), States(seen, SERVICE_PAUSED));
  EXPECT_TRUE(Logged("continue continue-pending"));

  EXPECT_EQ(DWORD(SERVICE_RUNNING), ControlService(kDummyName, SERVICE_CONTROL_INTERROGATE).dwCurrentState);

  const DWORD pid = QueryStatus(kDummyName).dwProcessId;
  seen.clear();
  ControlService(kDummyName, SERVICE_CONTROL_STOP);
  ASSERT_TRUE(WaitForState(kDummyName, SERVICE_STOPPED, 60s, &seen));
  EXPECT_EQ((std::vector<DWORD>{SERVICE_STOP_PENDING, SERVICE_STOPPED}), States(seen, SERVICE_RUNNING));
  EXPECT_EQ(0u, seen.back().dwWin32ExitCode);
  ASSERT_TRUE(WaitForProcessEnd(pid, 60s));
  EXPECT_TRUE(Logged("stop stop-pending synchronized-on-main=1"));
  EXPECT_TRUE(Logged("exit code=0 main-ticks=yes"));
}

// A quit message that ends the main thread's loop early must not leave the
// stop handler waiting for a main thread that no longer serves it.
TEST_F(DummyServiceTest, AStopAfterAStrayQuitMessageStillReachesTheMainThread)
{
  ASSERT_TRUE(StartService(kDummyName, {"quit-main"}));
  ASSERT_TRUE(WaitForState(kDummyName, SERVICE_RUNNING, 60s));
  const DWORD pid = QueryStatus(kDummyName).dwProcessId;
  ControlService(kDummyName, SERVICE_CONTROL_STOP);
  EXPECT_TRUE(WaitForState(kDummyName, SERVICE_STOPPED, 60s));
  EXPECT_TRUE(WaitForProcessEnd(pid, 60s));
  EXPECT_TRUE(Logged("stop stop-pending synchronized-on-main=1"));
  EXPECT_TRUE(WaitForExit());
}

TEST_F(DummyServiceTest, AStartHandlerThatThrowsIsLoggedAndTheServiceStops)
{
  ASSERT_TRUE(StartService(kDummyName, {"fail-start"}));
  ASSERT_TRUE(WaitForState(kDummyName, SERVICE_STOPPED, 60s));
  EXPECT_EQ(DWORD(ERROR_EXCEPTION_IN_SERVICE), QueryStatus(kDummyName).dwWin32ExitCode);
  EXPECT_TRUE(WaitForLine("event KorvalindTestService type=1: start refused for the test"));
  EXPECT_TRUE(WaitForExit());
}

}  // namespace
