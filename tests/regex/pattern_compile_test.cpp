#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "regex/pattern_expr.h"
#include "regex/pattern_match.h"
#include "regex/pattern_program.h"

namespace {

std::string Dump(const std::string& pattern, int modifierIndex = 0, bool on = false)
{
  TPatternExpr expr;
  if (modifierIndex != 0) {
    expr.SetModifierByIndex(modifierIndex, on);
  }
  expr.SetExpression(pattern);
  expr.CompileExpression();
  std::string problem;
  EXPECT_TRUE(VerifyPatternProgram(expr.ProgramBytes(), expr.ProgramLength(), &problem)) << pattern << ": " << problem;
  return DumpPatternProgram(expr.ProgramBytes(), expr.ProgramLength());
}

}  // namespace

TEST(PatternCompile, DottedQuadProgramVerifiesAndMatchesOnlyQuads)
{
  const std::string quad = "\\d\\d?\\d?";
  TPatternExpr expr;
  expr.SetExpression("^" + quad + "\\." + quad + "\\." + quad + "\\." + quad + "$");
  expr.CompileExpression();
  std::string problem;
  EXPECT_TRUE(VerifyPatternProgram(expr.ProgramBytes(), expr.ProgramLength(), &problem)) << problem;
  EXPECT_TRUE(expr.Anchored());
  EXPECT_EQ(expr.RequiredText(), "");

  struct TCase {
    const char* Text;
    bool Expected;
  };
  const TCase cases[] = {
      {"192.168.1.20", true}, {"0.0.0.0", true},     {"255.255.255.255", true},
      {"999.99.9.0", true},   {"1234.1.1.1", false}, {"1.1.1", false},
      {"1.2.3.4.5", false},   {"1.2.3.", false},     {"1..2.3", false},
      {"a1.2.3.4", false},    {" 1.1.1.1", false},   {"1.1.1.1 ", false},
      {"1.2.3.4\n", false},   {"1.2.3.4a", false},   {"", false},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(expr.Exec(c.Text), c.Expected) << "'" << c.Text << "'";
  }
}

TEST(PatternCompile, ProgramShapes)
{
  struct TCase {
    const char* Pattern;
    int Modifier;
    bool On;
    const char* Expected;
  };
  const TCase cases[] = {
      {"ab*", 0, false,
       "1: OpAlternative -> 25\n6: OpLiteral 'a' -> 13\n13: OpStar -> 25\n18: OpLiteral 'b'\n25: OpEnd\n"},
      {"[a]", 0, false, "1: OpAlternative -> 14\n6: OpAnyOfSmall 'aaa' -> 14\n14: OpEnd\n"},
      {"[ab]", 0, false, "1: OpAlternative -> 14\n6: OpAnyOfSmall 'abb' -> 14\n14: OpEnd\n"},
      {"[a]", 1, true, "1: OpAlternative -> 14\n6: OpAnyOfSmall 'Aaa' -> 14\n14: OpEnd\n"},
      {"[^abcd]", 0, false, "1: OpAlternative -> 43\n6: OpAnyOfSet [\\x00-`e-\\xFF] -> 43\n43: OpEnd\n"},
      {"a??", 0, false, "1: OpAlternative -> 26\n6: OpBracesLazy {0,1} -> 26\n19: OpLiteral 'a'\n26: OpEnd\n"},
      {"(a)*", 4, false,
       "1: OpAlternative -> 50\n6: OpLoopEntry -> 33\n11: OpGroupOpen 1 -> 16\n16: OpAlternative -> 28\n"
       "21: OpLiteral 'a' -> 28\n28: OpGroupClose 1 -> 33\n33: OpLoopLazy {0,2147483646} body 11 -> 50\n50: OpEnd\n"},
      {"(a)*", 0, false,
       "1: OpAlternative -> 48\n6: OpAlternative -> 38\n11: OpGroupOpen 1 -> 16\n16: OpAlternative -> 28\n"
       "21: OpLiteral 'a' -> 28\n28: OpGroupClose 1 -> 33\n33: OpBack -> 6\n38: OpAlternative -> 43\n"
       "43: OpEmpty -> 48\n48: OpEnd\n"},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(Dump(c.Pattern, c.Modifier, c.On), c.Expected) << c.Pattern;
  }
}

TEST(PatternCompile, CompileErrorsCarryCodeMessageAndPosition)
{
  struct TCase {
    std::string Pattern;
    int Code;
    int Position;
  };
  std::string fifteen;
  for (int i = 0; i < 15; ++i) {
    fifteen += "(";
  }
  const TCase cases[] = {
      {"a**", 107, 2},
      {"a{2}{3}", 107, 4},
      {"*a", 115, 1},
      {"+", 115, 1},
      {"a|?b", 115, 3},
      {"(*)", 115, 2},
      {"(a", 103, 2},
      {"a)", 104, 1},
      {"(?:a)", 127, 4},
      {"^(?:a)?", 127, 5},  // no such group form in this dialect
      {"(?i", 127, 3},
      {"(?i-q)", 127, 5},
      {"a(?ix-m:b)", 127, 9},
      {"a{3,2}", 124, 5},
      {"a{123456789}", 122, 11},
      {"a{1,123456789}", 122, 13},
      {fifteen + "a" + std::string(15, ')'), 102, 15},
      {"[b-a]", 109, 4},
      {"(?-r)[\xE0-\xDF]", 109, 9},  // inverted without modifier r
      {"[abc", 113, 4},
      {"[", 113, 1},
      {"[]", 113, 2},
      {"\\x4", 111, 3},
      {"\\x", 111, 2},
      {"\\x{41", 111, 5},
      {"\\xG0", 108, 2},
      {"\\x{4G}", 108, 4},
      {"\\x{100}", 112, 5},
      {"a\\", 116, 2},
      {"[a\\", 110, 3},
      {"[\\x00-\\", 110, 7},
      {"(?#abc", 125, 6},
      {"(a*)*", 106, 4},
      {"(a|)+", 106, 4},
      {"\\b*", 106, 2},
      {"(a{0,3})*b", 106, 8},
      {"((ab){0,2})*c", 106, 11},
      {"(\\b)*", 106, 4},
      {"^{2}", 106, 1},
  };
  for (const TCase& c : cases) {
    try {
      MatchPattern(c.Pattern, "a");
      ADD_FAILURE() << "no error for " << c.Pattern;
    } catch (const EPatternExpr& e) {
      EXPECT_EQ(e.Code, c.Code) << c.Pattern;
      EXPECT_EQ(e.Position, c.Position) << c.Pattern;
      EXPECT_EQ(e.Message(), PatternErrorText(c.Code) + " (pos " + std::to_string(c.Position) + ")") << c.Pattern;
    }
  }
}

TEST(PatternCompile, ExactMessages)
{
  auto messageOf = [](const std::string& pattern) {
    try {
      MatchPattern(pattern, "x");
    } catch (const EPatternExpr& e) {
      return e.Message();
    }
    return std::string("no error");
  };
  EXPECT_EQ(messageOf("[abc"), "TPatternExpr(comp): Unmatched [] (pos 4)");
  EXPECT_EQ(messageOf("(a"), "TPatternExpr(comp): ParseReg Unmatched () (pos 2)");
  EXPECT_EQ(messageOf("a)"), "TPatternExpr(comp): ParseReg Unmatched () (pos 1)");
  EXPECT_EQ(messageOf("a**"), "TPatternExpr(comp): Nested *?+ (pos 2)");
  EXPECT_EQ(messageOf("\\x{100}"), "TPatternExpr(comp): Hex Code After \\x Is Too Big (pos 5)");
  EXPECT_EQ(messageOf("a{3,2}"), "TPatternExpr(comp): BRACE Min Param Greater then Max (pos 5)");
  EXPECT_EQ(messageOf("(?:a)"), "TPatternExpr(comp): Urecognized Modifier (pos 4)");
  EXPECT_EQ(messageOf("*"), "TPatternExpr(comp): ?+*{ Follows Nothing (pos 1)");
  EXPECT_EQ(messageOf(""), "TPatternExpr(exec): Not Assigned Expression Property");
  EXPECT_EQ(PatternErrorText(126).substr(0, 60), "TPatternExpr(comp): If you want take part in beta-testing BR");
  EXPECT_EQ(PatternErrorText(1013), "Unknown error");
  EXPECT_EQ(PatternErrorText(0), "No errors");
  EXPECT_EQ(PatternErrorText(1005), "TPatternExpr(exec): No Inpit String Specified");
}

TEST(PatternCompile, LargeProgramsCompileAsSmallOnes)
{
  // Long patterns outgrow the object's own program buffer and take the
  // counted route; the result must be the same program shape.
  std::string pattern = "^";
  std::string text;
  for (int i = 0; i < 60; ++i) {
    pattern += "\\d?[a-f]";
    text += (i % 2 != 0) ? "7c" : "e";
  }
  pattern += "$";
  TPatternExpr expr;
  expr.SetExpression(pattern);
  expr.CompileExpression();
  EXPECT_GT(expr.ProgramLength(), 1000);
  std::string problem;
  EXPECT_TRUE(VerifyPatternProgram(expr.ProgramBytes(), expr.ProgramLength(), &problem)) << problem;
  EXPECT_TRUE(expr.Exec(text));
  EXPECT_FALSE(expr.Exec(text + "x"));
  EXPECT_TRUE(expr.Anchored());
}

TEST(PatternCompile, FourteenGroupsCompile)
{
  std::string pattern;
  for (int i = 0; i < 14; ++i) {
    pattern += "(";
  }
  pattern += "a" + std::string(14, ')');
  EXPECT_TRUE(MatchPattern(pattern, "a"));
}

TEST(PatternCompile, StartHints)
{
  struct TCase {
    const char* Pattern;
    char StartChar;
    bool Anchored;
    const char* Required;
    const char* InSet;
    const char* NotInSet;
  };
  const TCase cases[] = {
      {"abc|abd", 0, false, "", "a", "bcdx"}, {"^abc", 0, true, "", "a", "b"},
      {"x+abcd", 0, false, "abcd", "x", "a"}, {"x*y", 0, false, "y", "xy", "z"},
      {"abc", 'a', false, "", "a", "b"},      {"1|\\D", 0, false, "", "1ax", "02"},
      {"a?b", 0, false, "", "ab", "c"},       {"(a*)??b", 0, false, "", "ab", "c"},
      {"(a|)??b", 0, false, "", "ab", "c"},   {"[a-c]{0,2}d", 0, false, "d", "abcd", "e"},
  };
  for (const TCase& c : cases) {
    TPatternExpr expr;
    expr.SetExpression(c.Pattern);
    expr.CompileExpression();
    EXPECT_EQ(expr.StartChar(), c.StartChar) << c.Pattern;
    EXPECT_EQ(expr.Anchored(), c.Anchored) << c.Pattern;
    EXPECT_EQ(expr.RequiredText(), c.Required) << c.Pattern;
    for (const char* p = c.InSet; *p; ++p) {
      EXPECT_TRUE(expr.StartCharSetHas(static_cast<unsigned char>(*p))) << c.Pattern << " " << *p;
    }
    for (const char* p = c.NotInSet; *p; ++p) {
      EXPECT_FALSE(expr.StartCharSetHas(static_cast<unsigned char>(*p))) << c.Pattern << " " << *p;
    }
  }
}

TEST(PatternCompile, StartSetDerivationTerminatesOnOptionalChains)
{
  // Thirty optional boundaries used to branch 2^30 times; lazy optional
  // groups that can match empty used to recurse without end.
  std::string chain;
  for (int i = 0; i < 30; ++i) {
    chain += "\\b?";
  }
  const std::string patterns[] = {chain + "a", "(a*)??b", "(a|)??b", "(?-g)(a|)?b", "((a|)?\?)??b"};
  for (const std::string& pattern : patterns) {
    TPatternExpr expr;
    expr.SetExpression(pattern);
    ASSERT_NO_THROW(expr.CompileExpression()) << pattern;
    EXPECT_TRUE(expr.Exec("xxab")) << pattern;
  }
}

TEST(PatternCompile, LongChainsOfOptionalPiecesCompile)
{
  // The start set used to recurse twice per piece and ran out of stack.
  std::string pattern;
  for (int i = 0; i < 100000; ++i) {
    pattern += "a?";
  }
  TPatternExpr expr;
  expr.SetExpression(pattern + "b");
  ASSERT_NO_THROW(expr.CompileExpression());
  EXPECT_TRUE(expr.StartCharSetHas('a'));
  EXPECT_TRUE(expr.StartCharSetHas('b'));
  EXPECT_FALSE(expr.StartCharSetHas('c'));
}

TEST(PatternCompile, ClassMembers)
{
  struct TCase {
    const char* Pattern;
    const char* Matches;
    const char* Rejects;
  };
  const TCase cases[] = {
      {"^[a-]$", "a-", "b"},
      {"^[-a]$", "a-", "b"},
      {"^[a-\\d]$", "a-05", "b"},
      {"^[]a]$", "]a", "b["},
      {"^[^]a]$", "b", "]a"},
      {"^[\\x41-\\x43]$", "ABC", "D@"},
      {"^[\\D]$", "D", "1d"},
      {"^[\\w.]$", "a_9.", "-"},
      {"^[\\s]$", " \t\r\n\f", "x"},
      {"^\\S$", "x", " \t"},
      {"^\\W$", "-", "a_"},
      {"^[a\\]]$", "a]", "\\"},
      {"^[^abcd]$", "e\xFF", "abcd"},
      {"^[\\n\\t]$", "\n\t", "nt"},
      // Windows-1251 Cyrillic ranges, which modifier r (on by default) completes
      {"^[\xE0-\xFF]$", "\xE0\xFF\xB8", "\xDF\xA8"},
      {"^[\xC0-\xDF]$", "\xC0\xDF\xA8", "\xE0\xB8"},
      {"^[\xE0-\xDF]$", "\xC0\xFF\xA8\xB8", "\xBF"},
      {"(?-r)^[\xE0-\xFF]$", "\xE5", "\xB8"},
  };
  for (const TCase& c : cases) {
    for (const char* p = c.Matches; *p; ++p) {
      EXPECT_TRUE(MatchPattern(c.Pattern, std::string(1, *p))) << c.Pattern << " on " << *p;
    }
    for (const char* p = c.Rejects; *p; ++p) {
      EXPECT_FALSE(MatchPattern(c.Pattern, std::string(1, *p))) << c.Pattern << " on " << *p;
    }
  }
}

TEST(PatternCompile, EscapesAndLiteralBraces)
{
  struct TCase {
    const char* Pattern;
    const char* Text;
    bool Expected;
  };
  const TCase cases[] = {
      {"^\\x{41}$", "A", true},
      {"^\\x41$", "A", true},
      {"^\\x{}a$", "a", false},
      {"^\\t\\n\\r\\f\\a\\e$", "\t\n\r\f\a\x1B", true},
      {"^\\.\\\\\\0$", ".\\0", true},
      {"^a{$", "a{", true},
      {"^a{x$", "a{x", true},
      {"^a{2,x}$", "a{2,x}", true},
      {"^a{2}$", "aa", true},
      {"^a{2}$", "aaa", false},
      {"^a{2,}$", "aaaaa", true},
      {"^a{,2}$", "a{,2}", true},
      {"{2}", "x{2}", true},
      {"^(a(?i)b)c$", "aBc", true},
      {"^(a(?i)b)c$", "aBC", false},
      {"^(a(?i)b)c$", "ABc", false},
      {"(?i)abc", "xABC", true},
      {"^a(?#note)b$", "ab", true},
      {"(?x)^a b # comment\n c$", "abc", true},
      {"(?x)^a\\ b$", "a b", true},
      {"(?i-i)^a$", "A", false},
      {"(?m)^b$", "a\nb\nc", true},
      {"^b$", "a\nb\nc", false},
      {"(?-s)^a.b$", "a\nb", false},
      {"^a.b$", "a\nb", true},
      {"(?m)a$", "a\r\nb", true},
      {"\\Aab\\Z", "ab", true},
  };
  for (const TCase& c : cases) {
    EXPECT_EQ(MatchPattern(c.Pattern, c.Text), c.Expected) << c.Pattern << " on '" << c.Text << "'";
  }
}

TEST(PatternCompile, VerifierNamesTheFaultOfADamagedProgram)
{
  // Each row damages one compiled program in one place: a byte, or the 32-bit
  // number that starts there; a cut shortens the program instead.
  struct TCase {
    const char* Pattern;
    int At;
    std::int32_t Value;
    bool Number;
    const char* Problem;
  };
  const TCase cases[] = {
      // 6: OpInputStart, its next offset at 7
      {"^(ab)*c$", 7, 1000, true, "next offset outside the program at 6"},
      {"^(ab)*c$", 7, -6, true, "next offset outside the program at 6"},  // onto the marker
      {"^(ab)*c$", 7, 2, true, "offset into the middle of a node at 8"},
      {"^(ab)*c$", 7, 0, true, "missing next node at 6"},
      {"^(ab)*c$", 6, 14, false, "unknown node kind at 6"},
      {"^(ab)*c$", 0, 0, false, "no program marker at 0"},
      // 6: 'a', 13: OpStar over 18: 'b', 25: OpEnd
      {"ab*", 11, 0, false, "empty literal at 6"},
      {"ab*", 18, OpAlternative, false, "repetition of a node that cannot be repeated at 13"},
      {"ab*", 24, 'c', false, "repeated literal of other than one character at 18"},
      {"ab*", 25, OpLoop, false, "node operand past the end at 25"},
      {"ab*", 26, 5, true, "end node with a successor at 25"},
      // 18: 'b', checked after 25: OpEnd
      {"a|b", 24, 'x', false, "nodes overlap at 18"},
      // 6: OpBraces {2,3}; 38: OpLoopLazy {0,max} with body offset -22; 28, 33: a reference to group 1
      {"a{2,3}", 11, 4, true, "bad repeat bounds at 6"},
      {"(?-g)(a)*", 43, -1, true, "bad loop bounds at 38"},
      {"(?-g)(a)*", 51, 1000, true, "loop body outside the program at 38"},
      {"(a)\\1", 33, 0, false, "bad group number at 28"},
      {"(a)\\1*", 38, 15, false, "bad group number at 33"},
  };
  for (const TCase& c : cases) {
    TPatternExpr expr;
    expr.SetExpression(c.Pattern);
    expr.CompileExpression();
    std::vector<unsigned char> program(expr.ProgramBytes(), expr.ProgramBytes() + expr.ProgramLength());
    std::string problem;
    ASSERT_TRUE(VerifyPatternProgram(program.data(), static_cast<int>(program.size()), &problem)) << problem;
    if (c.Number) {
      WriteProgramInt(program.data() + c.At, c.Value);
    } else {
      program[static_cast<size_t>(c.At)] = static_cast<unsigned char>(c.Value);
    }
    EXPECT_FALSE(VerifyPatternProgram(program.data(), static_cast<int>(program.size()), &problem)) << c.Pattern;
    EXPECT_EQ(problem, c.Problem) << c.Pattern << " at " << c.At;
  }

  TPatternExpr expr;
  expr.SetExpression("^(ab)*c$");
  expr.CompileExpression();
  std::string problem;
  EXPECT_FALSE(VerifyPatternProgram(expr.ProgramBytes(), expr.ProgramLength() - 1, &problem));
  EXPECT_EQ(problem, "node header past the end at 66");
  EXPECT_FALSE(VerifyPatternProgram(expr.ProgramBytes(), NodeHeaderSize, &problem));
  EXPECT_EQ(problem, "program too small at 0");
}
