// Matches patterns against texts. Raw inputs check that a run is repeatable
// and that the match lies inside the text; generated inputs, drawn from the
// syntax this engine shares with ECMAScript, must agree with std::regex_search
// on whether there is a match at all.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

#include "regex/pattern_expr.h"

namespace {

[[noreturn]] void Finding(const std::string& what, const std::string& pattern, const std::string& text)
{
  std::fprintf(stderr, "finding: %s\npattern: \"%s\"\ntext: \"%s\"\n", what.c_str(), pattern.c_str(), text.c_str());
  std::abort();
}

// Reads the fuzzer's bytes as a stream of small choices.
class TChoices {
public:
  TChoices(const std::uint8_t* data, std::size_t size) : Data(data), Size(size) {}
  unsigned Next(unsigned range)
  {
    if (Pos >= Size) {
      return 0;
    }
    return Data[Pos++] % range;
  }
  bool Empty() const { return Pos >= Size; }

private:
  const std::uint8_t* Data;
  std::size_t Size;
  std::size_t Pos = 0;
};

class TCommonSyntax {
public:
  explicit TCommonSyntax(TChoices& choices) : In(choices) {}

  std::string Pattern()
  {
    std::string p;
    if (In.Next(4) == 0) {
      p += "^";
    }
    bool repeats = false;
    p += Alternation(0, repeats);
    if (In.Next(4) == 0) {
      p += "$";
    }
    return p;
  }

private:
  // `repeats` tells whether the text holds a quantifier: one over a group
  // that already holds one is left out, since nested repetition sends
  // std::regex into exponential backtracking (this engine has bounds of its own).
  std::string Alternation(int depth, bool& repeats)
  {
    std::string s = Sequence(depth, repeats);
    for (unsigned n = In.Next(3); n > 0 && depth < 3; --n) {
      s += "|" + Sequence(depth, repeats);
    }
    return s;
  }
  std::string Sequence(int depth, bool& repeats)
  {
    std::string s;
    for (unsigned n = In.Next(5); n > 0; --n) {
      s += Piece(depth, repeats);
    }
    return s;
  }
  std::string Piece(int depth, bool& repeats)
  {
    bool inner = false;
    std::string atom = Atom(depth, inner);
    static const char* const quantifiers[] = {"", "", "*", "+", "?", "{2}", "{0,2}", "{1,3}", "{2,}", "{0,1}"};
    std::string q = quantifiers[In.Next(10)];
    if (inner && q != "?" && q != "{0,1}") {
      q.clear();
    }
    if (!q.empty() && In.Next(3) == 0) {
      q += "?";
    }
    repeats = repeats || inner || !q.empty();
    return atom + q;
  }
  std::string Atom(int depth, bool& repeats)
  {
    static const char* const atoms[] = {"a",    "b",    "c",      "1",   " ",   ".",  "\\d",
                                        "[ab]", "[^a]", "[a-c1]", "\\b", "\\w", "\\s"};
    unsigned pick = In.Next(16);
    if (pick >= 13 && depth < 3 && Groups < 8) {
      ++Groups;
      return "(" + Alternation(depth + 1, repeats) + ")";
    }
    return atoms[pick % 13];
  }

  TChoices& In;
  int Groups = 0;
};

struct TOutcome {
  int Error = 0;
  bool Matched = false;
  int Pos = -1;
  int Len = -1;
  bool operator==(const TOutcome&) const = default;
};

TOutcome Run(const std::string& pattern, const std::string& text, int modifiers)
{
  TOutcome out;
  TPatternExpr expr;
  if (modifiers >= 0) {
    for (int i = 1; i <= 6; ++i) {
      expr.SetModifierByIndex(i, (modifiers >> (i - 1)) & 1);
    }
  }
  expr.SetStepLimit(200000);
  try {
    expr.SetExpression(pattern);
    out.Matched = expr.Exec(text);
    if (out.Matched) {
      out.Pos = expr.MatchPos(0);
      out.Len = expr.MatchLen(0);
    }
  } catch (const EPatternExpr& e) {
    out.Error = e.Code;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  if (size < 2) {
    return 0;
  }
  if (data[0] & 0x80) {
    TChoices choices(data + 1, size - 1);
    TCommonSyntax syntax(choices);
    std::string pattern = syntax.Pattern();
    static const char alphabet[] = "abc1 -A";
    std::string text;
    for (unsigned n = choices.Next(13); n > 0; --n) {
      text += alphabet[choices.Next(7)];
    }
    TOutcome ours = Run(pattern, text, -1);
    if (ours.Error != 0) {
      if (ours.Error >= 1000 && ours.Error != 1003 && ours.Error != 1014 && ours.Error != 1016 && ours.Error != 1017) {
        Finding("run-time error " + std::to_string(ours.Error), pattern, text);
      }
      return 0;  // outside the shared dialect (e.g. an empty operand under "*")
    }
    bool theirs = false;
    try {
      theirs = std::regex_search(text, std::regex(pattern, std::regex::ECMAScript));
    } catch (const std::regex_error&) {
      return 0;
    }
    if (theirs != ours.Matched) {
      Finding(std::string("disagrees with std::regex_search, which says ") + (theirs ? "match" : "no match"), pattern,
              text);
    }
    return 0;
  }

  int modifiers = data[0] & 0x3F;
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::size_t split = rest.find('\0');
  std::string pattern = rest.substr(0, split);
  std::string text = split == std::string::npos ? std::string() : rest.substr(split + 1);
  std::string visible = text.c_str();  // the engine sees the text up to its first NUL

  TOutcome first = Run(pattern, text, modifiers);
  TOutcome second = Run(pattern, text, modifiers);
  if (!(first == second)) {
    Finding("two runs differ", pattern, visible);
  }
  if (first.Error >= 1000 && first.Error != 1003 && first.Error != 1014 && first.Error != 1016 && first.Error != 1017) {
    Finding("run-time error " + std::to_string(first.Error), pattern, visible);
  }
  if (first.Matched) {
    auto length = static_cast<int>(visible.size());
    if (first.Pos < 1 || first.Len < 0 || first.Pos - 1 + first.Len > length) {
      Finding("match outside the text: pos " + std::to_string(first.Pos) + " len " + std::to_string(first.Len), pattern,
              visible);
    }
  }
  return 0;
}
