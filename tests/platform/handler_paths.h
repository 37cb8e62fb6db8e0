#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

// One way a user or the system sets an event handler off, and what the
// application must be told when that handler throws.
struct THandlerPath {
  const char* Path;
  std::function<void()> Run;
  const char* Reported;
};

// Each path runs without anything escaping it and reports its handler's
// failure once; reported is what the application's OnException collects.
inline void ExpectEachPathReportsWhatItsHandlerThrows(const std::vector<THandlerPath>& paths,
                                                      std::vector<std::string>& reported)
{
  for (const THandlerPath& path : paths) {
    reported.clear();
    EXPECT_NO_THROW(path.Run()) << path.Path;
    EXPECT_EQ(std::vector<std::string>{path.Reported}, reported) << path.Path;
  }
}
