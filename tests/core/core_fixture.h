#pragma once

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/korvalind_c.h"
#include "platform/application.h"

// The program folder (ini file and log) in a fresh folder of the test's own.
class ProgramDirTest : public testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  // Writes korvalind.ini in the program folder.
  void WriteIni(const std::string& content);
  std::string ReadIni() const;

  std::string dir_;
};

// A client data module on this thread's message loop, in a fresh program
// folder, with the process-wide values reset.
class CoreTest : public ProgramDirTest {
protected:
  void SetUp() override;
  void TearDown() override;

  void WriteAccountIni(const std::string& extra = "");
  // A new data module in place of the current one: nothing of an earlier
  // update or detection attempt carries over (each attempt counts one
  // failure at most).
  void RecreateCore();

  // The texts of the log lines written so far (date and time cut off).
  std::vector<std::string> LogTexts() const;
  bool Logged(const std::string& text) const;
  // Log texts written after the given count of lines.
  std::vector<std::string> LogTextsSince(std::size_t lines) const;
  void ClearLog();

  std::unique_ptr<TApplication> application_;
  TKorvalindC* core_ = nullptr;
};

// The account the core tests use: name, domain and the stored digest of "secret".
extern const char* const TestAccount;
extern const char* const TestDomain;
extern const char* const TestPasswordDigest;
