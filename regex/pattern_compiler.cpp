// The compiler: a recursive-descent parser that turns the expression text into
// a node program. Escapes and character classes live in pattern_classes.cpp,
// the start hints in pattern_start_hints.cpp.
#include <cstdlib>
#include <cstring>

#include "platform/ascii_text.h"
#include "regex/pattern_expr.h"
#include "regex/pattern_program.h"

namespace {

// Parse flags returned by the compiler's routines.
constexpr int HasWidth = 1;      // always consumes at least one character
constexpr int SingleChar = 2;    // one-character node that RegRepeat can count
constexpr int SpecialStart = 4;  // starts with a repetition

constexpr std::int32_t UnboundedCount = 2147483646;

bool IsPatternSpecial(char c)
{
  switch (c) {
  case 0:
  case '^':
  case '$':
  case '.':
  case '[':
  case '(':
  case ')':
  case '|':
  case '?':
  case '+':
  case '*':
  case '\\':
  case '{': return true;
  default: return false;
  }
}

bool IsQuantifier(char c)
{
  return c == '*' || c == '+' || c == '?' || c == '{';
}

bool IsExtendedBlank(char c)
{
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Reads the decimal digits from `p` on; false when there are none.
bool ReadDigits(const char*& p, const char*& end)
{
  const char* begin = p;
  while (IsAsciiDigit(*p)) {
    ++p;
  }
  end = p;
  return p != begin;
}

std::int32_t DigitsValue(const char* begin, const char* end)
{
  std::int32_t value = 0;
  for (const char* d = begin; d < end; ++d) {
    value = value * 10 + (*d - '0');
  }
  return value;
}

// Raised inside the compiler when a program outgrows the object's own buffer.
struct TProgramOverflow {};

}  // namespace

void TPatternExpr::CompileText()
{
  parsePos_ = nullptr;
  exprStart_ = hasExpression_ ? expressionText_.c_str() : nullptr;
  DiscardProgram();
  compiled_ = false;
  if (exprStart_ == nullptr) {
    RaiseError(reCompNullArgument);
  }
  try {
    programModifierSet_ = modifierSet_;
    parseModifierSet_ = modifierSet_;
    hasBackRef_ = false;
    int flags = 0;

    // Most programs fit the object's own buffer: emit there straight away and
    // run the sizing pass only for a program that does not fit.
    bool fitted = true;
    try {
      EmitInto(programInline_, static_cast<std::int32_t>(sizeof programInline_), flags);
      programSize_ = static_cast<std::int32_t>(emitPos_ - programInline_);
    } catch (const TProgramOverflow&) {
      fitted = false;
    }
    if (!fitted) {
      parseModifierSet_ = modifierSet_;
      hasBackRef_ = false;
      parsePos_ = exprStart_;
      groupCount_ = 1;
      programSize_ = 0;
      emitPos_ = reinterpret_cast<unsigned char*>(&sizingSentinel_);
      AppendByte(ProgramMarker);
      ParseReg(false, flags);
      std::int32_t size = programSize_;
      programHeap_.reset(new unsigned char[static_cast<size_t>(size)]);
      EmitInto(programHeap_.get(), size, flags);
      if (emitPos_ != program_ + size) {
        RaiseError(reCompInternalUrp);
      }
      programSize_ = size;
    }
    DeriveStartHints((flags & HasWidth) != 0, (flags & SpecialStart) != 0);
  } catch (...) {
    DiscardProgram();
    exprStart_ = nullptr;
    compiled_ = false;
    throw;
  }
  exprStart_ = nullptr;
  compiled_ = true;
}

void TPatternExpr::EmitInto(unsigned char* buffer, std::int32_t size, int& flags)
{
  program_ = buffer;
  programSize_ = size;
  parseModifierSet_ = modifierSet_;
  hasBackRef_ = false;
  parsePos_ = exprStart_;
  groupCount_ = 1;
  emitPos_ = buffer;
  emitLimit_ = buffer + size;
  AppendByte(ProgramMarker);
  ParseReg(false, flags);
}

void TPatternExpr::EmitOverflow()
{
  if (program_ == programInline_) {
    throw TProgramOverflow{};
  }
  RaiseError(reCompInternalUrp);  // the sizing pass counted too little
  std::abort();                   // not reached: RaiseError always throws
}

// Appends a node with no successor yet. Like every emission primitive, it only
// counts bytes during the sizing pass.
TPatternExpr::Node TPatternExpr::AppendNode(unsigned char kind)
{
  if (Sizing()) {
    programSize_ += NodeHeaderSize;
    return emitPos_;
  }
  if (emitLimit_ - emitPos_ < NodeHeaderSize) {
    EmitOverflow();
  }
  Node node = emitPos_;
  node[0] = kind;
  WriteProgramInt(node + NextOffsetAt, 0);
  emitPos_ += NodeHeaderSize;
  return node;
}

void TPatternExpr::AppendByte(unsigned char byte)
{
  if (Sizing()) {
    ++programSize_;
    return;
  }
  if (emitPos_ >= emitLimit_) {
    EmitOverflow();
  }
  *emitPos_++ = byte;
}

void TPatternExpr::AppendInt(std::int32_t value)
{
  if (Sizing()) {
    programSize_ += ProgramIntSize;
    return;
  }
  if (emitLimit_ - emitPos_ < ProgramIntSize) {
    EmitOverflow();
  }
  WriteProgramInt(emitPos_, value);
  emitPos_ += ProgramIntSize;
}

void TPatternExpr::InsertNodeBefore(unsigned char kind, Node position, int size)
{
  if (Sizing()) {
    programSize_ += size;
    return;
  }
  if (position < program_ || position > emitPos_) {
    RaiseError(reCompInternalUrp);
  }
  if (emitLimit_ - emitPos_ < size) {
    EmitOverflow();
  }
  std::memmove(position + size, position, static_cast<size_t>(emitPos_ - position));
  emitPos_ += size;
  position[0] = kind;
  std::memset(position + 1, 0, static_cast<size_t>(size - 1));
}

TPatternExpr::Node TPatternExpr::NextNodeOf(Node node) const
{
  if (node == nullptr || node == reinterpret_cast<const unsigned char*>(&sizingSentinel_)) {
    return nullptr;
  }
  std::int32_t offset = NextOffsetOf(node);
  if (offset == 0) {
    return nullptr;
  }
  return node + offset;
}

void TPatternExpr::LinkTail(Node chain, Node target)
{
  if (Sizing()) {
    return;
  }
  Node scan = chain;
  for (Node next = NextNodeOf(scan); next != nullptr; next = NextNodeOf(scan)) {
    scan = next;
  }
  WriteProgramInt(scan + NextOffsetAt, static_cast<std::int32_t>(target - scan));
}

void TPatternExpr::LinkOperandTail(Node node, Node target)
{
  if (Sizing() || node[0] != OpAlternative) {
    return;
  }
  LinkTail(node + NodeHeaderSize, target);
}

TPatternExpr::Node TPatternExpr::ParseReg(bool inGroup, int& flags)
{
  flags = HasWidth;
  Node ret = nullptr;
  int group = 0;
  if (inGroup) {
    if (groupCount_ > MaxGroupNumber) {
      RaiseError(reCompParseRegTooManyBrackets);
    }
    group = groupCount_++;
    ret = AppendNode(static_cast<unsigned char>(OpGroupOpen + group));
  }
  int savedModifiers = parseModifierSet_;

  int altFlags = 0;
  Node branch = ParseAlternative(altFlags);
  if (ret != nullptr) {
    LinkTail(ret, branch);
  } else {
    ret = branch;
  }
  if (!(altFlags & HasWidth)) {
    flags &= ~HasWidth;
  }
  flags |= altFlags & SpecialStart;
  while (*parsePos_ == '|') {
    ++parsePos_;
    // Linked from the branch before rather than from the first one, so a
    // long alternation is not walked once per branch.
    Node previous = branch;
    branch = ParseAlternative(altFlags);
    LinkTail(previous, branch);
    if (!(altFlags & HasWidth)) {
      flags &= ~HasWidth;
    }
    flags |= altFlags & SpecialStart;
  }

  Node ender =
      AppendNode(inGroup ? static_cast<unsigned char>(OpGroupClose + group) : static_cast<unsigned char>(OpEnd));
  LinkTail(ret, ender);
  for (Node scan = ret; scan != nullptr; scan = NextNodeOf(scan)) {
    LinkOperandTail(scan, ender);
  }

  if (inGroup) {
    if (*parsePos_ != ')') {
      RaiseError(reCompParseRegUnmatchedBrackets);
    }
    ++parsePos_;
  } else if (*parsePos_ != 0) {
    RaiseError(*parsePos_ == ')' ? reCompParseRegUnmatchedBrackets2 : reCompParseRegJunkOnEnd);
  }
  parseModifierSet_ = savedModifiers;
  return ret;
}

TPatternExpr::Node TPatternExpr::ParseAlternative(int& flags)
{
  flags = 0;
  Node ret = AppendNode(OpAlternative);
  Node chain = nullptr;
  while (*parsePos_ != 0 && *parsePos_ != '|' && *parsePos_ != ')') {
    int pieceFlags = 0;
    Node latest = ParseQuantified(pieceFlags);
    flags |= pieceFlags & HasWidth;
    if (chain == nullptr) {
      flags |= pieceFlags & SpecialStart;
    } else {
      LinkTail(chain, latest);
    }
    chain = latest;
  }
  if (chain == nullptr) {
    AppendNode(OpEmpty);
  }
  return ret;
}

TPatternExpr::Node TPatternExpr::ParseQuantified(int& flags)
{
  int atomFlags = 0;
  Node atom = ParseAtom(atomFlags);
  char op = *parsePos_;
  if (!IsQuantifier(op)) {
    flags = atomFlags;
    return atom;
  }
  if (!(atomFlags & HasWidth) && op != '?') {
    RaiseError(reCompPlusStarOperandCouldBeEmpty);
  }
  std::int32_t min = 0;
  std::int32_t max = 0;
  if (op == '{' && !ParseBraces(min, max)) {
    flags = atomFlags;  // not a counted repeat: the "{" is literal text
    return atom;
  }
  // With braces the cursor now stands on the "}", else on the quantifier.
  bool lazy = parsePos_[1] == '?' || (parseModifierSet_ & ModifierG) == 0;
  bool single = (atomFlags & SingleChar) != 0;

  switch (op) {
  case '*':
    flags = SpecialStart;
    if (single) {
      InsertNodeBefore(lazy ? OpStarLazy : OpStar, atom, NodeHeaderSize);
    } else if (lazy) {
      EmitCountedLoop(atom, 0, UnboundedCount, true);
    } else {
      EmitGreedyStar(atom);
    }
    break;
  case '+':
    flags = HasWidth | SpecialStart;
    if (single) {
      InsertNodeBefore(lazy ? OpPlusLazy : OpPlus, atom, NodeHeaderSize);
    } else if (lazy) {
      EmitCountedLoop(atom, 1, UnboundedCount, true);
    } else {
      EmitGreedyPlus(atom);
    }
    break;
  case '?':
    flags = 0;
    if (!lazy) {
      EmitGreedyOptional(atom);
    } else if (single) {
      EmitCountedRepeat(atom, 0, 1, true);
    } else {
      EmitCountedLoop(atom, 0, 1, true);
    }
    break;
  default:  // '{'
    // Only a minimum above 0 guarantees width: with the maximum instead,
    // "(a{0,3})*" would repeat an empty match for ever.
    flags = (max > 0 ? SpecialStart : 0) | (min > 0 ? HasWidth : 0);
    if (single) {
      EmitCountedRepeat(atom, min, max, lazy);
    } else {
      EmitCountedLoop(atom, min, max, lazy);
    }
    break;
  }

  if (parsePos_[1] == '?') {
    ++parsePos_;
  }
  ++parsePos_;
  if (IsQuantifier(*parsePos_)) {
    RaiseError(reCompNestedQuantifier);
  }
  return atom;
}

// The cursor is on a "{". A counted repeat is "{" digits ["," [digits]] "}";
// anything else leaves the cursor where it was and yields false. On success
// the cursor stands on the "}".
bool TPatternExpr::ParseBraces(std::int32_t& min, std::int32_t& max)
{
  const char* p = parsePos_ + 1;
  const char* minDigits = p;
  const char* minEnd = nullptr;
  if (!ReadDigits(p, minEnd) || (*p != '}' && *p != ',')) {
    return false;
  }
  const char* maxDigits = nullptr;
  const char* maxEnd = nullptr;
  if (*p == ',') {
    maxDigits = ++p;
    ReadDigits(p, maxEnd);
    if (*p != '}') {
      return false;
    }
  }
  parsePos_ = p;
  if (minEnd - minDigits > 8 || (maxDigits != nullptr && maxEnd - maxDigits > 8)) {
    RaiseError(reCompBracesArgTooBig);
  }
  min = DigitsValue(minDigits, minEnd);
  max = min;
  if (maxDigits != nullptr) {
    max = maxDigits == maxEnd ? UnboundedCount : DigitsValue(maxDigits, maxEnd);
  }
  if (min > max) {
    RaiseError(reCompBracesMinParamGreaterMax);
  }
  return true;
}

// A greedy "*" on a complex atom: an alternative before the atom whose
// operand leads back to itself, and a second alternative that leaves.
void TPatternExpr::EmitGreedyStar(Node atom)
{
  InsertNodeBefore(OpAlternative, atom, NodeHeaderSize);
  Node back = AppendNode(OpBack);
  LinkOperandTail(atom, back);
  LinkTail(back, atom);
  LinkTail(atom, AppendNode(OpAlternative));
  LinkTail(atom, AppendNode(OpEmpty));
}

// A greedy "+" on a complex atom: after the atom, an alternative that leads
// back to it and one that leaves.
void TPatternExpr::EmitGreedyPlus(Node atom)
{
  Node loopBack = AppendNode(OpAlternative);
  LinkTail(atom, loopBack);
  LinkTail(AppendNode(OpBack), atom);
  LinkTail(loopBack, AppendNode(OpAlternative));
  LinkTail(atom, AppendNode(OpEmpty));
}

// A greedy "?": the atom and an empty node as two alternatives.
void TPatternExpr::EmitGreedyOptional(Node atom)
{
  InsertNodeBefore(OpAlternative, atom, NodeHeaderSize);
  LinkTail(atom, AppendNode(OpAlternative));
  Node empty = AppendNode(OpEmpty);
  LinkTail(atom, empty);
  LinkOperandTail(atom, empty);
}

void TPatternExpr::EmitCountedRepeat(Node atom, std::int32_t min, std::int32_t max, bool lazy)
{
  InsertNodeBefore(lazy ? OpBracesLazy : OpBraces, atom, BracesHeaderSize);
  if (!Sizing()) {
    WriteProgramInt(atom + CountMinAt, min);
    WriteProgramInt(atom + CountMaxAt, max);
  }
}

void TPatternExpr::EmitCountedLoop(Node atom, std::int32_t min, std::int32_t max, bool lazy)
{
  InsertNodeBefore(OpLoopEntry, atom, NodeHeaderSize);
  Node loop = AppendNode(lazy ? OpLoopLazy : OpLoop);
  AppendInt(min);
  AppendInt(max);
  if (Sizing()) {
    AppendInt(0);
    return;
  }
  Node body = atom + NodeHeaderSize;
  AppendInt(static_cast<std::int32_t>(body - loop));
  LinkTail(atom, loop);
  LinkTail(body, loop);
}

TPatternExpr::Node TPatternExpr::ParseAtom(int& flags)
{
  flags = 0;
  bool lineMode = (parseModifierSet_ & ModifierM) != 0 && (!lineBreakChars_.empty() || pairedSeparatorSet_);
  char c = *parsePos_++;
  switch (c) {
  case 0:
  case ')':
  case '|':
    --parsePos_;
    RaiseError(reCompInternalUrp);
    return nullptr;
  case '^': return AppendNode(lineMode ? OpLineStart : OpInputStart);
  case '$': return AppendNode(lineMode ? OpLineEnd : OpInputEnd);
  case '.':
    if (parseModifierSet_ & ModifierS) {
      flags = HasWidth | SingleChar;
      return AppendNode(OpAny);
    }
    flags = HasWidth;
    return AppendNode(OpAnyInLine);
  case '[': flags = HasWidth | SingleChar; return ParseClass();
  case '(': return ParseParenthesis(flags);
  case '*':
  case '+':
  case '?':
    RaiseError(reCompQuantifierFollowsNothing);  // the cursor is past the quantifier
    return nullptr;
  case '\\': return ParseEscape(flags);
  default: --parsePos_; return ParseLiteralRun(flags);
  }
}

// The cursor is past a "(": a comment, a modifier group or a group.
TPatternExpr::Node TPatternExpr::ParseParenthesis(int& flags)
{
  if (parsePos_[0] == '?' && parsePos_[1] == '#') {
    parsePos_ += 2;
    while (*parsePos_ != 0 && *parsePos_ != ')') {
      ++parsePos_;
    }
    if (*parsePos_ == 0) {
      RaiseError(reCompUnclosedComment);
    }
    ++parsePos_;
    return AppendNode(OpComment);
  }
  if (parsePos_[0] == '?') {
    const char* letters = parsePos_ + 1;
    const char* close = letters;
    while (*close != 0 && *close != ')') {
      ++close;
    }
    // The cursor has run to the ")" (or the end) before the letters are read.
    parsePos_ = close;
    if (*close == 0 || !ParseModifierLetters(std::string(letters, close), parseModifierSet_)) {
      RaiseError(reCompUnrecognizedModifier);
    }
    ++parsePos_;
    return AppendNode(OpComment);
  }
  int groupFlags = 0;
  Node group = ParseReg(true, groupFlags);
  flags = groupFlags & (HasWidth | SpecialStart);
  return group;
}

// The cursor is past a "\"; it ends past the escape.
TPatternExpr::Node TPatternExpr::ParseEscape(int& flags)
{
  bool fold = (parseModifierSet_ & ModifierI) != 0;
  char e = *parsePos_;
  if (e == 0) {
    RaiseError(reCompTrailingBackSlash);
  }
  Node node = nullptr;
  flags = HasWidth | SingleChar;
  switch (e) {
  case '1':
  case '2':
  case '3':
  case '4':
  case '5':
  case '6':
  case '7':
  case '8':
  case '9':
    node = AppendNode(fold ? OpBackRefCI : OpBackRef);
    AppendByte(static_cast<unsigned char>(e - '0'));
    hasBackRef_ = true;
    break;
  case 'A':
  case 'Z':
  case 'b':
  case 'B':
    flags = 0;
    node = AppendNode(e == 'A' ? OpInputStart : e == 'Z' ? OpInputEnd : e == 'b' ? OpWordBoundary : OpNonWordBoundary);
    break;
  case 'd': node = AppendNode(OpDigit); break;
  case 'D': node = AppendNode(OpNonDigit); break;
  case 's':
  case 'S': node = EmitCharClass(blankChars_, e == 'S'); break;
  case 'w':
  case 'W': node = EmitCharClass(wordCharacters_, e == 'W'); break;
  default: {
    unsigned char ch = ReadEscapedChar();
    if (ch == 0) {
      // The text never holds a NUL (it ends there), so "\x00" can never
      // match; an empty literal would match everywhere instead.
      node = EmitCharClass(std::string(1, '\0'), false);
    } else {
      node = AppendNode(fold ? OpLiteralCI : OpLiteral);
      AppendByte(ch);
      AppendByte(0);
    }
    break;
  }
  }
  ++parsePos_;
  return node;
}

// The cursor is on a character that starts no other atom: a run of literal
// text, or under modifier x a blank run or a "#" comment.
TPatternExpr::Node TPatternExpr::ParseLiteralRun(int& flags)
{
  bool extended = (parseModifierSet_ & ModifierX) != 0;
  char c = *parsePos_;
  if (extended) {
    if (c == '#') {
      while (*parsePos_ != 0 && *parsePos_ != '\n' && *parsePos_ != '\r') {
        ++parsePos_;
      }
      while (*parsePos_ == '\n' || *parsePos_ == '\r') {
        ++parsePos_;
      }
      return AppendNode(OpComment);
    }
    if (IsExtendedBlank(c)) {
      while (IsExtendedBlank(*parsePos_)) {
        ++parsePos_;
      }
      return AppendNode(OpComment);
    }
  }
  auto endsRun = [extended](char ch) { return IsPatternSpecial(ch) || (extended && ch == '#'); };
  const char* run = parsePos_;
  int length = 0;
  while (!endsRun(run[length])) {
    ++length;
  }
  if (length == 0) {
    if (run[0] != '{') {
      RaiseError(reCompRarseAtomInternalDisaster);
    }
    length = 1;
    while (!endsRun(run[length])) {
      ++length;
    }
  }
  if (length > 1 && IsQuantifier(run[length])) {
    --length;  // the quantifier applies to the last character alone
  }
  flags = HasWidth | (length == 1 ? SingleChar : 0);
  Node node = AppendNode((parseModifierSet_ & ModifierI) != 0 ? OpLiteralCI : OpLiteral);
  for (int i = 0; i < length; ++i) {
    if (!(extended && IsExtendedBlank(run[i]))) {
      AppendByte(static_cast<unsigned char>(run[i]));
    }
  }
  AppendByte(0);
  parsePos_ += length;
  return node;
}
