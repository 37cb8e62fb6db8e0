#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "core/address_patterns.h"
#include "core/address_rules.h"
#include "regex/pattern_match.h"

namespace {

struct TTextCase {
  const char* Text;
  bool Expected;
};

TEST(AddressRulesTest, IsIPAddressWantsFourGroupsOfOneToThreeDigitsWithoutRangeCheck)
{
  const TTextCase cases[] = {
      {"192.168.1.20", true},    {"0.0.0.0", true},   {"1.2.3.4", true},         {"255.255.255.255", true},
      {"999.999.999.999", true}, {"300.1.1.1", true}, {"010.001.000.255", true}, {"127.0.0.1", true},
      {"1234.1.1.1", false},     {"1.1.1", false},    {"1.2.3.4.5", false},      {"1.2.3.", false},
      {"a1.2.3.4", false},       {"1.1.1.1 ", false}, {" 1.2.3.4", false},       {"1.2.3.4\r", false},
      {"1.2.3.4\n", false},      {"", false},         {"1..2.3", false},         {"1.2.3.4a", false},
      {"a.b.c.d", false},        {"1,2,3,4", false},
  };
  for (const TTextCase& c : cases) {
    bool result = false;
    EXPECT_NO_THROW(result = IsIPAddress(c.Text)) << c.Text;
    EXPECT_EQ(result, c.Expected) << "'" << c.Text << "'";
  }
}

TEST(AddressRulesTest, IsPrivateIPKnowsTenAnd172Dot16To31And192Dot168Only)
{
  const TTextCase cases[] = {
      {"10.0.0.1", true},    {"10.255.255.255", true}, {"10.999.999.999", true}, {"10.192.168.1", true},
      {"172.16.0.1", true},  {"172.31.255.255", true}, {"192.168.1.1", true},    {"192.168.7.1", true},
      {"127.0.0.9", false},  {"169.254.1.1", false},   {"192.169.0.1", false},   {"110.0.0.1", false},
      {"1.10.0.0.1", false}, {"1.10.0.0", false},      {"203.0.113.7", false},   {"", false},
      {"10.0.0.1 ", false},  {"192.168.1.1\r", false}, {"203.0.113.", false},    {"999.999.999.999", false},
      {"172.16.1", false},   {"172.16.1.1.1", false},
  };
  for (const TTextCase& c : cases) {
    bool result = false;
    EXPECT_NO_THROW(result = IsPrivateIP(c.Text)) << c.Text;
    EXPECT_EQ(result, c.Expected) << "'" << c.Text << "'";
  }
  for (int second = 0; second < 256; ++second) {
    const std::string text = "172." + std::to_string(second) + ".1.2";
    EXPECT_EQ(IsPrivateIP(text), second >= 16 && second <= 31) << text;
  }
}

TEST(AddressRulesTest, EachPrivatePatternMatchesOnlyItsOwnRange)
{
  ASSERT_EQ(std::size(PrivatePatterns), 18u);
  std::vector<std::string> samples{"10.1.2.3"};
  for (int second = 16; second <= 31; ++second)
    samples.push_back("172." + std::to_string(second) + ".200.7");
  samples.push_back("192.168.0.255");
  for (std::size_t p = 0; p < std::size(PrivatePatterns); ++p) {
    for (std::size_t s = 0; s < samples.size(); ++s)
      EXPECT_EQ(MatchPattern(PrivatePatterns[p], samples[s]), p == s) << PrivatePatterns[p] << " on " << samples[s];
    EXPECT_FALSE(MatchPattern(PrivatePatterns[p], "")) << PrivatePatterns[p];
    EXPECT_FALSE(MatchPattern(PrivatePatterns[p], "999.999.999.999")) << PrivatePatterns[p];
  }
}

}  // namespace
