#include <gtest/gtest.h>

#include "platform/version_info.h"
#include "tests/support/test_paths.h"

namespace {

struct ProgramVersion {
  const char* file;
  const char* productName;
  const char* fileDescription;
};

TEST(VersionInfoTest, BothProgramsCarryTheirValues)
{
  const ProgramVersion programs[] = {
      {"desktop/korvalind.exe", "Korvalind-Poster", "Korvalind-Poster GUI"},
      {"service/korvalindd.exe", "Korvalind-Poster-Daemon", "Korvalind-Poster Daemon"},
  };
  for (const auto& program : programs) {
    SCOPED_TRACE(program.file);
    const std::string path = BinaryPath(program.file);
    EXPECT_EQ(program.productName, ReadVersionValue(path, "ProductName"));
    EXPECT_EQ("4.3", ReadVersionValue(path, "ProductVersion"));
    EXPECT_EQ("4.3.0.701", ReadVersionValue(path, "FileVersion"));
    EXPECT_EQ(program.fileDescription, ReadVersionValue(path, "FileDescription"));
  }
}

TEST(VersionInfoTest, MissingKeysAndFilesGiveEmptyTexts)
{
  EXPECT_EQ("", ReadVersionValue(BinaryPath("desktop/korvalind.exe"), "NoSuchKey"));
  EXPECT_EQ("", ReadVersionValue(BinaryPath("no-such-file.exe"), "ProductName"));
  // A file without a version resource.
  EXPECT_EQ("", ReadVersionValue(SourcePath("CMakeLists.txt"), "ProductName"));
}

}  // namespace
