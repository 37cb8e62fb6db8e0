#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>

#include "core/korvalind_functions.h"
#include "core/random_source.h"

namespace {

TEST(IntToTextTest, DecimalWithSignAndNoPadding)
{
  EXPECT_EQ("0", IntToText(0));
  EXPECT_EQ("1800", IntToText(1800));
  EXPECT_EQ("-1", IntToText(-1));
  EXPECT_EQ("2147483647", IntToText(INT32_MAX));
  EXPECT_EQ("-2147483648", IntToText(INT32_MIN));
}

TEST(TextToIntOrOneTest, EmptyGivesOneAndNumbersConvert)
{
  EXPECT_EQ(1, TextToIntOrOne(""));
  EXPECT_EQ(0, TextToIntOrOne("0"));
  EXPECT_EQ(1800, TextToIntOrOne("1800"));
  EXPECT_EQ(-5, TextToIntOrOne("  -5"));
  EXPECT_EQ(7, TextToIntOrOne("+7"));
  EXPECT_EQ(INT32_MIN, TextToIntOrOne("-2147483648"));
}

TEST(TextToIntOrOneTest, OtherTextThrowsTheConversionError)
{
  try {
    TextToIntOrOne("12a");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ("'12a' ist kein g\xFCltiger Integerwert", e.Message());
  }
  for (const char* text : {"12 ", " ", "-", "0x10", "2147483648", "1e3", "12\r\n"})
    EXPECT_THROW(TextToIntOrOne(text), EConvertError) << "'" << text << "'";
}

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

TEST(RandomLettersTest, LettersFromAToYOnly)
{
  EXPECT_EQ("", RandomLetters(0));
  EXPECT_EQ(255u, RandomLetters(255).size());
  std::set<char> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::string letters = RandomLetters(6);
    ASSERT_EQ(6u, letters.size());
    for (char c : letters) {
      ASSERT_GE(c, 'a');
      ASSERT_LE(c, 'y');
      seen.insert(c);
    }
  }
  EXPECT_EQ(25u, seen.size());
}

TEST(RandomSourceTest, SameStateGivesSameDrawsAndStaysInRange)
{
  SetRandomState(42);
  const std::string first = RandomLetters(20);
  SetRandomState(42);
  EXPECT_EQ(first, RandomLetters(20));
  EXPECT_EQ(0, RandomBelow(1));
  int counts[4] = {};
  for (int i = 0; i < 40000; ++i) {
    const int draw = RandomBelow(4);
    ASSERT_GE(draw, 0);
    ASSERT_LT(draw, 4);
    ++counts[draw];
  }
  for (int count : counts)
    EXPECT_NEAR(10000, count, 600);
}

TEST(ReplaceAllTest, Cases)
{
  const struct {
    const char* text;
    const char* searched;
    const char* replacement;
    const char* expected;
  } cases[] = {
      {"1.0.2.7", ".", "", "1027"},
      {"4.3.0.701", ".", "", "430701"},
      {".", ".", "", "."},     // not longer than the searched text
      {"ab", "ab", "", "ab"},  // same length
      {"abc", "x", "y", "abc"},
      {"abc", "", "y", "abc"},   // an empty searched text is never found
      {"a.b", ".", ".", "a.b"},  // searched equals replacement
      {"aab", "ab", "b", "b"},   // occurrences made by a replacement are replaced too
      {"xaaaay", "aa", "a", "xay"},
      {"aab", "ab", "ba", "baa"},  // at equal length too
      {"abcabcab", "cab", "c", "abcc"},
      // the replacement holds the searched text: once from left to right
      {"a.b.c", ".", "..", "a..b..c"},
      {"xx", "x", "xx", "xxxx"},
      {"abab", "ab", "abab", "abababab"},
      {"1.0", ".", "[.]", "1[.]0"},
      // a longer replacement that rebuilds the searched text with its
      // neighbours: rescanning would grow "aab" for ever and double the a's
      // of "bbb...a" per b, so these go once from left to right too
      {"aab", "ab", "bbaa", "abbaa"},
      {"bba", "ba", "aab", "baab"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, ReplaceAll(c.text, c.searched, c.replacement))
        << "'" << c.text << "' '" << c.searched << "' -> '" << c.replacement << "'";
}

TEST(GetReplyValueTest, Cases)
{
  const std::string reply = "IP:203.0.113.7 DT:HA SI:1800 MI:120";
  const struct {
    const char* key;
    std::string reply;
    const char* expected;
  } cases[] = {
      {"IP", reply, "203.0.113.7"},
      {"DT", reply, "HA"},
      {"SI", reply, "1800"},
      {"MI", reply, "120"},
      {"HB", reply, ""},
      {"ip", reply, ""},  // case-sensitive
      {"IP", "IP: DT:HA", ""},
      {"K", "K:abc:def", "a"},
      // the search also finds the key at the end of a longer key
      {"IP", "MIP:198.51.100.1 IP:203.0.113.7", "198.51.100.1"},
      {"SI", "IP:1.2.3.4 SI:1800\r\n", "1800"},
      {"MESS", "IP:1.2.3.4 MESS:Hallo Welt\r\n", "Hallo Welt"},
      {"MESS", "IP:1.2.3.4 MESS:Hallo Welt SI:60", "Hallo Welt"},
      {"SI", "IP:1.2.3.4 SI:", ""},
      // a line feed or tab before a key separates as a blank does
      {"IP", "IP:1.2.3.4\nSI:600", "1.2.3.4"},
      {"SI", "IP:1.2.3.4\nSI:600", "600"},
      {"DT", "IP:1.2.3.4 DT:PA\tSI:600", "PA"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, GetReplyValue(c.key, c.reply)) << c.key << " in '" << c.reply << "'";
}

TEST(FormatOSVersionTextTest, Table)
{
  const struct {
    std::uint32_t platformId, major, minor;
    const char* servicePack;
    const char* expected;
  } cases[] = {
      {1, 4, 0, "", "(4.0) - Windows 95"},
      {1, 4, 10, " A ", "(4.10) - Windows 98  A "},
      {1, 4, 90, "", "(4.90) - Windows Me"},
      {2, 3, 51, "", "(3.51) - Windows NT 3.51"},
      {2, 4, 0, "Service Pack 6", "(4.0) - Windows NT 4 Service Pack 6"},
      {2, 5, 0, "", "(5.0) - Windows 2000"},
      {2, 5, 1, "Service Pack 3", "(5.1) - Windows XP Service Pack 3"},
      {2, 5, 2, "", "(5.2) - Windows .NET Server"},
      {2, 6, 0, "", "(6.0) - Windows Vista / Srv 2008"},
      {2, 6, 1, "Service Pack 1", "(6.1) - Windows 7 / Srv 2008 R2 Service Pack 1"},
      {2, 6, 2, "", "(6.2)"},
      {2, 10, 0, "Service Pack 1", "(10.0) Service Pack 1"},
      {1, 5, 1, "", "(5.1)"},  // the XP numbers on the other platform
      {0, 3, 10, "", "(3.10)"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, FormatOSVersionText(c.platformId, c.major, c.minor, c.servicePack));
}

}  // namespace
