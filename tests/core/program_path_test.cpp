#include <gtest/gtest.h>

#include "core/program_path.h"

namespace {

TEST(ProgramPathTest, FolderAndName)
{
  const struct {
    const char* path;
    const char* dir;
    const char* name;
    const char* bareName;
  } cases[] = {
      {"C:\\Tools\\app.exe", "C:\\Tools", "app.exe", "app"},
      {"D:\\app.exe", "D:", "app.exe", "app"},
      {"Z:\\work\\build\\bin\\korvalindd.exe", "Z:\\work\\build\\bin", "korvalindd.exe", "korvalindd"},
      {"C:\\Program Files\\K\xF6rvalind\\korvalind.exe", "C:\\Program Files\\K\xF6rvalind", "korvalind.exe",
       "korvalind"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.dir, ProgramDirOfPath(c.path)) << c.path;
    EXPECT_EQ(c.name, ProgramNameOfPath(c.path, true)) << c.path;
    EXPECT_EQ(c.bareName, ProgramNameOfPath(c.path, false)) << c.path;
  }
}

}  // namespace
