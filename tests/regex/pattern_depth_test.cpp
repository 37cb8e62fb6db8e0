// The matcher's recursion bound. These tests also run in a program built
// without optimisation, where stack frames are largest: there they show that
// reaching the bound raises an error before the stack runs out, and that the
// bound lets the same texts through as in the optimised build.
#include <gtest/gtest.h>

#include <string>

#include "regex/pattern_match.h"
#include "tests/regex/pattern_error_code.h"

namespace {

// The bound on MatchPrim levels active at once, and the levels that one
// iteration of a complex repetition takes.
constexpr int MatchDepthBound = 6000;
constexpr int LevelsPerIteration = 3;

std::string Repeated(const std::string& piece, int times)
{
  std::string text;
  for (int i = 0; i < times; ++i) {
    text += piece;
  }
  return text;
}

}  // namespace

TEST(PatternDepth, DeepRecursionRaisesInsteadOfCrashing)
{
  const std::string text = Repeated("ab", 100000) + "c";
  const std::string rows[][2] = {
      {"(ab)*c", text},                          // a greedy loop: three levels an iteration
      {"^(?-g)(ab)*c$", text},                   // a counted loop
      {"(?-s)^.{0,99999}c$", text},              // a counted loop of one level an iteration
      {"^" + Repeated("a*", 20000) + "c", "c"},  // a chain of repeats: one level a piece
      {"^" + Repeated("a?", 20000) + "c", "c"},  // a chain of choices
  };
  for (const auto& row : rows) {
    try {
      MatchPattern(row[0], row[1]);
      ADD_FAILURE() << "no error for " << row[0].substr(0, 20);
    } catch (const EPatternExpr& e) {
      EXPECT_EQ(e.Code, 1016) << row[0].substr(0, 20);
      EXPECT_EQ(e.Message(), "TPatternExpr(exec): Recursion Too Deep");
    }
  }
}

TEST(PatternDepth, BoundIsCountedInLevelsNotBytes)
{
  // A hundred iterations fewer than the bound admits stay below it, a hundred
  // more reach it, whatever the build's frames take.
  const int iterations = MatchDepthBound / LevelsPerIteration;
  const std::string below = Repeated("ab", iterations - 100) + "c";
  const std::string above = Repeated("ab", iterations + 100) + "c";
  for (const char* pattern : {"^(ab)*c$", "^(ab)+c$", "^(?-g)(ab)*c$", "^(ab){0,5000}c$"}) {
    EXPECT_EQ(ErrorCodeOf(pattern, below), 0) << pattern;
    EXPECT_TRUE(MatchPattern(pattern, below)) << pattern;
    EXPECT_EQ(ErrorCodeOf(pattern, above), 1016) << pattern;
  }
}
