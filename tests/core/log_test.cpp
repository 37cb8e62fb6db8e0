#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

#include "core/date_time_text.h"
#include "core/log.h"
#include "core/program_info.h"
#include "core/settings.h"
#include "platform/udp_client.h"
#include "tests/core/core_fixture.h"
#include "tests/support/udp_receiver.h"

using namespace std::chrono_literals;

namespace {

class LogTest : public ProgramDirTest {
protected:
  void SetUp() override
  {
    ProgramDirTest::SetUp();
    LogLevel = 40;
    BroadcastLog = false;
    for (std::string& slot : LogSlots)
      slot.clear();
    LastMessage.clear();
  }
  void TearDown() override
  {
    SetLogBroadcastClient(nullptr);
    BroadcastLog = false;
    ProgramDirTest::TearDown();
  }

  std::string LogPath() const { return dir_ + "\\" + GetProgramName(false) + ".log"; }

  std::string ReadLog() const
  {
    std::ifstream in(LogPath(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::vector<std::string> SlotTexts() const { return std::vector<std::string>(LogSlots, LogSlots + LogSlotCount); }
};

TEST_F(LogTest, TheFileIsNamedAfterTheProgram)
{
  LogMessage(">>>>>    started", 10);
  EXPECT_EQ("test_core_base.log", GetProgramName(false) + ".log");
  EXPECT_NE(std::string::npos, ReadLog().find(">>>>>    started\r\n"));
}

TEST_F(LogTest, OneLineIsDateBlankTimeTwoBlanksTextCrLf)
{
  // The clock may tick while the line is written: the stamp must be one of
  // the two readings around it.
  for (int attempt = 0; attempt < 5; ++attempt) {
    std::remove(LogPath().c_str());
    const std::string before = GetDateText(true, true) + " " + GetTimeText(true);
    LogMessage("Debug    line", 40);
    const std::string after = GetDateText(true, true) + " " + GetTimeText(true);
    const std::string line = ReadLog();
    if (before != after)
      continue;
    EXPECT_EQ(before + "  Debug    line\r\n", line);
    return;
  }
  FAIL() << "the clock never held still";
}

TEST_F(LogTest, StampUsesThePlatformFormatsOfTheLocale)
{
  SYSTEMTIME time{};
  time.wYear = 2025;
  time.wMonth = 3;
  time.wDay = 3;
  time.wHour = 14;
  time.wMinute = 5;
  time.wSecond = 9;
  const std::string line =
      FormatLogLine(">>>>>    text", time, MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT));
  // Windows writes the German short date with two-digit day and month, the
  // locale data of some Wine versions without the leading zeros.
  EXPECT_THAT(line, testing::AnyOf("03.03.2025 14:05:09  >>>>>    text\r\n", "3.3.2025 14:05:09  >>>>>    text\r\n"));
}

TEST_F(LogTest, GermanTextsAreWrittenAsWindows1252Bytes)
{
  LogMessage(">>>>>    Überprüfen Sie bitte Ihre Login-Daten!", 10);
  EXPECT_NE(std::string::npos, ReadLog().find("  >>>>>    \xDC"
                                              "berpr\xFC"
                                              "fen Sie bitte Ihre Login-Daten!\r\n"));
}

TEST_F(LogTest, LinesAreAppendedNeverTruncated)
{
  {
    std::ofstream out(LogPath(), std::ios::binary);
    out << "older line\r\n";
  }
  LogMessage("first", 10);
  LogMessage("second", 10);
  const std::string log = ReadLog();
  EXPECT_EQ(0u, log.find("older line\r\n"));
  const auto first = log.find("  first\r\n");
  const auto second = log.find("  second\r\n");
  ASSERT_NE(std::string::npos, first);
  ASSERT_NE(std::string::npos, second);
  EXPECT_LT(first, second);
}

TEST_F(LogTest, LevelAboveTheSettingReachesNeitherFileNorSlotNorLastMessage)
{
  LogLevel = 0;  // before the first LoadConfig: nothing at all
  LogMessage(">>>>>    before the first LoadConfig", 10);
  EXPECT_EQ("", ReadLog());
  EXPECT_EQ("", LastMessage);

  LogLevel = 20;
  LogMessage("Alert!   shown", 20);
  LogMessage("Debug    hidden", 30);
  EXPECT_EQ(std::string::npos, ReadLog().find("hidden"));
  EXPECT_NE(std::string::npos, ReadLog().find("shown"));
  EXPECT_EQ("Alert!   shown", LastMessage);
  EXPECT_EQ("Alert!   shown", LogSlots[0]);
  EXPECT_EQ("", LogSlots[1]);
}

TEST_F(LogTest, SlotsFillInOrderAndTheFirstFreedIsUsedFirst)
{
  LogMessage("one", 10);
  LogMessage("two", 10);
  LogMessage("three", 10);
  EXPECT_EQ((std::vector<std::string>{"one", "two", "three", "", "", "", "", "", ""}), SlotTexts());
  LogSlots[0].clear();
  LogMessage("four", 10);
  EXPECT_EQ((std::vector<std::string>{"four", "two", "three", "", "", "", "", "", ""}), SlotTexts());
}

TEST_F(LogTest, WithAllSlotsTakenALineReachesOnlyFileAndLastMessage)
{
  for (int i = 0; i < LogSlotCount; ++i)
    LogMessage("line " + std::to_string(i + 1), 40);
  const std::vector<std::string> full = SlotTexts();
  EXPECT_EQ("line 9", full[8]);
  LogMessage("tenth", 40);
  EXPECT_EQ(full, SlotTexts());
  EXPECT_EQ("tenth", LastMessage);
  EXPECT_NE(std::string::npos, ReadLog().find("  tenth\r\n"));
}

TEST_F(LogTest, WriteLogFileWithoutTimeToANamedFile)
{
  const std::string path = dir_ + "\\other.txt";
  WriteLogFile("plain", false, path);
  WriteLogFile("more", false, path);
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ("plain\r\nmore\r\n", std::string(std::istreambuf_iterator<char>(in), {}));
}

TEST_F(LogTest, WriteLogFileRaisesWhenTheFileCannotBeWritten)
{
  EXPECT_THROW(WriteLogFile("x", true, dir_ + "\\missing folder\\k.log"), EInOutError);
}

// Every marker once, so datagrams of earlier tests cannot be mistaken.
std::string Marker(const char* what)
{
  static int count = 0;
  return std::string(what) + " #" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++count);
}

class LogBroadcastTest : public LogTest {
protected:
  void SetUp() override
  {
    LogTest::SetUp();
    receiver_ = std::make_unique<TUdpReceiver>("0.0.0.0", LogBroadcastPort);
    client_ = std::make_unique<TUdpClient>(nullptr);
    client_->SetPort(900);
    client_->SetActive(true);
    client_->SetBroadcastEnabled(true);
    SetLogBroadcastClient(client_.get());
    BroadcastLog = true;
  }

  std::unique_ptr<TUdpReceiver> receiver_;
  std::unique_ptr<TUdpClient> client_;
};

TEST_F(LogBroadcastTest, TheTextAloneGoesToPort899AlsoAboveTheLevel)
{
  LogLevel = 20;
  const std::string text = "Debug    " + Marker("above the level");
  LogMessage(text, 30);
  EXPECT_EQ(text, receiver_->ReceiveWith(text, 3s).value_or("(nothing)"));
  EXPECT_EQ(std::string::npos, ReadLog().find(text));
}

TEST_F(LogBroadcastTest, Level99KeepsTheFileButStopsBroadcasting)
{
  LogLevel = 99;
  const std::string text = ">>>>>    " + Marker("level 99");
  LogMessage(text, 10);
  EXPECT_FALSE(receiver_->ReceiveWith(text, 500ms));
  EXPECT_NE(std::string::npos, ReadLog().find("  " + text + "\r\n"));
}

TEST_F(LogBroadcastTest, NothingIsSentWithoutTheSettingOrWithoutAClient)
{
  BroadcastLog = false;
  const std::string off = Marker("setting off");
  LogMessage(off, 10);
  SetLogBroadcastClient(nullptr);
  BroadcastLog = true;
  const std::string none = Marker("no client");
  LogMessage(none, 10);
  const auto deadline = std::chrono::steady_clock::now() + 500ms;
  while (std::chrono::steady_clock::now() < deadline)
    if (auto datagram = receiver_->Receive(50ms)) {
      EXPECT_EQ(std::string::npos, datagram->find(off)) << *datagram;
      EXPECT_EQ(std::string::npos, datagram->find(none)) << *datagram;
    }
  EXPECT_NE(std::string::npos, ReadLog().find(none));
}

// A failed log-file write must not escape LogMessage: a handler that logs in
// its own error path would lose its report and skip its counters.
TEST_F(LogBroadcastTest, AFailedFileWriteStillFillsSlotLastMessageAndBroadcast)
{
  SetProgramDirForTesting(dir_ + "\\no such folder");
  const std::string text = "Alert!   " + Marker("file lost");
  EXPECT_NO_THROW(LogMessage(text, 20));
  EXPECT_EQ(text, LastMessage);
  EXPECT_EQ(text, LogSlots[0]);
  EXPECT_EQ(text, receiver_->ReceiveWith(text, 3s).value_or("(nothing)"));
}

// Likewise a broadcast that fails costs only the datagram.
TEST_F(LogBroadcastTest, AFailedBroadcastDoesNotEscape)
{
  client_->SetBroadcastEnabled(false);  // sending to 255.255.255.255 is refused now
  const std::string text = "Alert!   " + Marker("no permission");
  EXPECT_THROW(client_->Broadcast("probe", LogBroadcastPort), EUdpException);
  EXPECT_NO_THROW(LogMessage(text, 20));
  EXPECT_EQ(text, LastMessage);
  EXPECT_NE(std::string::npos, ReadLog().find("  " + text + "\r\n"));
}

}  // namespace
