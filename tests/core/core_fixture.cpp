#include "tests/core/core_fixture.h"

#include <fstream>
#include <sstream>

#include "core/endpoint_hosts.h"
#include "core/md5.h"
#include "core/program_info.h"
#include "core/service_endpoints.h"
#include "core/settings.h"
#include "tests/support/test_paths.h"

const char* const TestAccount = "demo";
const char* const TestDomain = "korvalind.test";
const char* const TestPasswordDigest = "5ebe2294ecd0e0f08eab7690d2a6ee69";  // MD5 of "secret"

namespace {

// Every process-wide value back to what a new process starts with.
void ResetProcessState()
{
  AccountName.clear();
  DomainName.clear();
  PasswordHash.clear();
  LanguageCode = "E";
  RequestLanguage = "E";
  LogLevel = 0;
  BroadcastLog = OfflineMode = ConfigError = Deactivated = Sleeping = false;
  DaemonMode = DesktopClientRunning = false;
  ModeName.clear();
  IdentText.clear();
  ClientAuthCode = "MERVAT430";
  SessionCode = "UNDEFINED";
  UpdateServerIP = DetectServerIP = HeartBeatServerIP = "0.0.0.0";
  for (auto& slot : LogSlots)
    slot.clear();
  LastMessage.clear();
  UpdateErrorCount = DetectErrorCount = ExceptionCount = DNSDiffCount = DNSProblemCount = 0;
  MessageText.clear();
  SetIPInterval = MyIPInterval = 0;
  HeartBeatToken.clear();
  TariffCode.clear();
  CurrentIP.clear();
  PreviousIP.clear();
  OlderIP.clear();
  DetectedIP.clear();
  LastDetectTime.clear();
  LastUpdateTime.clear();
  EndpointHosts() = TEndpointHosts{
      korvalind::endpoints::HeartBeatHost,
      {korvalind::endpoints::UpdateHost1, korvalind::endpoints::UpdateHost2, korvalind::endpoints::UpdateHost3},
      korvalind::endpoints::DetectHost};
}

std::string LogFilePath()
{
  return GetProgramDir() + "\\" + GetProgramName(false) + ".log";
}

}  // namespace

void ProgramDirTest::SetUp()
{
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  dir_ = FreshTestDir(std::string(info->test_suite_name()) + "." + info->name());
  SetProgramDirForTesting(dir_);
}

void ProgramDirTest::TearDown()
{
  SetProgramDirForTesting("");
}

void ProgramDirTest::WriteIni(const std::string& content)
{
  std::ofstream out(dir_ + "\\korvalind.ini", std::ios::binary | std::ios::trunc);
  out << content;
}

std::string ProgramDirTest::ReadIni() const
{
  std::ifstream in(dir_ + "\\korvalind.ini", std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

void CoreTest::SetUp()
{
  ProgramDirTest::SetUp();
  ResetProcessState();
  application_ = std::make_unique<TApplication>();
  core_ = application_->CreateForm<TKorvalindC>();
}

void CoreTest::RecreateCore()
{
  application_.reset();
  application_ = std::make_unique<TApplication>();
  core_ = application_->CreateForm<TKorvalindC>();
}

void CoreTest::TearDown()
{
  application_.reset();
  core_ = nullptr;
  ProgramDirTest::TearDown();
}

void CoreTest::WriteAccountIni(const std::string& extra)
{
  WriteIni(std::string("[ACCOUNT]\r\nAccount=") + TestAccount + "\r\nDomain=" + TestDomain +
           "\r\nPasswd=" + TestPasswordDigest + "\r\n" + extra + "[LOGGING]\r\nLevel=40\r\n");
  LoadConfig();
}

std::vector<std::string> CoreTest::LogTexts() const
{
  return LogTextsSince(0);
}

std::vector<std::string> CoreTest::LogTextsSince(std::size_t skip) const
{
  std::ifstream in(LogFilePath(), std::ios::binary);
  std::vector<std::string> texts;
  std::string line;
  std::size_t index = 0;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (index++ < skip)
      continue;
    // date, one blank, time, two blanks, text
    const auto separator = line.find("  ");
    texts.push_back(separator == std::string::npos ? line : line.substr(separator + 2));
  }
  return texts;
}

bool CoreTest::Logged(const std::string& text) const
{
  for (const auto& logged : LogTexts())
    if (logged == text)
      return true;
  return false;
}

void CoreTest::ClearLog()
{
  std::ofstream(LogFilePath(), std::ios::binary | std::ios::trunc);
}
