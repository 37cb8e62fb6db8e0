// Escapes and character classes: the compiler's pieces that read an escape's
// value and build class nodes.
#include <functional>
#include <string>

#include "platform/ascii_text.h"
#include "regex/pattern_expr.h"
#include "regex/pattern_program.h"

namespace {

int HexValue(char c)
{
  if (IsAsciiDigit(c)) {
    return c - '0';
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  return -1;
}

bool IsClassEscapeLetter(char c)
{
  return c == 'd' || c == 's' || c == 'w' || c == 'D' || c == 'S' || c == 'W';
}

// Members of one character class while it is parsed.
class TClassBuilder {
public:
  TClassBuilder() = default;
  // Each member's other case, as `caseSwap` gives it, is a member too.
  explicit TClassBuilder(const std::function<char(char)>* caseSwap) : caseSwap_(caseSwap) {}

  void Add(unsigned char c)
  {
    AddOne(c);
    if (caseSwap_ != nullptr) {
      AddOne(static_cast<unsigned char>((*caseSwap_)(static_cast<char>(c))));
    }
  }
  void AddAll(const std::string& chars)
  {
    for (char c : chars) {
      Add(static_cast<unsigned char>(c));
    }
  }
  void AddRange(unsigned char first, unsigned char last)
  {
    for (int c = first; c <= last; ++c) {
      Add(static_cast<unsigned char>(c));
    }
  }
  // Appends the class node's operand: 3 characters for up to three members
  // (ascending, padded with the highest), else the 32-byte set, complemented
  // for a negated class.
  template <typename Emit>
  void EmitOperand(bool negated, Emit&& appendByte) const
  {
    if (count_ > SmallClassSize) {
      for (std::uint8_t bits : set_) {
        appendByte(static_cast<unsigned char>(negated ? ~bits : bits));
      }
      return;
    }
    unsigned char members[SmallClassSize] = {highest_, highest_, highest_};
    int n = 0;
    for (int c = 0; c < 256 && n < count_; ++c) {
      if (CharSetHas(set_, static_cast<unsigned char>(c))) {
        members[n++] = static_cast<unsigned char>(c);
      }
    }
    for (unsigned char m : members) {
      appendByte(m);
    }
  }
  unsigned char NodeKind(bool negated) const
  {
    return count_ > SmallClassSize ? OpAnyOfSet : (negated ? OpAnyButSmall : OpAnyOfSmall);
  }

private:
  void AddOne(unsigned char c)
  {
    if (CharSetHas(set_, c)) {
      return;
    }
    CharSetAdd(set_, c);
    ++count_;
    if (c > highest_) {
      highest_ = c;
    }
  }

  std::uint8_t set_[ClassSetSize] = {};
  int count_ = 0;
  unsigned char highest_ = 0;
  const std::function<char(char)>* caseSwap_ = nullptr;  // null: no case folding
};

// Windows-1251 Cyrillic letters, for class ranges under modifier r.
void AddCyrillicLower(TClassBuilder& cls)
{
  cls.AddRange(0xE0, 0xFF);
  cls.Add(0xB8);
}

void AddCyrillicUpper(TClassBuilder& cls)
{
  cls.AddRange(0xC0, 0xDF);
  cls.Add(0xA8);
}

}  // namespace

unsigned char TPatternExpr::ReadEscapedChar()
{
  char c = *parsePos_;
  switch (c) {
  case 'a': return 7;
  case 'e': return 27;
  case 'f': return 12;
  case 'n': return 10;
  case 'r': return 13;
  case 't': return 9;
  case 'x': break;
  default: return static_cast<unsigned char>(c);
  }
  ++parsePos_;
  if (*parsePos_ == 0) {
    RaiseError(reCompNoHexCodeAfterBSlashX);
  }
  if (*parsePos_ == '{') {
    unsigned value = 0;
    for (;;) {
      ++parsePos_;
      if (*parsePos_ == 0) {
        RaiseError(reCompNoHexCodeAfterBSlashX);
      }
      if (*parsePos_ == '}') {
        return static_cast<unsigned char>(value);
      }
      int digit = HexValue(*parsePos_);
      if (digit < 0) {
        RaiseError(reCompBadHexDigit);
      }
      if (value >= 16) {
        RaiseError(reCompHexCodeAfterBSlashXTooBig);
      }
      value = value * 16 + static_cast<unsigned>(digit);
    }
  }
  int high = HexValue(*parsePos_);
  if (high < 0) {
    RaiseError(reCompBadHexDigit);
  }
  ++parsePos_;
  if (*parsePos_ == 0) {
    RaiseError(reCompNoHexCodeAfterBSlashX);
  }
  int low = HexValue(*parsePos_);
  if (low < 0) {
    RaiseError(reCompBadHexDigit);
  }
  return static_cast<unsigned char>(high * 16 + low);
}

TPatternExpr::Node TPatternExpr::EmitCharClass(const std::string& members, bool negated)
{
  TClassBuilder cls;
  cls.AddAll(members);
  Node node = AppendNode(cls.NodeKind(negated));
  cls.EmitOperand(negated, [this](unsigned char b) { AppendByte(b); });
  return node;
}

// The cursor is past the "["; it ends past the "]".
TPatternExpr::Node TPatternExpr::ParseClass()
{
  bool negated = false;
  if (*parsePos_ == '^') {
    negated = true;
    ++parsePos_;
  }
  TClassBuilder cls((parseModifierSet_ & ModifierI) != 0 ? &CaseSwap : nullptr);
  bool cyrillic = (parseModifierSet_ & ModifierR) != 0;
  bool canRange = false;  // the last member was a single character
  unsigned char rangeStart = 0;
  if (*parsePos_ == ']') {
    cls.Add(']');
    rangeStart = ']';
    canRange = true;
    ++parsePos_;
  }
  while (*parsePos_ != 0 && *parsePos_ != ']') {
    char c = *parsePos_;
    if (c == '-' && canRange && parsePos_[1] != 0 && parsePos_[1] != ']') {
      ++parsePos_;
      unsigned char rangeEnd = 0;
      if (*parsePos_ == '\\') {
        char e = parsePos_[1];
        if (IsClassEscapeLetter(e)) {
          cls.Add('-');
          canRange = false;
          continue;  // the class escape is read next
        }
        ++parsePos_;
        if (e == 0) {
          RaiseError(reCompParseAtomTrailingBackSlash);
        }
        rangeEnd = ReadEscapedChar();
      } else {
        rangeEnd = static_cast<unsigned char>(*parsePos_);
      }
      ++parsePos_;
      if (cyrillic && rangeStart == 0xE0 && rangeEnd == 0xFF) {
        AddCyrillicLower(cls);
      } else if (cyrillic && rangeStart == 0xC0 && rangeEnd == 0xDF) {
        AddCyrillicUpper(cls);
      } else if (cyrillic && rangeStart == 0xE0 && rangeEnd == 0xDF) {
        AddCyrillicLower(cls);
        AddCyrillicUpper(cls);
      } else if (rangeEnd < rangeStart) {
        RaiseError(reCompInvalidRange);
      } else {
        cls.AddRange(rangeStart, rangeEnd);
      }
      canRange = false;
      continue;
    }
    if (c == '\\') {
      ++parsePos_;
      char e = *parsePos_;
      if (e == 0) {
        RaiseError(reCompParseAtomTrailingBackSlash);
      }
      canRange = false;
      if (e == 'd') {
        cls.AddAll("0123456789");
      } else if (e == 's') {
        cls.AddAll(blankChars_);
      } else if (e == 'w') {
        cls.AddAll(wordCharacters_);
      } else {
        rangeStart = ReadEscapedChar();
        cls.Add(rangeStart);
        canRange = true;
      }
      ++parsePos_;
      continue;
    }
    rangeStart = static_cast<unsigned char>(c);
    cls.Add(rangeStart);
    canRange = true;
    ++parsePos_;
  }
  if (*parsePos_ == 0) {
    RaiseError(reCompUnmatchedSqBrackets);
  }
  ++parsePos_;
  Node node = AppendNode(cls.NodeKind(negated));
  cls.EmitOperand(negated, [this](unsigned char b) { AppendByte(b); });
  return node;
}
