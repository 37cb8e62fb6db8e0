#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/request_scrambler.h"

namespace {

// The shift a scrambled text was made with, or -1 when it is not one shift.
int ShiftOf(const std::string& plain, const std::string& scrambled)
{
  if (plain.size() != scrambled.size() || plain.empty())
    return -1;
  const int shift = (static_cast<unsigned char>(scrambled[0]) - static_cast<unsigned char>(plain[0]) + 256) % 256;
  for (std::size_t i = 0; i < plain.size(); ++i)
    if ((static_cast<unsigned char>(plain[i]) + shift) % 256 != static_cast<unsigned char>(scrambled[i]))
      return -1;
  return shift;
}

TEST(ScrambleRequestTest, EmptyTextStaysEmpty)
{
  EXPECT_EQ("", ScrambleRequest(""));
}

TEST(ScrambleRequestTest, OneShiftFromOneToTwentyFiveForEveryByteWithWrapAround)
{
  const std::string plain = std::string("IP=1&a=b\r") + '\xFA' + '\xE6';
  std::set<int> shifts;
  for (int i = 0; i < 2000; ++i) {
    const std::string scrambled = ScrambleRequest(plain);
    const int shift = ShiftOf(plain, scrambled);
    ASSERT_GE(shift, 1);
    ASSERT_LE(shift, 25);
    // byte 250 wraps past 255: with shift 10 it becomes 4
    ASSERT_EQ((250 + shift) % 256, static_cast<unsigned char>(scrambled[9]));
    shifts.insert(shift);
  }
  // all but 16, which would turn 250 into a line feed
  EXPECT_EQ(24u, shifts.size());
  EXPECT_EQ(0u, shifts.count(16));
}

TEST(ScrambleRequestTest, NeverTurnsAByteIntoTheLineFeedThatEndsTheRequest)
{
  // "ü" (0xFC) with shift 14 would become 0x0A and cut the request line.
  const std::string plain = "user=M\xFCller&domain=example.test";
  std::set<int> shifts;
  for (int i = 0; i < 3000; ++i) {
    const std::string scrambled = ScrambleRequest(plain);
    ASSERT_EQ(std::string::npos, scrambled.find('\n'));
    shifts.insert(ShiftOf(plain, scrambled));
  }
  EXPECT_EQ(0u, shifts.count(14));
  EXPECT_EQ(24u, shifts.size());  // every other shift still occurs
}

TEST(ScrambleRequestTest, EndsWhenEveryShiftGivesALineFeed)
{
  std::string plain;
  for (int b = 0; b <= 9; ++b)
    plain += static_cast<char>(b);
  for (int b = 0xF1; b <= 0xFF; ++b)
    plain += static_cast<char>(b);
  const int shift = ShiftOf(plain, ScrambleRequest(plain));
  EXPECT_GE(shift, 1);
  EXPECT_LE(shift, 25);
}

}  // namespace
