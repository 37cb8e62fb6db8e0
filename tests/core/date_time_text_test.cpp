#include <gtest/gtest.h>

#include <string>

#include "core/date_time_text.h"

namespace {

TEST(DateTimeTextTest, DateAndTimeTextOptions)
{
  for (int attempt = 0; attempt < 5; ++attempt) {
    const std::string date = GetDateText(true, true);
    const std::string shortYear = GetDateText(true, false);
    const std::string time = GetTimeText(true);
    const std::string noColons = GetTimeText(false);
    if (date != GetDateText(true, true) || time != GetTimeText(true))
      continue;
    ASSERT_GE(date.size(), 8u);
    EXPECT_EQ(std::string(date).erase(6, 2), shortYear);
    std::string expected = time;
    std::erase(expected, ':');
    EXPECT_EQ(expected, noColons);
    return;
  }
  FAIL() << "the clock never held still";
}

}  // namespace
