#include <fstream>

#include <gtest/gtest.h>

#include "platform/ini_file.h"
#include "tests/support/test_paths.h"

namespace {

class IniFileTest : public testing::Test {
protected:
  void SetUp() override
  {
    dir_ = FreshTestDir("ini_file");
    path_ = dir_ + "\\korvalind.ini";
  }

  void WriteFile(const std::string& content)
  {
    std::ofstream out(path_, std::ios::binary);
    out << content;
  }

  std::string ReadFile()
  {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string dir_;
  std::string path_;
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault)
{
  TIniFile missing(dir_ + "\\absent.ini");
  EXPECT_EQ("dflt", missing.ReadString("ACCOUNT", "Account", "dflt"));
  EXPECT_EQ(20, missing.ReadInteger("LOGGING", "Level", 20));
  EXPECT_TRUE(missing.ReadBool("OPTIONS", "Broadcast", true));

  WriteFile("[ACCOUNT]\r\nAccount=demo\r\n");
  TIniFile ini(path_);
  EXPECT_EQ("E", ini.ReadString("ACCOUNT", "Language", "E"));
  EXPECT_EQ(20, ini.ReadInteger("LOGGING", "Level", 20));
  EXPECT_FALSE(ini.ReadBool("OPTIONS", "Broadcast", false));
}

TEST_F(IniFileTest, ReadsValuesWithKeysInAnyCase)
{
  WriteFile("[account]\r\nACCOUNT=demo\r\ndomain=example.test\r\n[Logging]\r\nlevel=300\r\n");
  TIniFile ini(path_);
  EXPECT_EQ("demo", ini.ReadString("ACCOUNT", "Account", ""));
  EXPECT_EQ("example.test", ini.ReadString("ACCOUNT", "Domain", ""));
  EXPECT_EQ(300, ini.ReadInteger("LOGGING", "Level", 20));
}

TEST_F(IniFileTest, BooleansAreIntegersOtherThanZero)
{
  WriteFile("[OPTIONS]\r\nYes=yes\r\nTwo=2\r\nOne=1\r\nZero=0\r\nNegative=-1\r\nTrue=true\r\n");
  TIniFile ini(path_);
  EXPECT_FALSE(ini.ReadBool("OPTIONS", "Yes", false));
  EXPECT_TRUE(ini.ReadBool("OPTIONS", "Yes", true));  // not a number: the default
  EXPECT_TRUE(ini.ReadBool("OPTIONS", "Two", false));
  EXPECT_TRUE(ini.ReadBool("OPTIONS", "One", false));
  EXPECT_FALSE(ini.ReadBool("OPTIONS", "Zero", true));
  EXPECT_TRUE(ini.ReadBool("OPTIONS", "Negative", false));
  EXPECT_FALSE(ini.ReadBool("OPTIONS", "True", false));
}

TEST_F(IniFileTest, IntegersThatAreNotNumbersGiveTheDefault)
{
  WriteFile("[N]\r\nA=12a\r\nB=\r\nC=99999999999\r\nD=-2147483648\r\nE= 42\r\nF=0x10\r\n");
  TIniFile ini(path_);
  EXPECT_EQ(7, ini.ReadInteger("N", "A", 7));
  EXPECT_EQ(7, ini.ReadInteger("N", "B", 7));
  EXPECT_EQ(7, ini.ReadInteger("N", "C", 7));
  EXPECT_EQ(-2147483647 - 1, ini.ReadInteger("N", "D", 7));
  EXPECT_EQ(42, ini.ReadInteger("N", "E", 7));
  EXPECT_EQ(7, ini.ReadInteger("N", "F", 7));
}

TEST_F(IniFileTest, WritesOneKeyAtATimeAndKeepsTheRest)
{
  WriteFile("[ACCOUNT]\r\nAccount=demo\r\n");
  TIniFile ini(path_);
  ini.WriteBool("ACCOUNT", "CONFIGERROR", true);
  ini.WriteInteger("LOGGING", "Level", 40);
  ini.WriteString("ACCOUNT", "Domain", "example.test");

  TIniFile again(path_);
  EXPECT_EQ("demo", again.ReadString("ACCOUNT", "Account", ""));
  EXPECT_TRUE(again.ReadBool("ACCOUNT", "CONFIGERROR", false));
  EXPECT_EQ(40, again.ReadInteger("LOGGING", "Level", 20));
  EXPECT_NE(std::string::npos, ReadFile().find("CONFIGERROR=1"));

  ini.WriteBool("ACCOUNT", "CONFIGERROR", false);
  EXPECT_NE(std::string::npos, ReadFile().find("CONFIGERROR=0"));
}

TEST_F(IniFileTest, KeepsWindows1252BytesAndLongValues)
{
  TIniFile ini(path_);
  const std::string umlauts = "M\xFCller \xE4\xF6\xDF";
  const std::string longValue(5000, 'x');
  ini.WriteString("ACCOUNT", "Account", umlauts);
  ini.WriteString("ACCOUNT", "Long", longValue);
  EXPECT_EQ(umlauts, ini.ReadString("ACCOUNT", "Account", ""));
  EXPECT_EQ(longValue, ini.ReadString("ACCOUNT", "Long", ""));
}

TEST_F(IniFileTest, AFailedWriteRaises)
{
  TIniFile ini(dir_ + "\\no such folder\\korvalind.ini");
  EXPECT_THROW(ini.WriteBool("ACCOUNT", "DEACTIVATED", true), EIniFileException);
}

TEST(TextToIntTest, AcceptsBlanksAndOneSignOnly)
{
  int value = 0;
  EXPECT_TRUE(TryTextToInt("  -12", value));
  EXPECT_EQ(-12, value);
  EXPECT_TRUE(TryTextToInt("+7", value));
  EXPECT_EQ(7, value);
  EXPECT_TRUE(TryTextToInt("2147483647", value));
  EXPECT_FALSE(TryTextToInt("2147483648", value));
  EXPECT_FALSE(TryTextToInt("12 ", value));
  EXPECT_FALSE(TryTextToInt("--1", value));
  EXPECT_FALSE(TryTextToInt("-", value));
  EXPECT_FALSE(TryTextToInt("", value));
}

}  // namespace
