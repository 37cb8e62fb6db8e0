// Character classes, escapes and the start hints: the compiler's pieces that
// read an escape's value and build class nodes, and the derivation, from a
// finished program, of the hints that let the matcher skip start positions.
#include <cstring>
#include <iterator>
#include <vector>

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
struct TClassBuilder {
  std::uint8_t Set[ClassSetSize] = {};
  int Count = 0;
  unsigned char Highest = 0;
  bool Fold = false;                                    // add each member's other case too
  const std::function<char(char)>* CaseSwap = nullptr;  // used when folding

  void AddOne(unsigned char c)
  {
    if (CharSetHas(Set, c)) {
      return;
    }
    CharSetAdd(Set, c);
    ++Count;
    if (c > Highest) {
      Highest = c;
    }
  }
  void Add(unsigned char c)
  {
    AddOne(c);
    if (Fold) {
      AddOne(static_cast<unsigned char>((*CaseSwap)(static_cast<char>(c))));
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
    if (Count > SmallClassSize) {
      for (std::uint8_t bits : Set) {
        appendByte(static_cast<unsigned char>(negated ? ~bits : bits));
      }
      return;
    }
    unsigned char members[SmallClassSize] = {Highest, Highest, Highest};
    int n = 0;
    for (int c = 0; c < 256 && n < Count; ++c) {
      if (CharSetHas(Set, static_cast<unsigned char>(c))) {
        members[n++] = static_cast<unsigned char>(c);
      }
    }
    for (unsigned char m : members) {
      appendByte(m);
    }
  }
  unsigned char NodeKind(bool negated) const
  {
    return Count > SmallClassSize ? OpAnyOfSet : (negated ? OpAnyButSmall : OpAnyOfSmall);
  }
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

// Nodes still to be filled from. The walk keeps its own list rather than
// recursing, as optional pieces nest one branch per piece; most programs need
// only the slots kept in place.
class TNodeStack {
public:
  void Push(const unsigned char* node)
  {
    if (Size < std::size(Inline)) {
      Inline[Size] = node;
    } else {
      Spill.push_back(node);
    }
    ++Size;
  }
  bool Empty() const { return Size == 0; }
  const unsigned char* Pop()
  {
    --Size;
    if (Size < std::size(Inline)) {
      return Inline[Size];
    }
    const unsigned char* node = Spill.back();
    Spill.pop_back();
    return node;
  }

private:
  const unsigned char* Inline[32];
  std::size_t Size = 0;
  std::vector<const unsigned char*> Spill;
};

}  // namespace

// ---- escapes ----

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

// ---- character classes ----

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
  TClassBuilder cls;
  cls.Fold = (parseModifierSet_ & ModifierI) != 0;
  cls.CaseSwap = &CaseSwap;
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

// ---- start hints ----

// `alwaysConsumes` and `startsWithRepeat` are the width and repetition flags
// of the whole expression.
void TPatternExpr::DeriveStartHints(bool alwaysConsumes, bool startsWithRepeat)
{
  std::memset(startCharSet_, 0, sizeof startCharSet_);
  size_t words = (static_cast<size_t>(programSize_) + 63) / 64;
  std::uint64_t small[16] = {};
  std::vector<std::uint64_t> large;
  std::uint64_t* visited = small;
  if (words > std::size(small)) {
    large.assign(words, 0);
    visited = large.data();
  }
  FillStartCharSet(program_ + 1, visited);

  startChar_ = 0;
  anchored_ = 0;
  requiredText_ = nullptr;
  requiredLength_ = 0;
  // Back-references can match empty text although they count as having width.
  mayMatchEmpty_ = !alwaysConsumes || hasBackRef_;
  CNode first = program_ + 1;
  CNode next = NextNode(first);
  if (next == nullptr || *next != OpEnd) {
    return;
  }
  CNode inner = first + NodeHeaderSize;
  if (*inner == OpLiteral) {
    startChar_ = static_cast<char>(FirstLiteralCharOf(inner));
  } else if (*inner == OpInputStart) {
    anchored_ = 1;
  }
  if (startsWithRepeat) {
    int guard = programSize_;
    for (CNode scan = inner; scan != nullptr && guard-- > 0; scan = NextNode(scan)) {
      if (*scan == OpLiteral) {
        const char* text = LiteralTextOf(scan);
        auto length = static_cast<std::int32_t>(std::strlen(text));
        if (length >= requiredLength_) {
          requiredText_ = text;
          requiredLength_ = length;
        }
      }
    }
  }
}

// Adds to startCharSet_ the characters that can begin a match at `start`.
void TPatternExpr::FillStartCharSet(CNode start, std::uint64_t* visited)
{
  auto addWhere = [this](auto admits) {
    for (int c = 0; c < 256; ++c) {
      if (admits(static_cast<unsigned char>(c))) {
        CharSetAdd(startCharSet_, static_cast<unsigned char>(c));
      }
    }
  };
  auto inside = [this](CNode n) -> CNode {
    if (n == nullptr || n < program_ + 1 || n >= program_ + programSize_) {
      return nullptr;
    }
    return n;
  };
  // Each node is filled once per derivation: what it adds is already in the
  // set, and loops and chains of optional pieces would otherwise be walked for
  // ever or branch exponentially.
  auto firstVisit = [&](CNode n) {
    auto offset = static_cast<size_t>(n - program_);
    std::uint64_t bit = std::uint64_t{1} << (offset & 63);
    if (visited[offset >> 6] & bit) {
      return false;
    }
    visited[offset >> 6] |= bit;
    return true;
  };
  TNodeStack pending;
  pending.Push(start);
  while (!pending.Empty()) {
    // Walks one chain by next offsets; `next` becomes null where it stops.
    for (CNode node = inside(pending.Pop()); node != nullptr && firstVisit(node);) {
      unsigned char kind = *node;
      CNode next = NextNode(node);
      switch (kind) {
      case OpEnd: next = nullptr; break;
      case OpInputStart:
      case OpInputEnd:
      case OpBack:
      case OpEmpty:
      case OpComment:
      case OpLineStart:
      case OpLineEnd:
      case OpWordBoundary:
      case OpNonWordBoundary:
      case OpLoopEntry: break;
      case OpAny:
      case OpAnyInLine:
      case OpBackRef:
      case OpBackRefCI:
        std::memset(startCharSet_, 0xFF, sizeof startCharSet_);
        next = nullptr;
        break;
      case OpDigit:
        for (unsigned char c = '0'; c <= '9'; ++c) {
          CharSetAdd(startCharSet_, c);
        }
        next = nullptr;
        break;
      case OpNonDigit:
        addWhere([](unsigned char c) { return !IsAsciiDigit(static_cast<char>(c)); });
        next = nullptr;
        break;
      case OpLiteral:
        CharSetAdd(startCharSet_, FirstLiteralCharOf(node));
        next = nullptr;
        break;
      case OpLiteralCI:
        CharSetAdd(startCharSet_, FirstLiteralCharOf(node));
        CharSetAdd(startCharSet_, static_cast<unsigned char>(CaseSwap(static_cast<char>(FirstLiteralCharOf(node)))));
        next = nullptr;
        break;
      case OpAnyOfSmall:
        for (int i = 0; i < SmallClassSize; ++i) {
          CharSetAdd(startCharSet_, node[NodeHeaderSize + i]);
        }
        next = nullptr;
        break;
      case OpAnyButSmall:
        addWhere([node](unsigned char c) { return ClassNodeHas(node, c); });
        next = nullptr;
        break;
      case OpAnyOfSet:
        for (int i = 0; i < ClassSetSize; ++i) {
          startCharSet_[i] |= node[NodeHeaderSize + i];
        }
        next = nullptr;
        break;
      case OpAlternative:
        if (next == nullptr || *next != OpAlternative) {
          next = inside(node + NodeHeaderSize);  // no choice here
          break;
        }
        pending.Push(node + NodeHeaderSize);
        for (CNode alt = next; alt != nullptr && *alt == OpAlternative; alt = NextNode(alt)) {
          if (!firstVisit(alt)) {
            break;
          }
          pending.Push(alt + NodeHeaderSize);
        }
        next = nullptr;
        break;
      case OpLoop:
      case OpLoopLazy:
        pending.Push(node + LoopBodyOffsetOf(node));
        if (CountMinOf(node) != 0) {
          next = nullptr;
        }
        break;
      case OpStar:
      case OpStarLazy: pending.Push(node + NodeHeaderSize); break;
      case OpPlus:
      case OpPlusLazy: next = inside(node + NodeHeaderSize); break;
      case OpBraces:
      case OpBracesLazy:
        pending.Push(node + BracesHeaderSize);
        if (CountMinOf(node) > 0) {
          next = nullptr;
        }
        break;
      default:
        if (!IsGroupOpen(kind) && !IsGroupClose(kind)) {
          RaiseError(reExecMatchPrimMemoryCorruption);
        }
        break;
      }
      node = next;
    }
  }
}
