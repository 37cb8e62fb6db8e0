#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "regex/pattern_expr.h"
#include "regex/pattern_match.h"
#include "tests/regex/pattern_error_code.h"

namespace {

struct TMatchCase {
  const char* Pattern;
  std::string Text;
  bool Expected;
};

// Counted loops nested `depth` deep, all active once the "a" is matched.
std::string NestedLoops(int depth)
{
  std::string pattern = std::string(static_cast<size_t>(depth), '(') + "a";
  for (int i = 0; i < depth; ++i) {
    pattern += ")??";
  }
  return pattern + "b";
}

void ExpectMatches(const TMatchCase* begin, const TMatchCase* end)
{
  for (const TMatchCase* c = begin; c != end; ++c) {
    bool result = false;
    EXPECT_NO_THROW(result = MatchPattern(c->Pattern, c->Text)) << c->Pattern;
    EXPECT_EQ(result, c->Expected) << c->Pattern << " on '" << c->Text << "'";
  }
}

}  // namespace

TEST(PatternExec, MatcherCases)
{
  const TMatchCase cases[] = {
      {"^10\\.\\d\\d?\\d?\\.\\d\\d?\\d?\\.\\d\\d?\\d?$", "10.0.0.1", true},
      {"^10\\.\\d\\d?\\d?\\.\\d\\d?\\d?\\.\\d\\d?\\d?$", "110.0.0.1", false},
      {"^192\\.168\\.\\d\\d?\\d?\\.\\d\\d?\\d?$", "10.192.168.1", false},
      {"a", "bbba", true},
      {"b+", "aaab", true},
      {"^$", "", true},
      {"x*y", "xxxz", false},
      {"x*y", "xxxy", true},
      {"a+?b", "aaab", true},
      {"^(a|ab){1,2}$", "aba", true},
      {"^(a|ab){1,2}$", "abab", true},
      {"^(a|ab){1,2}$", "ababa", false},
      {"\\bab", "cab", false},
      {"\\bab", "c ab", true},
      {"\\Bab", "cab", true},
      {"\\Bab", "c ab", false},
      {"(a)\\1", "aa", true},
      {"(a)\\1", "ab", false},
      {"(?i)(a)\\1", "aA", true},
      {"\\2(a)", "aa", false},
      {"^(a)|\\1b$", "b", false},
      {"^a.c$", "a\rc", true},
      {"a$", "a\n", false},
      {"^(ab|a)(bc|c)$", "abc", true},
      {"^(a+)+b$", "aaab", true},
      {"^[0-9]+(\\.[0-9]+)*$", "1.22.333", true},
      {"^x(a|b)*?y$", "xababy", true},
      {"^x(a|b)+?y$", "xy", false},
      {"^(a){2,3}$", "aa", true},
      {"^(a){2,3}$", "aaaa", false},
      {"^(a){2,3}?$", "aaa", true},
      {"^a{0}b$", "b", true},
      {"^(ab){0}c$", "c", true},
      {"^a*?$", "aaa", true},
      {"^a{1,2}?b$", "aab", true},
  };
  ExpectMatches(std::begin(cases), std::end(cases));
}

TEST(PatternExec, MissingRequiredLiteralMeansNoAttempt)
{
  // A budget of one node step shows whether a match was attempted at all.
  TPatternExpr expr;
  expr.SetStepLimit(1);
  expr.SetExpression("x*y");
  EXPECT_FALSE(expr.Exec("xxxz"));
  EXPECT_FALSE(expr.Exec(""));
  try {
    expr.Exec("xxxy");
    ADD_FAILURE() << "the present literal did not lead to an attempt";
  } catch (const EPatternExpr& e) {
    EXPECT_EQ(e.Code, 1017);
  }
  expr.SetStepLimit(0);
  EXPECT_TRUE(expr.Exec("xxxy"));
}

TEST(PatternExec, StartOffsetDoesNotMoveInputStart)
{
  TPatternExpr expr;
  expr.SetExpression("^b");
  expr.SetInputString("ab");
  EXPECT_FALSE(expr.ExecFrom(2));
  expr.SetExpression("b");
  EXPECT_TRUE(expr.ExecFrom(2));
  EXPECT_EQ(expr.MatchPos(0), 2);
  EXPECT_EQ(expr.MatchLen(0), 1);
  EXPECT_TRUE(expr.ExecFrom(3) == false);
  EXPECT_FALSE(expr.ExecFrom(4));  // past the end position
}

TEST(PatternExec, GroupPositions)
{
  struct TCase {
    const char* Pattern;
    const char* Text;
    int Group;
    int Pos;
    int Len;
  };
  const TCase cases[] = {
      {"(\\d+)\\.(\\d+)", "ip 10.250 x", 0, 4, 6},
      {"(\\d+)\\.(\\d+)", "ip 10.250 x", 1, 4, 2},
      {"(\\d+)\\.(\\d+)", "ip 10.250 x", 2, 7, 3},
      {"(\\d+)\\.(\\d+)", "ip 10.250 x", 3, -1, -1},
      {"$", "abc", 0, 4, 0},  // an empty match at the end of the text
      // A reference to a group whose end lies before its start finds it unset.
      {"((a|b\\2)c)+", "acbc", 0, 1, 2},
      {"(a|b)*c", "abc", 1, 2, 1},  // the last pass, the failed third one undone
  };
  for (const TCase& c : cases) {
    TPatternExpr expr;
    expr.SetExpression(c.Pattern);
    ASSERT_TRUE(expr.Exec(c.Text)) << c.Pattern;
    EXPECT_EQ(expr.MatchPos(c.Group), c.Pos) << c.Pattern << " group " << c.Group;
    EXPECT_EQ(expr.MatchLen(c.Group), c.Len) << c.Pattern << " group " << c.Group;
  }
}

// Errors outside the compiler carry no position; the object keeps the code.
TEST(PatternExec, ErrorsOfRunsAndSettings)
{
  const std::string separatorMessage =
      "TPatternExpr(comp): LinePairedSeparator must countain two different chars or no chars at all (pos 0)";
  struct TCase {
    const char* What;
    std::function<void(TPatternExpr&)> Steps;
    int Code;
    std::string Message;
  };
  const TCase cases[] = {
      {"run without input",
       [](TPatternExpr& e) {
         e.SetExpression("a");
         e.ExecFrom(1);
       },
       1005, "TPatternExpr(exec): No Inpit String Specified"},
      {"start offset 0",
       [](TPatternExpr& e) {
         e.SetExpression("b");
         e.SetInputString("ab");
         e.ExecFrom(0);
       },
       1006, "TPatternExpr(exec): Offset Must Be Greater Then 0"},
      {"modifier index 7", [](TPatternExpr& e) { e.SetModifierByIndex(7, true); }, 1013, "Unknown error"},
      {"eleven loops",
       [](TPatternExpr& e) {
         e.SetExpression(NestedLoops(11));
         e.Exec("ab");
       },
       1014, "TPatternExpr(exec): Loop Stack Exceeded"},
      {"separator 'aa'", [](TPatternExpr& e) { e.SetLinePairedSeparator("aa"); }, 128, separatorMessage},
      {"separator 'abc'", [](TPatternExpr& e) { e.SetLinePairedSeparator("abc"); }, 128, separatorMessage},
      {"separator 'x'", [](TPatternExpr& e) { e.SetLinePairedSeparator("x"); }, 128, separatorMessage},
  };
  for (const TCase& c : cases) {
    TPatternExpr expr;
    try {
      c.Steps(expr);
      ADD_FAILURE() << "no error: " << c.What;
    } catch (const EPatternExpr& e) {
      EXPECT_EQ(e.Code, c.Code) << c.What;
      EXPECT_EQ(e.Message(), c.Message) << c.What;
      EXPECT_EQ(e.Position, 0) << c.What;
      EXPECT_EQ(expr.LastErrorCode(), c.Code) << c.What;
    }
  }
  EXPECT_EQ(ErrorCodeOf(NestedLoops(10), "ab"), 0);  // ten may be active at once
}

TEST(PatternExec, ObjectSettings)
{
  TPatternExpr expr;
  EXPECT_EQ(expr.ModifierSet(), ModifierR | ModifierS | ModifierG);
  int set = 0;
  EXPECT_TRUE(TPatternExpr::ParseModifierLetters("iM-g", set));
  EXPECT_EQ(set, ModifierI | ModifierM);
  EXPECT_FALSE(TPatternExpr::ParseModifierLetters("i:", set));
  EXPECT_TRUE(TPatternExpr::ParseModifierLetters("", set));

  EXPECT_THROW(expr.SetLinePairedSeparator("aa"), EPatternExpr);
  EXPECT_EQ(expr.LinePairedSeparator(), "\r\n");  // a rejected pair leaves the one in force
  expr.SetLinePairedSeparator("");
  EXPECT_EQ(expr.LinePairedSeparator(), "");

  // A change of modifiers after compiling is noticed by the next run.
  expr.SetExpression("^abc$");
  EXPECT_FALSE(expr.Exec("ABC"));
  expr.SetModifierByIndex(1, true);
  EXPECT_TRUE(expr.Exec("ABC"));
}

TEST(PatternExec, MultiLineAnchorsWithPairedSeparator)
{
  const TMatchCase cases[] = {
      {"(?m)^b", "a\r\nb", true}, {"(?m)a$", "a\r\nb", true},   {"(?m)^$", "a\r\nb", false}, {"(?m)^c", "a\nc", true},
      {"(?m)x$", "x\ry", true},   {"(?m-s)a.b", "a\rb", false}, {"(?-s)a.b", "a-b", true},
  };
  ExpectMatches(std::begin(cases), std::end(cases));
}

// Each test below pins the engine's answer where it once went wrong.
TEST(PatternRegression, LazyOptionalOverEmptyAtomCompiles)
{
  const TMatchCase cases[] = {
      {"(a*)??b", "b", true},
      {"(a|)??b", "xb", true},
      {"(?-g)(a|)?b", "b", true},
      {"(a*)??b", "c", false},
  };
  ExpectMatches(std::begin(cases), std::end(cases));
}

TEST(PatternRegression, BracesWithZeroMinimumHaveNoWidth)
{
  EXPECT_EQ(ErrorCodeOf("(a{0,3})*b", "b"), 106);
  EXPECT_EQ(ErrorCodeOf("((ab){0,2})*c", "c"), 106);
  EXPECT_EQ(ErrorCodeOf("(a*)*", "a"), 106);
  EXPECT_TRUE(MatchPattern("(a{1,3})*b", "aaaab"));
}

TEST(PatternRegression, FailedLoopEntryRestoresCounter)
{
  const TMatchCase cases[] = {
      {"^(a){1,2}?(b)??$", "aaa", false}, {"^(a){1,2}?(b)??$", "aa", true},        {"^(a){1,2}?(b)??$", "ab", true},
      {"^(a){1,2}?(b)??$", "aab", true},  {"^(a){1,2}?(c){1,2}?$", "aaac", false},
  };
  ExpectMatches(std::begin(cases), std::end(cases));
}

TEST(PatternRegression, QuantifiedBackReferenceStepsByCapture)
{
  const TMatchCase cases[] = {
      {"^(ab)\\1*b", "ababab", false},
      {"^(ab)\\1*$", "ababab", true},
      {"^(ab)\\1*c", "abababc", true},
      {"^()\\1*c", "abc", false},
      {"^()\\1*c", "c", true},
      {"^()\\1+c", "c", true},
      {"^(ab)\\1{2}$", "ababab", true},
      {"^(ab)\\1{2}$", "abababa", false},
      {"^(ab)\\1*?b", "ababab", false},
      {"^(ab)\\1+?ab$", "ababab", true},
      {"^(?i)(ab)\\1*$", "abABab", true},
  };
  ExpectMatches(std::begin(cases), std::end(cases));
}

// Inside its own group a reference sees the text from the group's new start to
// its end of the last pass; a pass that consumes nothing that way ends the loop.
TEST(PatternRegression, ReferenceInsideItsOwnGroup)
{
  const TMatchCase cases[] = {
      {"^(a|b\\1)+$", "ab", true},  {"^(a|b\\1)+$", "aba", true}, {"^(a|b\\1)+$", "ba", false},
      {"(a|\\1)+", "b", false},     {"(a|\\1)+", "ba", true},     {"^(a|\\1)+$", "aa", true},
      {"^(a|\\1)+$", "ab", false},  {"(a|\\1)*x", "aax", true},   {"^(?-g)(a|\\1)+?$", "aa", true},
      {"^(a|\\1){2,}$", "a", true},
  };
  ExpectMatches(std::begin(cases), std::end(cases));
}

// A body with width by its parts can still consume nothing through a
// reference to an empty capture; such a pass ends the loop.
TEST(PatternRegression, LoopOverEmptyReferenceEnds)
{
  const TMatchCase cases[] = {
      {"((a?)\\2)*", "b", true},           {"^((a?)\\2)*$", "b", false},      {"^((a?)\\2)*b$", "aab", true},
      {"^((a?)\\2)+b$", "b", true},        {"^(?-g)((a?)\\2)*$", "b", false}, {"^((a?)\\2){2,}b$", "b", true},
      {"^((a?)\\2){1,3}?$", "aaa", false}, {"^(()\\2)*c$", "c", true},
  };
  ExpectMatches(std::begin(cases), std::end(cases));
}

TEST(PatternRegression, StepLimitIsOffByDefaultAndStopsARun)
{
  std::string text(24, 'a');
  TPatternExpr bounded;
  bounded.SetStepLimit(10000);
  bounded.SetExpression("^(a|aa)+$");
  try {
    bounded.Exec(text + "b");
    ADD_FAILURE() << "no error";
  } catch (const EPatternExpr& e) {
    EXPECT_EQ(e.Code, 1017);
    EXPECT_EQ(e.Message(), "TPatternExpr(exec): Step Limit Exceeded");
  }
  EXPECT_TRUE(bounded.Exec(text));  // the budget starts afresh with each run
  EXPECT_FALSE(MatchPattern("^(a|aa)+$", std::string(18, 'a') + "b"));
}

TEST(PatternRegression, NulEscapeNeverMatchesOutsideAClass)
{
  const TMatchCase cases[] = {
      {"a\\x00b", "ab", false},     {"a\\x{0}b", "ab", false},    {"(\\x00)*b", "b", true},
      {"^(\\x00)*b$", "ab", false}, {"(?i)a\\x00b", "ab", false}, {"^[\\x00a]$", "a", true},
      {"^[^\\x00]$", "z", true},    {"^[\\x00-a]$", "Z", true},   {"[\\x00]", "", false},
  };
  ExpectMatches(std::begin(cases), std::end(cases));
  EXPECT_EQ(ErrorCodeOf("[\\x00-\\", "a"), 110);
  EXPECT_EQ(ErrorCodeOf("[a-\\", "a"), 110);
}

TEST(PatternRegression, EmptyTextIsAnInputNotAMissingOne)
{
  const TMatchCase cases[] = {
      {"^$", "", true}, {"^\\d\\d?\\d?\\.\\d\\d?\\d?\\.\\d\\d?\\d?\\.\\d\\d?\\d?$", "", false},
      {"a", "", false}, {"a*", "", true},
      {"^", "", true},
  };
  ExpectMatches(std::begin(cases), std::end(cases));
}

TEST(PatternRegression, EmptyMatchesAreFoundAtEveryPosition)
{
  const TMatchCase cases[] = {
      {"a*", "b", true},   {"$", "abc", true},  {"x?", "abc", true},   {"()\\1", "", true},
      {"\\b", "ab", true}, {"\\B", "a", false}, {"(?m)$", "ab", true},
  };
  ExpectMatches(std::begin(cases), std::end(cases));
}

TEST(PatternRegression, CaseInsensitiveRepeatAcceptsBothCasesThroughout)
{
  const TMatchCase cases[] = {
      {"(?i)^a*$", "aAa", true},   {"(?i)^a*$", "AaA", true},  {"(?i)^a+b$", "AaAB", true},
      {"(?i)^a{3}$", "aAa", true}, {"(?i)^a*?$", "aAa", true}, {"(?i)^a*$", "aAb", false},
  };
  ExpectMatches(std::begin(cases), std::end(cases));
}
