#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <thread>
#include <vector>

#include "core/os_version_text.h"
#include "core/program_info.h"
#include "core/random_source.h"
#include "core/settings.h"
#include "tests/support/test_paths.h"

namespace {

std::string Upper(std::string text)
{
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
  return text;
}

TEST(ProgramInfoTest, FolderAndNameOfTheRunningProgram)
{
  EXPECT_EQ(Upper(BinaryPath("tests\\core")), Upper(GetProgramDir()));
  EXPECT_EQ("test_core_base.exe", GetProgramName(true));
  EXPECT_EQ("test_core_base", GetProgramName(false));
}

TEST(ProgramInfoTest, TheTestHookRedirectsOnlyTheFolder)
{
  const std::string real = GetProgramDir();
  SetProgramDirForTesting("C:\\elsewhere");
  EXPECT_EQ("C:\\elsewhere", GetProgramDir());
  EXPECT_EQ("C:\\elsewhere\\korvalind.ini", ConfigFilePath());
  EXPECT_EQ("test_core_base", GetProgramName(false));
  SetProgramDirForTesting("");
  EXPECT_EQ(real, GetProgramDir());
}

TEST(ProgramInfoTest, VersionValueOfAGivenProgram)
{
  // The values themselves: VersionInfoTest. Here: the file named is read,
  // not the running program, which carries the desktop client's values.
  EXPECT_EQ("Korvalind-Poster-Daemon", GetVersionValue("ProductName", BinaryPath("service\\korvalindd.exe")));
  EXPECT_EQ("4.3.0.701", GetVersionValue("FileVersion", BinaryPath("service\\korvalindd.exe")));
  EXPECT_EQ("", GetVersionValue("NoSuchKey", BinaryPath("desktop\\korvalind.exe")));
}

TEST(ProgramInfoTest, VersionValueIsEmptyWithoutAVersionResource)
{
  const std::string dir = FreshTestDir("program_info");
  const std::string text = dir + "\\plain.txt";
  std::ofstream(text) << "no resource here";
  EXPECT_EQ("", GetVersionValue("ProductName", text));
}

TEST(ProgramInfoTest, WithoutAnExistingFileTheRunningProgramIsAsked)
{
  // this test program carries the desktop client's version resource
  EXPECT_EQ("Korvalind-Poster", GetVersionValue("ProductName"));
  EXPECT_EQ("Korvalind-Poster", GetVersionValue("ProductName", BinaryPath("absent.exe")));
  EXPECT_EQ("Korvalind-Poster", GetVersionValue("ProductName", BinaryPath("tests")));  // a folder is no file
  EXPECT_EQ("", GetVersionValue("NoSuchKey"));
}

TEST(ProgramInfoTest, PlatformAndOperatingSystemTexts)
{
  EXPECT_EQ("Windows NT", GetPlatformName());
  const std::string os = GetOSVersionText();
  ASSERT_FALSE(os.empty());
  EXPECT_EQ('(', os.front());
  EXPECT_NE(std::string::npos, os.find(")"));
  EXPECT_EQ(os, GetOSVersionText());  // read once, the same all run
}

TEST(ProgramInfoTest, BuildIdentFormsTheBannerText)
{
  BuildIdent();
  ASSERT_EQ(3u, SessionCode.size());
  for (char c : SessionCode) {
    EXPECT_GE(c, 'a');
    EXPECT_LE(c, 'y');
  }
  EXPECT_EQ("Korvalind-Poster", ProductName);
  EXPECT_EQ("4.3", ProductVersion);
  EXPECT_EQ("4.3.0.701", FileVersion);
  EXPECT_EQ("Korvalind-Poster 4.3 (Build:4.3.0.701;" + SessionCode + ";Windows NT)", IdentText);
}

TEST(ProgramInfoTest, RandomizeTakesTheClock)
{
  SetRandomState(1);
  const std::string fixed = RandomLetters(12);
  SetRandomState(1);
  Randomize();
  EXPECT_NE(fixed, RandomLetters(12));
}

}  // namespace
