#include <gtest/gtest.h>

#include <string>

#include "core/date_time_text.h"

namespace {

const LCID German = MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT);

SYSTEMTIME Moment(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second)
{
  SYSTEMTIME time{};
  time.wYear = year;
  time.wMonth = month;
  time.wDay = day;
  time.wHour = hour;
  time.wMinute = minute;
  time.wSecond = second;
  return time;
}

TEST(DateTimeTextTest, FixedMomentsInEachForm)
{
  const struct {
    SYSTEMTIME Time;
    LCID Locale;
    const char *Date, *ShortYear, *Packed, *PackedShortYear, *Time_, *NoColons;
  } cases[] = {
      // Two-digit days and months, the same whether the format pads them.
      {Moment(2026, 10, 30, 23, 59, 59), German, "30.10.2026", "30.10.26", "20261030", "261030", "23:59:59", "235959"},
      {Moment(2027, 11, 12, 10, 10, 15), German, "12.11.2027", "12.11.27", "20271112", "271112", "10:10:15", "101015"},
  };
  for (const auto& c : cases) {
    const std::string name = c.Date;
    EXPECT_EQ(c.Date, GetDateText(true, true, &c.Time, c.Locale)) << name;
    EXPECT_EQ(c.ShortYear, GetDateText(true, false, &c.Time, c.Locale)) << name;
    EXPECT_EQ(c.Packed, GetDateText(false, true, &c.Time, c.Locale)) << name;
    EXPECT_EQ(c.PackedShortYear, GetDateText(false, false, &c.Time, c.Locale)) << name;
    EXPECT_EQ(c.Time_, GetTimeText(true, &c.Time, c.Locale)) << name;
    EXPECT_EQ(c.NoColons, GetTimeText(false, &c.Time, c.Locale)) << name;
    EXPECT_EQ(std::string(c.Date) + " " + c.Time_, DateTimeText(c.Time, c.Locale)) << name;
  }
}

}  // namespace
