#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/korvalind_functions.h"
#include "regex/pattern_match.h"

// The patterns the client core feeds the engine: the dotted-quad test and the
// private ranges, tried all in order as the core does.
namespace {

const std::string DottedQuad = "^\\d\\d?\\d?\\.\\d\\d?\\d?\\.\\d\\d?\\d?\\.\\d\\d?\\d?$";

std::vector<std::string> PrivatePatterns()
{
  std::vector<std::string> patterns{"^10\\.\\d\\d?\\d?\\.\\d\\d?\\d?\\.\\d\\d?\\d?$"};
  for (int second = 16; second <= 31; ++second) {
    patterns.push_back("^172\\." + std::to_string(second) + "\\.\\d\\d?\\d?\\.\\d\\d?\\d?$");
  }
  patterns.push_back("^192\\.168\\.\\d\\d?\\d?\\.\\d\\d?\\d?$");
  return patterns;
}

bool AnyPrivate(const std::string& text)
{
  bool any = false;
  for (const std::string& pattern : PrivatePatterns()) {
    any = MatchPattern(pattern, text) || any;
  }
  return any;
}

struct TTextCase {
  const char* Text;
  bool Expected;
};

}  // namespace

TEST(CorePatterns, DottedQuad)
{
  const TTextCase cases[] = {
      {"192.168.1.20", true}, {"0.0.0.0", true}, {"1.2.3.4", true}, {"255.255.255.255", true},
      {"999.999.999.999", true}, {"300.1.1.1", true}, {"010.001.000.255", true},
      {"1234.1.1.1", false}, {"1.1.1", false}, {"1.2.3", false}, {"1.2.3.4.5", false}, {"1.2.3.", false},
      {"a1.2.3.4", false}, {"1.1.1.1 ", false}, {"1.2.3.4\r", false}, {"1.2.3.4\n", false},
      {"203.0.113.", false}, {"", false}, {" 1.2.3.4", false}, {"1..2.3", false}, {"1.2.3.4a", false},
  };
  for (const TTextCase& c : cases) {
    bool result = false;
    EXPECT_NO_THROW(result = MatchPattern(DottedQuad, c.Text)) << c.Text;
    EXPECT_EQ(result, c.Expected) << "'" << c.Text << "'";
  }
}

TEST(CorePatterns, PrivateRanges)
{
  const TTextCase cases[] = {
      {"10.0.0.1", true}, {"10.255.255.255", true}, {"172.16.0.1", true}, {"172.24.9.9", true},
      {"172.31.255.255", true}, {"192.168.1.1", true}, {"192.168.7.1", true}, {"10.999.999.999", true},
      {"172.15.0.1", false}, {"172.32.0.1", false}, {"127.0.0.9", false}, {"169.254.1.1", false},
      {"192.169.0.1", false}, {"110.0.0.1", false}, {"10.192.168.1", true}, {"1.10.0.0.1", false},
      {"", false}, {"10.0.0.1 ", false}, {"192.168.1.1\r", false}, {"203.0.113.", false},
      {"999.999.999.999", false}, {"172.16.1", false}, {"172.16.1.1.1", false},
  };
  for (const TTextCase& c : cases) {
    bool result = false;
    EXPECT_NO_THROW(result = AnyPrivate(c.Text)) << c.Text;
    EXPECT_EQ(result, c.Expected) << "'" << c.Text << "'";
  }
}

TEST(CorePatterns, CoreFunctionsAgreeWithThePatterns)
{
  // The same rows through the core's own pattern list, so a pattern mistyped
  // there shows up here too.
  const char* const texts[] = {
      "192.168.1.20", "0.0.0.0", "999.999.999.999", "", "1.2.3.4 ", "1.2.3.4\r", "203.0.113.", "10.0.0.1",
      "172.16.0.1", "172.31.255.255", "172.15.0.1", "172.32.0.1", "192.169.0.1", "10.192.168.1", "1.10.0.0.1",
  };
  for (const char* text : texts) {
    bool quad = false;
    bool priv = false;
    EXPECT_NO_THROW(quad = IsIPAddress(text)) << text;
    EXPECT_NO_THROW(priv = IsPrivateIP(text)) << text;
    EXPECT_EQ(quad, MatchPattern(DottedQuad, text)) << "'" << text << "'";
    EXPECT_EQ(priv, AnyPrivate(text)) << "'" << text << "'";
  }
  for (int second = 0; second < 256; ++second) {
    std::string text = "172." + std::to_string(second) + ".1.2";
    EXPECT_EQ(IsPrivateIP(text), second >= 16 && second <= 31) << text;
  }
}

TEST(CorePatterns, EachPrivatePatternMatchesOnlyItsOwnRange)
{
  std::vector<std::string> patterns = PrivatePatterns();
  ASSERT_EQ(patterns.size(), 18u);
  std::vector<std::string> samples{"10.1.2.3"};
  for (int second = 16; second <= 31; ++second) {
    samples.push_back("172." + std::to_string(second) + ".200.7");
  }
  samples.push_back("192.168.0.255");
  for (size_t p = 0; p < patterns.size(); ++p) {
    for (size_t s = 0; s < samples.size(); ++s) {
      EXPECT_EQ(MatchPattern(patterns[p], samples[s]), p == s) << patterns[p] << " on " << samples[s];
    }
    EXPECT_FALSE(MatchPattern(patterns[p], "")) << patterns[p];
    EXPECT_FALSE(MatchPattern(patterns[p], "999.999.999.999")) << patterns[p];
  }
}
