#include <gtest/gtest.h>

#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "core/program_info.h"
#include "core/service_endpoints.h"
#include "core/settings.h"
#include "tests/core/core_fixture.h"

namespace {

using LoadConfigTest = ProgramDirTest;

TEST_F(LoadConfigTest, TheFileLiesInTheProgramFolder)
{
  EXPECT_EQ(dir_ + "\\korvalind.ini", ConfigFilePath());
}

TEST_F(LoadConfigTest, AMissingFileGivesTheDefaults)
{
  AccountName = "old";
  PasswordHash = "old";
  LanguageCode = "D";
  LogLevel = 40;
  BroadcastLog = OfflineMode = ConfigError = true;
  LoadConfig();
  EXPECT_EQ("", AccountName);
  EXPECT_EQ(korvalind::endpoints::ServiceDomain, DomainName);
  EXPECT_EQ("", PasswordHash);
  EXPECT_EQ("E", LanguageCode);
  EXPECT_EQ(20, LogLevel);
  EXPECT_FALSE(BroadcastLog);
  EXPECT_FALSE(OfflineMode);
  EXPECT_FALSE(ConfigError);
}

TEST_F(LoadConfigTest, ReadsEveryKeyWhateverItsCase)
{
  WriteIni(
      "[account]\r\naccount=M\xFCller\r\nDOMAIN=example.test\r\nPasswd=5ebe2294ecd0e0f08eab7690d2a6ee69\r\n"
      "Language=D\r\noffline=1\r\nConfigError=1\r\n[LOGGING]\r\nLevel=40\r\n[Options]\r\nBROADCAST=1\r\n");
  LoadConfig();
  EXPECT_EQ("M\xFCller", AccountName);
  EXPECT_EQ("example.test", DomainName);
  EXPECT_EQ("5ebe2294ecd0e0f08eab7690d2a6ee69", PasswordHash);
  EXPECT_EQ("D", LanguageCode);
  EXPECT_EQ(40, LogLevel);
  EXPECT_TRUE(BroadcastLog);
  EXPECT_TRUE(OfflineMode);
  EXPECT_TRUE(ConfigError);
  EXPECT_EQ("E", RequestLanguage);  // the request's language is not the window's
}

TEST_F(LoadConfigTest, LevelKeepsTheLow8Bits)
{
  const struct {
    const char* value;
    int expected;
  } cases[] = {{"300", 44}, {"10", 10}, {"256", 0}, {"-1", 255}, {"abc", 20}, {"", 20}, {"99", 99}};
  for (const auto& c : cases) {
    WriteIni(std::string("[LOGGING]\r\nLevel=") + c.value + "\r\n");
    LoadConfig();
    EXPECT_EQ(c.expected, LogLevel) << "Level=" << c.value;
  }
}

TEST_F(LoadConfigTest, BooleansAreIntegersOtherThanZero)
{
  const struct {
    const char* value;
    bool expected;
  } cases[] = {{"yes", false}, {"2", true}, {"1", true}, {"0", false}, {"-1", true}, {"true", false}};
  for (const auto& c : cases) {
    WriteIni(std::string("[OPTIONS]\r\nBroadcast=") + c.value + "\r\n[ACCOUNT]\r\nOffline=" + c.value + "\r\n");
    LoadConfig();
    EXPECT_EQ(c.expected, BroadcastLog) << "Broadcast=" << c.value;
    EXPECT_EQ(c.expected, OfflineMode) << "Offline=" << c.value;
  }
}

TEST_F(LoadConfigTest, DeactivatedAndExitAreNeverRead)
{
  Deactivated = false;
  WriteIni("[ACCOUNT]\r\nAccount=demo\r\nDEACTIVATED=1\r\nEXIT=1\r\n");
  LoadConfig();
  EXPECT_EQ("demo", AccountName);
  EXPECT_FALSE(Deactivated);
}

TEST_F(LoadConfigTest, EveryCallReadsTheFileAnew)
{
  WriteIni("[ACCOUNT]\r\nAccount=first\r\nCONFIGERROR=1\r\n");
  LoadConfig();
  EXPECT_EQ("first", AccountName);
  EXPECT_TRUE(ConfigError);

  WriteIni("[ACCOUNT]\r\nAccount=second\r\n");
  LoadConfig();
  EXPECT_EQ("second", AccountName);
  EXPECT_FALSE(ConfigError);  // follows the file, also back to False
}

// The configured list, comma-separated, as one text per address.
std::vector<std::string> ConfiguredList(const std::string& list)
{
  std::vector<std::string> items;
  std::stringstream stream(list);
  for (std::string item; std::getline(stream, item, ',');)
    items.push_back(item);
  return items;
}

TEST(ProcessWideValuesTest, FallbackAddressesAreTheConfiguredOnesInOrder)
{
  const std::vector<std::string> update = ConfiguredList(KORVALIND_CONFIGURED_UPDATE_FALLBACK);
  const std::vector<std::string> detect = ConfiguredList(KORVALIND_CONFIGURED_DETECT_FALLBACK);
  ASSERT_EQ(6u, update.size());
  ASSERT_EQ(4u, detect.size());
  EXPECT_EQ(update, std::vector<std::string>(std::begin(UpdateFallbackIPs), std::end(UpdateFallbackIPs)));
  EXPECT_EQ(detect, std::vector<std::string>(std::begin(DetectFallbackIPs), std::end(DetectFallbackIPs)));
  EXPECT_EQ("MERVAT430", ClientAuthCode);
}

}  // namespace
