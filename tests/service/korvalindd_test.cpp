#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>

#include <gtest/gtest.h>

#include "tests/support/service_control.h"
#include "tests/support/test_paths.h"

using namespace std::chrono_literals;

namespace {

const char* const kName = "KorvalindDaemon";
const std::regex kStartLine(
    R"(>>>>>  (Korvalind-Poster-Daemon 4\.3 \(Build:4\.3\.0\.701;[a-y]{3};Windows NT\)) started\.)");

// The service program itself, copied into a folder whose name holds a blank
// and registered from there, with a log level that shows the core's ticks.
class KorvalinddTest : public testing::Test {
protected:
  void SetUp() override
  {
    RemoveService(kName);
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = FreshTestDir(std::string("korvalindd service.") + info->name());
    program_ = dir_ + "\\korvalindd.exe";
    ASSERT_TRUE(CopyTo(BinaryPath("service/korvalindd.exe"), program_));
    std::ofstream(dir_ + "\\korvalind.ini", std::ios::binary) << "[LOGGING]\r\nLevel=40\r\n";
  }
  void TearDown() override { RemoveService(kName); }

  void Install() { ASSERT_EQ(0u, RunProgram(program_, "-Install /SILENT")); }

  std::vector<std::string> Log() const { return ReadLogTexts(dir_ + "\\korvalindd.log"); }
  // Index of the first line at or after from that equals text, or -1.
  int Find(const std::string& text, std::size_t from = 0) const
  {
    const auto log = Log();
    for (std::size_t i = from; i < log.size(); ++i)
      if (log[i] == text)
        return static_cast<int>(i);
    return -1;
  }
  bool WaitForLine(const std::string& text, std::size_t from, std::chrono::milliseconds timeout) const
  {
    return WaitUntil([&] { return Find(text, from) >= 0; }, timeout);
  }
  // The ident text of the start banner, which must stand as three lines.
  std::string StartIdent() const
  {
    const auto log = Log();
    for (std::size_t i = 1; i + 1 < log.size(); ++i) {
      std::smatch match;
      if (std::regex_match(log[i], match, kStartLine) && log[i - 1] == ">>>>>" && log[i + 1] == ">>>>>")
        return match[1];
    }
    return {};
  }
  void StartAndWaitForBanner()
  {
    ASSERT_TRUE(StartService(kName));
    ASSERT_TRUE(WaitForState(kName, SERVICE_RUNNING, 60s));
    ASSERT_TRUE(WaitUntil([&] { return !StartIdent().empty(); }, 60s));
  }

  std::string dir_;
  std::string program_;
};

TEST_F(KorvalinddTest, InstallAndUninstallWithMixedSwitches)
{
  Install();
  const TServiceConfig config = QueryConfig(kName);
  ASSERT_TRUE(config.exists);
  EXPECT_EQ("Korvalind Daemon", config.displayName);
  EXPECT_EQ(DWORD(SERVICE_WIN32_OWN_PROCESS | SERVICE_INTERACTIVE_PROCESS), config.serviceType);
  EXPECT_EQ(DWORD(SERVICE_AUTO_START), config.startType);
  EXPECT_EQ(DWORD(SERVICE_ERROR_NORMAL), config.errorControl);
  EXPECT_EQ("\"" + program_ + "\"", config.binaryPath);
  EXPECT_EQ("LocalSystem", config.startName);
  EXPECT_TRUE(config.loadGroup.empty());
  // Registering again fails, and says so in a box even when silent; the
  // exit code tells a script without anyone closing it, so this is not run.

  EXPECT_EQ(0u, RunProgram(program_, "/uninstall -silent"));
  EXPECT_FALSE(QueryConfig(kName).exists);
  // Registration runs neither the core nor its log.
  EXPECT_TRUE(Log().empty());
}

TEST_F(KorvalinddTest, StartPauseContinueAndStopThroughTheControlManager)
{
  Install();
  StartAndWaitForBanner();
  const std::string ident = StartIdent();

  ControlService(kName, SERVICE_CONTROL_PAUSE);
  ASSERT_TRUE(WaitForState(kName, SERVICE_PAUSED, 60s));
  const std::size_t pausedAt = Log().size();
  // Paused, the core on the main thread goes on: its first update tick comes
  // five seconds after the start.
  EXPECT_TRUE(WaitForLine("Debug    ..... setIP socket", pausedAt, 60s));
  EXPECT_EQ(DWORD(SERVICE_PAUSED), QueryStatus(kName).dwCurrentState);

  ControlService(kName, SERVICE_CONTROL_CONTINUE);
  ASSERT_TRUE(WaitForState(kName, SERVICE_RUNNING, 60s));

  const DWORD pid = QueryStatus(kName).dwProcessId;
  ControlService(kName, SERVICE_CONTROL_STOP);
  ASSERT_TRUE(WaitForState(kName, SERVICE_STOPPED, 60s));
  ASSERT_TRUE(WaitForProcessEnd(pid, 60s));
  const auto log = Log();
  ASSERT_GE(log.size(), 3u);
  const std::vector<std::string> tail(log.end() - 3, log.end());
  EXPECT_EQ((std::vector<std::string>{">>>>>", ">>>>>  " + ident + " terminated.", ">>>>>"}), tail);
  // One start banner and one stop banner, nothing else at level 10.
  EXPECT_EQ(4, std::count(log.begin(), log.end(), ">>>>>"));
}

TEST_F(KorvalinddTest, AnOpenDesktopClientMakesTheUpdateTicksSkipTheirWork)
{
  HWND window = CreateWindowExA(0, "STATIC", "korvalind-poster 4.3", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(nullptr, window);
  Install();
  StartAndWaitForBanner();
  const bool skipped = WaitForLine("Debug    no SetIP cause Windows Client is runnig", 0, 60s);
  DestroyWindow(window);
  EXPECT_TRUE(skipped);
  EXPECT_LT(Find("Debug    ..... ProcList "), Find("Debug    no SetIP cause Windows Client is runnig"));
}

}  // namespace
