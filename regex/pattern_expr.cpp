#include "regex/pattern_expr.h"

#include <cstdlib>
#include <cstring>
#include <iterator>
#include <vector>

#include "regex/case_swap.h"
#include "regex/pattern_program.h"

namespace {

// Parse flags returned by the compiler's routines.
constexpr int HasWidth = 1;      // always consumes at least one character
constexpr int SingleChar = 2;    // one-character node that RegRepeat can count
constexpr int SpecialStart = 4;  // starts with a repetition

constexpr std::int32_t UnboundedCount = 2147483646;

// The matcher recurses about three times per iteration of a complex
// repetition. The budget leaves half of a 2 MB Windows main-thread stack (the
// programs' reserve) to the callers; sanitizer frames are several times
// larger, on an 8 MB stack.
#if defined(__SANITIZE_ADDRESS__)
#define KORVALIND_REGEX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KORVALIND_REGEX_ASAN 1
#endif
#endif
#ifdef KORVALIND_REGEX_ASAN
constexpr std::size_t DefaultStackBudget = 4u << 20;
#else
constexpr std::size_t DefaultStackBudget = 1u << 20;
#endif

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
  case '{':
    return true;
  default:
    return false;
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

bool IsDigitChar(unsigned char c)
{
  return c >= '0' && c <= '9';
}

int HexValue(char c)
{
  if (c >= '0' && c <= '9') {
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

int ModifierBit(char letter)
{
  switch (letter) {
  case 'i': case 'I': return ModifierI;
  case 'r': case 'R': return ModifierR;
  case 's': case 'S': return ModifierS;
  case 'g': case 'G': return ModifierG;
  case 'm': case 'M': return ModifierM;
  case 'x': case 'X': return ModifierX;
  default: return 0;
  }
}

// Members of one character class while it is parsed.
struct TClassBuilder {
  std::uint8_t Set[32] = {};
  int Count = 0;
  unsigned char Highest = 0;
  bool Fold = false;
  const std::function<char(char)>* Swap = nullptr;

  void AddOne(unsigned char c)
  {
    std::uint8_t bit = static_cast<std::uint8_t>(1u << (c & 7));
    if (Set[c >> 3] & bit) {
      return;
    }
    Set[c >> 3] |= bit;
    ++Count;
    if (c > Highest) {
      Highest = c;
    }
  }
  void Add(unsigned char c)
  {
    AddOne(c);
    if (Fold) {
      AddOne(static_cast<unsigned char>((*Swap)(static_cast<char>(c))));
    }
  }
  void AddAll(const std::string& chars)
  {
    for (char c : chars) {
      Add(static_cast<unsigned char>(c));
    }
  }
};

// Windows-1251 Cyrillic letters, for class ranges under modifier r.
void AddCyrillicLower(TClassBuilder& cls)
{
  for (int c = 0xE0; c <= 0xFF; ++c) {
    cls.Add(static_cast<unsigned char>(c));
  }
  cls.Add(0xB8);
}

void AddCyrillicUpper(TClassBuilder& cls)
{
  for (int c = 0xC0; c <= 0xDF; ++c) {
    cls.Add(static_cast<unsigned char>(c));
  }
  cls.Add(0xA8);
}

// Raised inside the compiler when a program outgrows the object's own buffer.
struct TProgramOverflow {};

}  // namespace

TPatternExpr::TPatternExpr() : CaseSwap(DefaultCaseSwap), StackBudget(DefaultStackBudget)
{
  SetModifierByIndex(1, false);
  SetModifierByIndex(2, true);
  SetModifierByIndex(3, true);
  SetModifierByIndex(4, true);
  SetModifierByIndex(5, false);
  Blanks = " \t\n\r\f";
  WordChars = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
  LineBreaks = "\r\n";
  SetLinePairedSeparator("\r\n");
}

TPatternExpr::~TPatternExpr() = default;

void TPatternExpr::SetExpression(const std::string& text)
{
  if (IsCompiled && HasExpression == !text.empty() && text == ExpressionText) {
    return;
  }
  IsCompiled = false;
  DiscardProgram();
  ExpressionText = text;
  HasExpression = !text.empty();
}

bool TPatternExpr::ModifierByIndex(int index) const
{
  if (index < 1 || index > 6) {
    const_cast<TPatternExpr*>(this)->RaiseError(reModifierUnsupported);
  }
  return (Modifiers & (1 << (index - 1))) != 0;
}

void TPatternExpr::SetModifierByIndex(int index, bool on)
{
  if (index < 1 || index > 6) {
    RaiseError(reModifierUnsupported);
  }
  if (on) {
    Modifiers |= 1 << (index - 1);
  } else {
    Modifiers &= ~(1 << (index - 1));
  }
}

bool TPatternExpr::ParseModifierLetters(const std::string& letters, int& set)
{
  bool on = true;
  for (char c : letters) {
    if (c == '-') {
      on = false;
      continue;
    }
    int bit = ModifierBit(c);
    if (bit == 0) {
      return false;
    }
    if (on) {
      set |= bit;
    } else {
      set &= ~bit;
    }
  }
  return true;
}

void TPatternExpr::SetInputString(const std::string& text)
{
  std::memset(MatchStart, 0, sizeof MatchStart);
  std::memset(MatchEnd, 0, sizeof MatchEnd);
  InputText = text;
  HasInput = true;
}

std::string TPatternExpr::LinePairedSeparator() const
{
  if (!PairedSeparatorSet) {
    return std::string();
  }
  return std::string{PairedSeparatorHead, PairedSeparatorTail};
}

void TPatternExpr::SetLinePairedSeparator(const std::string& pair)
{
  if (pair.size() == 2) {
    if (pair[0] == pair[1]) {
      RaiseError(reCompBadLinePairedSeparator);
    }
    if (!PairedSeparatorSet || PairedSeparatorHead != pair[0] || PairedSeparatorTail != pair[1]) {
      PairedSeparatorSet = true;
      PairedSeparatorHead = pair[0];
      PairedSeparatorTail = pair[1];
      DiscardProgram();
    }
  } else if (pair.empty()) {
    if (PairedSeparatorSet) {
      PairedSeparatorSet = false;
      DiscardProgram();
    }
  } else {
    RaiseError(reCompBadLinePairedSeparator);
  }
}

int TPatternExpr::MatchPos(int n) const
{
  if (n < 0 || n > 14 || MatchStart[n] == nullptr || MatchEnd[n] == nullptr) {
    return -1;
  }
  return static_cast<int>(MatchStart[n] - InputText.c_str()) + 1;
}

int TPatternExpr::MatchLen(int n) const
{
  if (n < 0 || n > 14 || MatchStart[n] == nullptr || MatchEnd[n] == nullptr || MatchEnd[n] < MatchStart[n]) {
    return -1;
  }
  return static_cast<int>(MatchEnd[n] - MatchStart[n]);
}

std::string TPatternExpr::RequiredText() const
{
  if (Required == nullptr) {
    return std::string();
  }
  return std::string(Required, static_cast<size_t>(RequiredLength));
}

int TPatternExpr::CompileErrorOffset() const
{
  if (ParsePos != nullptr && ExprStart != nullptr) {
    return static_cast<int>(ParsePos - ExprStart);
  }
  return 0;
}

std::string TPatternExpr::ErrorText(int code) const
{
  return PatternErrorText(code);
}

void TPatternExpr::RaiseError(int code)
{
  LastError = code;
  std::string message = ErrorText(code);
  int position = CompileErrorOffset();
  if (code < 1000) {
    message += " (pos " + std::to_string(position) + ")";
  }
  throw EPatternExpr(message, code, position);
}

void TPatternExpr::DiscardProgram()
{
  Program = nullptr;
  ProgramHeap.reset();
}

void TPatternExpr::CompileExpression()
{
  if (!HasExpression) {
    RaiseError(reExecNotAssignedExpression);
  }
  CompileText();
}

bool TPatternExpr::PrepareProgram()
{
  if (Modifiers != ProgramModifiers) {
    DiscardProgram();
  }
  std::memset(LineBreakSet, 0, sizeof LineBreakSet);
  for (char c : LineBreaks) {
    auto u = static_cast<unsigned char>(c);
    LineBreakSet[u >> 3] |= static_cast<std::uint8_t>(1u << (u & 7));
  }
  if (Program == nullptr) {
    CompileExpression();
  }
  if (Program == nullptr || Program[0] != ProgramMarker) {
    RaiseError(reExecCorruptedProgram);
  }
  return true;
}

// ---- compiler ----

void TPatternExpr::CompileText()
{
  ParsePos = nullptr;
  ExprStart = HasExpression ? ExpressionText.c_str() : nullptr;
  DiscardProgram();
  IsCompiled = false;
  if (ExprStart == nullptr) {
    RaiseError(reCompNullArgument);
  }
  try {
    ProgramModifiers = Modifiers;
    ParseModifiers = Modifiers;
    HasBackRef = false;
    int flags = 0;

    // Most programs fit the object's own buffer: emit there straight away and
    // run the sizing pass only for a program that does not fit.
    bool fitted = true;
    try {
      EmitInto(ProgramInline, static_cast<std::int32_t>(sizeof ProgramInline), flags);
      ProgramSize = static_cast<std::int32_t>(EmitPos - ProgramInline);
    } catch (const TProgramOverflow&) {
      fitted = false;
    }
    if (!fitted) {
      ParseModifiers = Modifiers;
      HasBackRef = false;
      ParsePos = ExprStart;
      GroupCount = 1;
      ProgramSize = 0;
      EmitPos = reinterpret_cast<unsigned char*>(&SizingSentinel);
      AppendByte(ProgramMarker);
      ParseReg(false, flags);
      std::int32_t size = ProgramSize;
      ProgramHeap.reset(new unsigned char[static_cast<size_t>(size)]);
      EmitInto(ProgramHeap.get(), size, flags);
      if (EmitPos != Program + size) {
        RaiseError(reCompInternalUrp);
      }
      ProgramSize = size;
    }
    DeriveStartHints(flags);
  } catch (...) {
    DiscardProgram();
    ExprStart = nullptr;
    IsCompiled = false;
    throw;
  }
  ExprStart = nullptr;
  IsCompiled = true;
}

void TPatternExpr::EmitInto(unsigned char* buffer, std::int32_t size, int& flags)
{
  Program = buffer;
  ProgramSize = size;
  ParseModifiers = Modifiers;
  HasBackRef = false;
  ParsePos = ExprStart;
  GroupCount = 1;
  EmitPos = buffer;
  EmitLimit = buffer + size;
  AppendByte(ProgramMarker);
  ParseReg(false, flags);
}

void TPatternExpr::EmitOverflow()
{
  if (Program == ProgramInline) {
    throw TProgramOverflow{};
  }
  RaiseError(reCompInternalUrp);  // the sizing pass counted too little
  std::abort();                    // not reached: RaiseError always throws
}

TPatternExpr::Node TPatternExpr::AppendNode(unsigned char kind)
{
  if (Sizing()) {
    ProgramSize += NodeHeaderSize;
    return EmitPos;
  }
  if (EmitLimit - EmitPos < NodeHeaderSize) {
    EmitOverflow();
  }
  Node node = EmitPos;
  node[0] = kind;
  WriteProgramInt(node + 1, 0);
  EmitPos += NodeHeaderSize;
  return node;
}

void TPatternExpr::AppendByte(unsigned char byte)
{
  if (Sizing()) {
    ++ProgramSize;
    return;
  }
  if (EmitPos >= EmitLimit) {
    EmitOverflow();
  }
  *EmitPos++ = byte;
}

void TPatternExpr::AppendInt(std::int32_t value)
{
  if (Sizing()) {
    ProgramSize += 4;
    return;
  }
  if (EmitLimit - EmitPos < 4) {
    EmitOverflow();
  }
  WriteProgramInt(EmitPos, value);
  EmitPos += 4;
}

void TPatternExpr::InsertNodeBefore(unsigned char kind, Node position, int size)
{
  if (Sizing()) {
    ProgramSize += size;
    return;
  }
  if (position < Program || position > EmitPos) {
    RaiseError(reCompInternalUrp);
  }
  if (EmitLimit - EmitPos < size) {
    EmitOverflow();
  }
  std::memmove(position + size, position, static_cast<size_t>(EmitPos - position));
  EmitPos += size;
  position[0] = kind;
  std::memset(position + 1, 0, static_cast<size_t>(size - 1));
}

TPatternExpr::Node TPatternExpr::NextNodeOf(Node node) const
{
  if (node == nullptr || node == reinterpret_cast<const unsigned char*>(&SizingSentinel)) {
    return nullptr;
  }
  std::int32_t offset = ReadProgramInt(node + 1);
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
  WriteProgramInt(scan + 1, static_cast<std::int32_t>(target - scan));
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
    if (GroupCount > MaxGroupNumber) {
      RaiseError(reCompParseRegTooManyBrackets);
    }
    group = GroupCount++;
    ret = AppendNode(static_cast<unsigned char>(OpGroupOpen + group));
  }
  int savedModifiers = ParseModifiers;

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
  while (*ParsePos == '|') {
    ++ParsePos;
    branch = ParseAlternative(altFlags);
    LinkTail(ret, branch);
    if (!(altFlags & HasWidth)) {
      flags &= ~HasWidth;
    }
    flags |= altFlags & SpecialStart;
  }

  Node ender = AppendNode(inGroup ? static_cast<unsigned char>(OpGroupClose + group) : static_cast<unsigned char>(OpEnd));
  LinkTail(ret, ender);
  for (Node scan = ret; scan != nullptr; scan = NextNodeOf(scan)) {
    LinkOperandTail(scan, ender);
  }

  if (inGroup) {
    if (*ParsePos != ')') {
      RaiseError(reCompParseRegUnmatchedBrackets);
    }
    ++ParsePos;
  } else if (*ParsePos != 0) {
    RaiseError(*ParsePos == ')' ? reCompParseRegUnmatchedBrackets2 : reCompParseRegJunkOnEnd);
  }
  ParseModifiers = savedModifiers;
  return ret;
}

TPatternExpr::Node TPatternExpr::ParseAlternative(int& flags)
{
  flags = 0;
  Node ret = AppendNode(OpAlternative);
  Node chain = nullptr;
  while (*ParsePos != 0 && *ParsePos != '|' && *ParsePos != ')') {
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

void TPatternExpr::EmitCountedRepeat(Node atom, std::int32_t min, std::int32_t max, bool lazy)
{
  InsertNodeBefore(lazy ? OpBracesLazy : OpBraces, atom, NodeHeaderSize + 8);
  if (!Sizing()) {
    WriteProgramInt(atom + NodeHeaderSize, min);
    WriteProgramInt(atom + NodeHeaderSize + 4, max);
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

TPatternExpr::Node TPatternExpr::ParseQuantified(int& flags)
{
  int atomFlags = 0;
  Node atom = ParseAtom(atomFlags);
  char op = *ParsePos;
  if (!IsQuantifier(op)) {
    flags = atomFlags;
    return atom;
  }
  if (!(atomFlags & HasWidth) && op != '?') {
    RaiseError(reCompPlusStarOperandCouldBeEmpty);
  }
  bool greedyMode = (ParseModifiers & ModifierG) != 0;
  bool lazy = ParsePos[1] == '?' || !greedyMode;
  bool single = (atomFlags & SingleChar) != 0;

  switch (op) {
  case '*':
    flags = SpecialStart;
    if (single) {
      InsertNodeBefore(lazy ? OpStarLazy : OpStar, atom, NodeHeaderSize);
    } else if (lazy) {
      EmitCountedLoop(atom, 0, UnboundedCount, true);
    } else {
      InsertNodeBefore(OpAlternative, atom, NodeHeaderSize);
      Node back = AppendNode(OpBack);
      LinkOperandTail(atom, back);
      LinkTail(back, atom);
      LinkTail(atom, AppendNode(OpAlternative));
      LinkTail(atom, AppendNode(OpEmpty));
    }
    break;
  case '+':
    flags = HasWidth | SpecialStart;
    if (single) {
      InsertNodeBefore(lazy ? OpPlusLazy : OpPlus, atom, NodeHeaderSize);
    } else if (lazy) {
      EmitCountedLoop(atom, 1, UnboundedCount, true);
    } else {
      Node loopBack = AppendNode(OpAlternative);
      LinkTail(atom, loopBack);
      LinkTail(AppendNode(OpBack), atom);
      LinkTail(loopBack, AppendNode(OpAlternative));
      LinkTail(atom, AppendNode(OpEmpty));
    }
    break;
  case '?':
    flags = 0;
    if (lazy) {
      if (single) {
        EmitCountedRepeat(atom, 0, 1, true);
      } else {
        EmitCountedLoop(atom, 0, 1, true);
      }
    } else {
      InsertNodeBefore(OpAlternative, atom, NodeHeaderSize);
      LinkTail(atom, AppendNode(OpAlternative));
      Node empty = AppendNode(OpEmpty);
      LinkTail(atom, empty);
      LinkOperandTail(atom, empty);
    }
    break;
  default: {  // '{'
    const char* p = ParsePos + 1;
    const char* minDigits = p;
    while (IsDigitChar(static_cast<unsigned char>(*p))) {
      ++p;
    }
    if (p == minDigits || (*p != '}' && *p != ',')) {
      flags = atomFlags;  // not a counted repeat: the "{" is literal text
      return atom;
    }
    const char* minEnd = p;
    const char* maxDigits = nullptr;
    const char* maxEnd = nullptr;
    if (*p == ',') {
      ++p;
      maxDigits = p;
      while (IsDigitChar(static_cast<unsigned char>(*p))) {
        ++p;
      }
      if (*p != '}') {
        flags = atomFlags;
        return atom;
      }
      maxEnd = p;
    }
    ParsePos = p;  // on the "}"
    if (minEnd - minDigits > 8 || (maxDigits != nullptr && maxEnd - maxDigits > 8)) {
      RaiseError(reCompBracesArgTooBig);
    }
    std::int32_t min = 0;
    for (const char* d = minDigits; d < minEnd; ++d) {
      min = min * 10 + (*d - '0');
    }
    std::int32_t max = min;
    if (maxDigits != nullptr) {
      if (maxDigits == maxEnd) {
        max = UnboundedCount;
      } else {
        max = 0;
        for (const char* d = maxDigits; d < maxEnd; ++d) {
          max = max * 10 + (*d - '0');
        }
      }
    }
    if (min > max) {
      RaiseError(reCompBracesMinParamGreaterMax);
    }
    // Only a minimum above 0 guarantees width: with the maximum instead,
    // "(a{0,3})*" would repeat an empty match for ever.
    flags = (max > 0 ? SpecialStart : 0) | (min > 0 ? HasWidth : 0);
    lazy = ParsePos[1] == '?' || !greedyMode;
    if (single) {
      EmitCountedRepeat(atom, min, max, lazy);
    } else {
      EmitCountedLoop(atom, min, max, lazy);
    }
    break;
  }
  }

  if (ParsePos[1] == '?') {
    ++ParsePos;
  }
  ++ParsePos;
  if (IsQuantifier(*ParsePos)) {
    RaiseError(reCompNestedSQP);
  }
  return atom;
}

TPatternExpr::Node TPatternExpr::ParseAtom(int& flags)
{
  flags = 0;
  bool fold = (ParseModifiers & ModifierI) != 0;
  bool lineMode = (ParseModifiers & ModifierM) != 0 && (!LineBreaks.empty() || PairedSeparatorSet);
  char c = *ParsePos++;
  switch (c) {
  case 0:
  case ')':
  case '|':
    --ParsePos;
    RaiseError(reCompInternalUrp);
    return nullptr;
  case '^':
    return AppendNode(lineMode ? OpLineStart : OpInputStart);
  case '$':
    return AppendNode(lineMode ? OpLineEnd : OpInputEnd);
  case '.':
    if (ParseModifiers & ModifierS) {
      flags = HasWidth | SingleChar;
      return AppendNode(OpAny);
    }
    flags = HasWidth;
    return AppendNode(OpAnyInLine);
  case '[':
    flags = HasWidth | SingleChar;
    return ParseClass();
  case '(':
    if (ParsePos[0] == '?' && ParsePos[1] == '#') {
      ParsePos += 2;
      while (*ParsePos != 0 && *ParsePos != ')') {
        ++ParsePos;
      }
      if (*ParsePos == 0) {
        RaiseError(reCompUnclosedComment);
      }
      ++ParsePos;
      return AppendNode(OpComment);
    }
    if (ParsePos[0] == '?') {
      const char* letters = ParsePos + 1;
      const char* close = letters;
      while (*close != 0 && *close != ')') {
        ++close;
      }
      // The cursor has run to the ")" (or the end) before the letters are read.
      ParsePos = close;
      if (*close == 0 || !ParseModifierLetters(std::string(letters, close), ParseModifiers)) {
        RaiseError(reCompUnrecognizedModifier);
      }
      ++ParsePos;
      return AppendNode(OpComment);
    } else {
      int groupFlags = 0;
      Node group = ParseReg(true, groupFlags);
      flags = groupFlags & (HasWidth | SpecialStart);
      return group;
    }
  case '*':
  case '+':
  case '?':
    RaiseError(reCompQuantifierFollowsNothing);  // the cursor is past the quantifier
    return nullptr;
  case '\\': {
    char e = *ParsePos;
    if (e == 0) {
      RaiseError(reCompTrailingBackSlash);
    }
    Node node = nullptr;
    flags = HasWidth | SingleChar;
    switch (e) {
    case '1': case '2': case '3': case '4': case '5': case '6': case '7': case '8': case '9':
      node = AppendNode(fold ? OpBackRefCI : OpBackRef);
      AppendByte(static_cast<unsigned char>(e - '0'));
      HasBackRef = true;
      break;
    case 'A':
      flags = 0;
      node = AppendNode(OpInputStart);
      break;
    case 'Z':
      flags = 0;
      node = AppendNode(OpInputEnd);
      break;
    case 'b':
      flags = 0;
      node = AppendNode(OpWordBoundary);
      break;
    case 'B':
      flags = 0;
      node = AppendNode(OpNonWordBoundary);
      break;
    case 'd':
      node = AppendNode(OpDigit);
      break;
    case 'D':
      node = AppendNode(OpNonDigit);
      break;
    case 's':
      node = EmitCharClass(Blanks, false);
      break;
    case 'S':
      node = EmitCharClass(Blanks, true);
      break;
    case 'w':
      node = EmitCharClass(WordChars, false);
      break;
    case 'W':
      node = EmitCharClass(WordChars, true);
      break;
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
    ++ParsePos;
    return node;
  }
  default:
    break;
  }

  --ParsePos;
  bool extended = (ParseModifiers & ModifierX) != 0;
  if (extended) {
    if (c == '#') {
      while (*ParsePos != 0 && *ParsePos != '\n' && *ParsePos != '\r') {
        ++ParsePos;
      }
      while (*ParsePos == '\n' || *ParsePos == '\r') {
        ++ParsePos;
      }
      return AppendNode(OpComment);
    }
    if (IsExtendedBlank(c)) {
      while (IsExtendedBlank(*ParsePos)) {
        ++ParsePos;
      }
      return AppendNode(OpComment);
    }
  }
  auto endsRun = [extended](char ch) { return IsPatternSpecial(ch) || (extended && ch == '#'); };
  const char* run = ParsePos;
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
  Node node = AppendNode(fold ? OpLiteralCI : OpLiteral);
  for (int i = 0; i < length; ++i) {
    if (!(extended && IsExtendedBlank(run[i]))) {
      AppendByte(static_cast<unsigned char>(run[i]));
    }
  }
  AppendByte(0);
  ParsePos += length;
  return node;
}

unsigned char TPatternExpr::ReadEscapedChar()
{
  char c = *ParsePos;
  switch (c) {
  case 'a': return 7;
  case 'e': return 27;
  case 'f': return 12;
  case 'n': return 10;
  case 'r': return 13;
  case 't': return 9;
  case 'x': {
    ++ParsePos;
    if (*ParsePos == 0) {
      RaiseError(reCompNoHexCodeAfterBSlashX);
    }
    if (*ParsePos == '{') {
      unsigned value = 0;
      for (;;) {
        ++ParsePos;
        if (*ParsePos == 0) {
          RaiseError(reCompNoHexCodeAfterBSlashX);
        }
        if (*ParsePos == '}') {
          break;
        }
        int digit = HexValue(*ParsePos);
        if (digit < 0) {
          RaiseError(reCompBadHexDigit);
        }
        if (value >= 16) {
          RaiseError(reCompHexCodeAfterBSlashXTooBig);
        }
        value = value * 16 + static_cast<unsigned>(digit);
      }
      return static_cast<unsigned char>(value);
    }
    int high = HexValue(*ParsePos);
    if (high < 0) {
      RaiseError(reCompBadHexDigit);
    }
    ++ParsePos;
    if (*ParsePos == 0) {
      RaiseError(reCompNoHexCodeAfterBSlashX);
    }
    int low = HexValue(*ParsePos);
    if (low < 0) {
      RaiseError(reCompBadHexDigit);
    }
    return static_cast<unsigned char>(high * 16 + low);
  }
  default:
    return static_cast<unsigned char>(c);
  }
}

namespace {

// Appends the finished class node: 3 characters for up to three members,
// else a 32-byte set (complemented for a negated class).
template <typename Emit>
void EmitClassOperand(const TClassBuilder& cls, bool negated, bool sizing, Emit&& appendByte)
{
  (void)sizing;
  if (cls.Count > 3) {
    for (int i = 0; i < 32; ++i) {
      appendByte(static_cast<unsigned char>(negated ? ~cls.Set[i] : cls.Set[i]));
    }
    return;
  }
  unsigned char members[3] = {cls.Highest, cls.Highest, cls.Highest};
  int n = 0;
  for (int c = 0; c < 256 && n < cls.Count; ++c) {
    if ((cls.Set[c >> 3] >> (c & 7)) & 1) {
      members[n++] = static_cast<unsigned char>(c);
    }
  }
  for (unsigned char m : members) {
    appendByte(m);
  }
}

}  // namespace

TPatternExpr::Node TPatternExpr::EmitCharClass(const std::string& members, bool negated)
{
  TClassBuilder cls;
  cls.AddAll(members);
  Node node = AppendNode(cls.Count > 3 ? OpAnyOfSet : (negated ? OpAnyButSmall : OpAnyOfSmall));
  EmitClassOperand(cls, negated, Sizing(), [this](unsigned char b) { AppendByte(b); });
  return node;
}

TPatternExpr::Node TPatternExpr::ParseClass()
{
  bool negated = false;
  if (*ParsePos == '^') {
    negated = true;
    ++ParsePos;
  }
  TClassBuilder cls;
  cls.Fold = (ParseModifiers & ModifierI) != 0;
  cls.Swap = &CaseSwap;
  bool cyrillic = (ParseModifiers & ModifierR) != 0;
  bool canRange = false;
  unsigned char rangeStart = 0;
  if (*ParsePos == ']') {
    cls.Add(']');
    rangeStart = ']';
    canRange = true;
    ++ParsePos;
  }
  while (*ParsePos != 0 && *ParsePos != ']') {
    char c = *ParsePos;
    if (c == '-' && canRange && ParsePos[1] != 0 && ParsePos[1] != ']') {
      ++ParsePos;
      unsigned char rangeEnd = 0;
      if (*ParsePos == '\\') {
        char e = ParsePos[1];
        if (e == 'd' || e == 's' || e == 'w' || e == 'D' || e == 'S' || e == 'W') {
          cls.Add('-');
          canRange = false;
          continue;  // the class escape is read next
        }
        ++ParsePos;
        if (e == 0) {
          RaiseError(reCompParseAtomTrailingBackSlash);
        }
        rangeEnd = ReadEscapedChar();
      } else {
        rangeEnd = static_cast<unsigned char>(*ParsePos);
      }
      ++ParsePos;
      if (cyrillic && rangeStart == 0xE0 && rangeEnd == 0xFF) {
        AddCyrillicLower(cls);
      } else if (cyrillic && rangeStart == 0xC0 && rangeEnd == 0xDF) {
        AddCyrillicUpper(cls);
      } else if (cyrillic && rangeStart == 0xE0 && rangeEnd == 0xDF) {
        AddCyrillicLower(cls);
        AddCyrillicUpper(cls);
      } else {
        if (rangeEnd < rangeStart) {
          RaiseError(reCompInvalidRange);
        }
        for (int ch = rangeStart + 1; ch <= rangeEnd; ++ch) {
          cls.Add(static_cast<unsigned char>(ch));
        }
      }
      canRange = false;
      continue;
    }
    if (c == '\\') {
      ++ParsePos;
      char e = *ParsePos;
      if (e == 0) {
        RaiseError(reCompParseAtomTrailingBackSlash);
      }
      if (e == 'd') {
        cls.AddAll("0123456789");
        canRange = false;
      } else if (e == 's') {
        cls.AddAll(Blanks);
        canRange = false;
      } else if (e == 'w') {
        cls.AddAll(WordChars);
        canRange = false;
      } else {
        rangeStart = ReadEscapedChar();
        cls.Add(rangeStart);
        canRange = true;
      }
      ++ParsePos;
      continue;
    }
    rangeStart = static_cast<unsigned char>(c);
    cls.Add(rangeStart);
    canRange = true;
    ++ParsePos;
  }
  if (*ParsePos == 0) {
    RaiseError(reCompUnmatchedSqBrackets);
  }
  ++ParsePos;
  Node node = AppendNode(cls.Count > 3 ? OpAnyOfSet : (negated ? OpAnyButSmall : OpAnyOfSmall));
  EmitClassOperand(cls, negated, Sizing(), [this](unsigned char b) { AppendByte(b); });
  return node;
}

// ---- start hints ----

void TPatternExpr::DeriveStartHints(int flags)
{
  std::memset(StartCharSet, 0, sizeof StartCharSet);
  size_t words = (static_cast<size_t>(ProgramSize) + 63) / 64;
  std::uint64_t small[16] = {};
  std::vector<std::uint64_t> large;
  std::uint64_t* visited = small;
  if (words > 16) {
    large.assign(words, 0);
    visited = large.data();
  }
  FillStartCharSet(Program + 1, visited);

  FirstChar = 0;
  AnchoredFlag = 0;
  Required = nullptr;
  RequiredLength = 0;
  // Back-references can match empty text although they count as having width.
  MayMatchEmpty = !(flags & HasWidth) || HasBackRef;
  CNode first = Program + 1;
  CNode next = NextNode(first);
  if (next == nullptr || *next != OpEnd) {
    return;
  }
  CNode inner = first + NodeHeaderSize;
  if (*inner == OpLiteral) {
    FirstChar = static_cast<char>(inner[NodeHeaderSize]);
  } else if (*inner == OpInputStart) {
    AnchoredFlag = 1;
  }
  if (flags & SpecialStart) {
    int guard = ProgramSize;
    for (CNode scan = inner; scan != nullptr && guard-- > 0; scan = NextNode(scan)) {
      if (*scan == OpLiteral) {
        const char* text = reinterpret_cast<const char*>(scan + NodeHeaderSize);
        auto length = static_cast<std::int32_t>(std::strlen(text));
        if (length >= RequiredLength) {
          Required = text;
          RequiredLength = length;
        }
      }
    }
  }
}

namespace {

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

void TPatternExpr::FillStartCharSet(CNode start, std::uint64_t* visited)
{
  auto addChar = [this](unsigned char c) { StartCharSet[c >> 3] |= static_cast<std::uint8_t>(1u << (c & 7)); };
  auto inside = [this](CNode n) -> CNode {
    if (n == nullptr || n < Program + 1 || n >= Program + ProgramSize) {
      return nullptr;
    }
    return n;
  };
  // Each node is filled once per derivation: what it adds is already in the
  // set, and loops and chains of optional pieces would otherwise be walked for
  // ever or branch exponentially.
  auto firstVisit = [&](CNode n) {
    auto offset = static_cast<size_t>(n - Program);
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
    // Walks one chain by next offsets; `node` becomes null where the chain stops.
    for (CNode node = inside(pending.Pop()); node != nullptr && firstVisit(node);) {
      unsigned char kind = *node;
      CNode next = NextNode(node);
      switch (kind) {
      case OpEnd:
        next = nullptr;
        break;
      case OpInputStart:
      case OpInputEnd:
      case OpBack:
      case OpEmpty:
      case OpComment:
      case OpLineStart:
      case OpLineEnd:
      case OpWordBoundary:
      case OpNonWordBoundary:
      case OpLoopEntry:
        break;
      case OpAny:
      case OpAnyInLine:
      case OpBackRef:
      case OpBackRefCI:
        std::memset(StartCharSet, 0xFF, sizeof StartCharSet);
        next = nullptr;
        break;
      case OpDigit:
        for (int c = '0'; c <= '9'; ++c) {
          addChar(static_cast<unsigned char>(c));
        }
        next = nullptr;
        break;
      case OpNonDigit:
        for (int c = 0; c < 256; ++c) {
          if (!IsDigitChar(static_cast<unsigned char>(c))) {
            addChar(static_cast<unsigned char>(c));
          }
        }
        next = nullptr;
        break;
      case OpLiteral:
        addChar(node[NodeHeaderSize]);
        next = nullptr;
        break;
      case OpLiteralCI:
        addChar(node[NodeHeaderSize]);
        addChar(static_cast<unsigned char>(CaseSwap(static_cast<char>(node[NodeHeaderSize]))));
        next = nullptr;
        break;
      case OpAnyOfSmall:
        addChar(node[5]);
        addChar(node[6]);
        addChar(node[7]);
        next = nullptr;
        break;
      case OpAnyButSmall:
        for (int c = 0; c < 256; ++c) {
          if (c != node[5] && c != node[6] && c != node[7]) {
            addChar(static_cast<unsigned char>(c));
          }
        }
        next = nullptr;
        break;
      case OpAnyOfSet:
        for (int i = 0; i < 32; ++i) {
          StartCharSet[i] |= node[NodeHeaderSize + i];
        }
        next = nullptr;
        break;
      case OpAlternative:
        if (next == nullptr || *next != OpAlternative) {
          next = inside(node + NodeHeaderSize);
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
        pending.Push(node + ReadProgramInt(node + 13));
        if (ReadProgramInt(node + 5) != 0) {
          next = nullptr;
        }
        break;
      case OpStar:
      case OpStarLazy:
        pending.Push(node + NodeHeaderSize);
        break;
      case OpPlus:
      case OpPlusLazy:
        next = inside(node + NodeHeaderSize);
        break;
      case OpBraces:
      case OpBracesLazy:
        pending.Push(node + NodeHeaderSize + 8);
        if (ReadProgramInt(node + 5) > 0) {
          next = nullptr;
        }
        break;
      default:
        if ((kind > OpGroupOpen && kind <= OpGroupOpen + MaxGroupNumber) ||
            (kind > OpGroupClose && kind <= OpGroupClose + MaxGroupNumber)) {
          break;
        }
        RaiseError(reExecMatchPrimMemoryCorruption);
      }
      node = next;
    }
  }
}

// ---- matcher ----

bool TPatternExpr::Exec(const std::string& text)
{
  SetInputString(text);
  return ExecFrom(1);
}

bool TPatternExpr::ExecFrom(int offset)
{
  if (!PrepareProgram()) {
    return false;
  }
  if (!HasInput) {
    RaiseError(reExecNoInputStringSpecified);
  }
  if (offset < 1) {
    RaiseError(reExecOffsetMustBeGreaterThan0);
  }
  const char* base = InputText.c_str();
  auto length = static_cast<std::int64_t>(std::strlen(base));  // the text ends at its first NUL
  if (offset > length + 1) {
    return false;
  }
  const char* start = base + offset - 1;
  const char* end = base + length;
  if (Required != nullptr) {
    bool found = false;
    for (const char* p = start; end - p >= RequiredLength; ++p) {
      p = static_cast<const char*>(std::memchr(p, Required[0], static_cast<size_t>(end - p)));
      if (p == nullptr || end - p < RequiredLength) {
        break;
      }
      if (std::memcmp(p, Required, static_cast<size_t>(RequiredLength)) == 0) {
        found = true;
        break;
      }
    }
    if (!found) {
      return false;
    }
  }
  TextStart = base;
  TextEnd = end;
  LoopDepth = 0;
  Steps = 0;
  StackBase = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));

  if (AnchoredFlag) {
    return MatchAt(start);
  }
  if (MayMatchEmpty) {
    // An empty match can sit anywhere, the end of the text included.
    for (const char* p = start; p <= end; ++p) {
      if (MatchAt(p)) {
        return true;
      }
    }
    return false;
  }
  if (FirstChar != 0) {
    for (const char* p = start; p < end; ++p) {
      p = static_cast<const char*>(std::memchr(p, FirstChar, static_cast<size_t>(end - p)));
      if (p == nullptr) {
        return false;
      }
      if (MatchAt(p)) {
        return true;
      }
    }
    return false;
  }
  for (const char* p = start; p < end; ++p) {
    auto c = static_cast<unsigned char>(*p);
    if (((StartCharSet[c >> 3] >> (c & 7)) & 1) && MatchAt(p)) {
      return true;
    }
  }
  return false;
}

bool TPatternExpr::MatchAt(const char* position)
{
  std::memset(MatchStart, 0, sizeof MatchStart);
  std::memset(MatchEnd, 0, sizeof MatchEnd);
  InputPos = position;
  if (MatchPrim(Program + 1)) {
    MatchStart[0] = position;
    MatchEnd[0] = InputPos;
    return true;
  }
  return false;
}

bool TPatternExpr::IsWordChar(unsigned char c) const
{
  return std::memchr(WordChars.data(), c, WordChars.size()) != nullptr;
}

std::int64_t TPatternExpr::RegRepeat(CNode node, std::int64_t max)
{
  const char* p = InputPos;
  std::int64_t limit = TextEnd - p;
  if (max < limit) {
    limit = max;
  }
  std::int64_t n = 0;
  switch (*node) {
  case OpAny:
    n = limit;
    break;
  case OpLiteral: {
    char c = static_cast<char>(node[NodeHeaderSize]);
    while (n < limit && p[n] == c) {
      ++n;
    }
    break;
  }
  case OpLiteralCI: {
    // Either case counts at every position, not only after the first mismatch.
    char c = static_cast<char>(node[NodeHeaderSize]);
    char swapped = CaseSwap(c);
    while (n < limit && (p[n] == c || p[n] == swapped)) {
      ++n;
    }
    break;
  }
  case OpDigit:
    while (n < limit && IsDigitChar(static_cast<unsigned char>(p[n]))) {
      ++n;
    }
    break;
  case OpNonDigit:
    while (n < limit && !IsDigitChar(static_cast<unsigned char>(p[n]))) {
      ++n;
    }
    break;
  case OpAnyOfSmall:
    while (n < limit && (p[n] == static_cast<char>(node[5]) || p[n] == static_cast<char>(node[6]) ||
                         p[n] == static_cast<char>(node[7]))) {
      ++n;
    }
    break;
  case OpAnyButSmall:
    while (n < limit && p[n] != static_cast<char>(node[5]) && p[n] != static_cast<char>(node[6]) &&
           p[n] != static_cast<char>(node[7])) {
      ++n;
    }
    break;
  case OpAnyOfSet:
    while (n < limit) {
      auto c = static_cast<unsigned char>(p[n]);
      if (!((node[NodeHeaderSize + (c >> 3)] >> (c & 7)) & 1)) {
        break;
      }
      ++n;
    }
    break;
  case OpBackRef:
  case OpBackRefCI: {
    // Counts whole copies of the group's text; the caller steps by its length.
    int group = node[NodeHeaderSize];
    if (group < 1 || group > MaxGroupNumber) {
      return 0;
    }
    const char* s = MatchStart[group];
    const char* e = MatchEnd[group];
    if (s == nullptr || e == nullptr || e <= s) {
      return 0;
    }
    std::int64_t len = e - s;
    bool fold = *node == OpBackRefCI;
    const char* q = p;
    while (n < max && TextEnd - q >= len) {
      std::int64_t i = 0;
      for (; i < len; ++i) {
        if (q[i] != s[i] && !(fold && q[i] == CaseSwap(s[i]))) {
          break;
        }
      }
      if (i < len) {
        break;
      }
      q += len;
      ++n;
    }
    InputPos = q;
    return n;
  }
  default:
    RaiseError(reExecRegRepeatCalledInappropriately);
  }
  InputPos = p + n;
  return n;
}

bool TPatternExpr::MatchRepeat(CNode node, CNode next)
{
  unsigned char kind = *node;
  std::int64_t min = 0;
  std::int64_t max = 2147483647;
  CNode repeated = node + NodeHeaderSize;
  bool lazy = kind == OpStarLazy || kind == OpPlusLazy || kind == OpBracesLazy;
  if (kind == OpPlus || kind == OpPlusLazy) {
    min = 1;
  } else if (kind == OpBraces || kind == OpBracesLazy) {
    min = ReadProgramInt(node + 5);
    max = ReadProgramInt(node + 9);
    repeated = node + NodeHeaderSize + 8;
  }
  if (repeated >= Program + ProgramSize) {
    RaiseError(reExecMatchPrimCorruptedPointers);
  }
  int hint = -1;
  if (next != nullptr && *next == OpLiteral) {
    hint = static_cast<unsigned char>(next[NodeHeaderSize]);
  }
  const char* save = InputPos;
  auto tryNext = [&]() {
    if (hint >= 0 && static_cast<unsigned char>(*InputPos) != hint) {
      return false;
    }
    std::int32_t savedDepth = LoopDepth;
    std::int32_t savedCounters[11];
    std::memcpy(savedCounters, LoopCounters, sizeof LoopCounters);
    if (MatchPrim(next)) {
      return true;
    }
    LoopDepth = savedDepth;
    std::memcpy(LoopCounters, savedCounters, sizeof LoopCounters);
    return false;
  };

  std::int64_t step = 1;
  if (*repeated == OpBackRef || *repeated == OpBackRefCI) {
    int group = repeated[NodeHeaderSize];
    const char* s = group >= 1 && group <= MaxGroupNumber ? MatchStart[group] : nullptr;
    const char* e = group >= 1 && group <= MaxGroupNumber ? MatchEnd[group] : nullptr;
    if (s != nullptr && e != nullptr && e == s) {
      // Any number of copies of an empty capture is the same empty text.
      return tryNext();
    }
    if (s != nullptr && e != nullptr && e > s) {
      step = e - s;
    }
  }

  std::int64_t count = RegRepeat(repeated, max);
  if (count < min) {
    return false;
  }
  if (lazy) {
    for (std::int64_t n = min; n <= count; ++n) {
      InputPos = save + n * step;
      if (tryNext()) {
        return true;
      }
    }
    return false;
  }
  for (std::int64_t n = count; n >= min; --n) {
    InputPos = save + n * step;
    if (tryNext()) {
      return true;
    }
  }
  return false;
}

// A loop's body has width by its parts, yet a back-reference to an empty text
// can make a pass consume nothing; another pass from the same place would
// repeat it for ever, so such a pass ends the loop. `body` is the node a pass
// starts with (for a "*" loop, the alternative before it); only a group can
// pass empty, and it opened where the pass began.
bool TPatternExpr::PassConsumedNothing(CNode body) const
{
  if (body != nullptr && *body == OpAlternative) {
    body = body + NodeHeaderSize;
  }
  if (body == nullptr || body >= Program + ProgramSize) {
    return false;
  }
  int n = *body - OpGroupOpen;
  return n >= 1 && n <= MaxGroupNumber && MatchStart[n] == InputPos;
}

bool TPatternExpr::MatchPrim(CNode node)
{
  auto frame = reinterpret_cast<std::uintptr_t>(__builtin_frame_address(0));
  if (frame < StackBase && StackBase - frame > StackBudget) {
    RaiseError(reExecRecursionTooDeep);
  }
  for (;;) {
    if (node == nullptr) {
      RaiseError(reExecMatchPrimCorruptedPointers);
    }
    if (StepLimit > 0 && ++Steps > StepLimit) {
      RaiseError(reExecStepLimitExceeded);
    }
    CNode next = NextNode(node);
    unsigned char kind = *node;
    auto c = static_cast<unsigned char>(*InputPos);
    switch (kind) {
    case OpEnd:
      return true;
    case OpInputStart:
      if (InputPos != TextStart) {
        return false;
      }
      break;
    case OpInputEnd:
      if (c != 0) {
        return false;
      }
      break;
    case OpLineStart: {
      if (InputPos == TextStart) {
        break;
      }
      char p = InputPos[-1];
      if (PairedSeparatorSet && p == PairedSeparatorTail && InputPos - 1 > TextStart &&
          InputPos[-2] == PairedSeparatorHead) {
        break;
      }
      if (PairedSeparatorSet && p == PairedSeparatorHead && static_cast<char>(c) == PairedSeparatorTail) {
        return false;
      }
      if (!IsLineBreak(static_cast<unsigned char>(p))) {
        return false;
      }
      break;
    }
    case OpLineEnd:
      if (c == 0) {
        break;
      }
      if (PairedSeparatorSet && static_cast<char>(c) == PairedSeparatorHead && InputPos[1] == PairedSeparatorTail) {
        break;
      }
      if (PairedSeparatorSet && static_cast<char>(c) == PairedSeparatorTail && InputPos > TextStart &&
          InputPos[-1] == PairedSeparatorHead) {
        return false;
      }
      if (!IsLineBreak(c)) {
        return false;
      }
      break;
    case OpAny:
      if (c == 0) {
        return false;
      }
      ++InputPos;
      break;
    case OpAnyInLine:
      if (c == 0 || IsLineBreak(c) ||
          (PairedSeparatorSet && static_cast<char>(c) == PairedSeparatorHead && InputPos[1] == PairedSeparatorTail)) {
        return false;
      }
      ++InputPos;
      break;
    case OpDigit:
      if (!IsDigitChar(c)) {
        return false;
      }
      ++InputPos;
      break;
    case OpNonDigit:
      if (c == 0 || IsDigitChar(c)) {
        return false;
      }
      ++InputPos;
      break;
    case OpLiteral: {
      const char* literal = reinterpret_cast<const char*>(node + NodeHeaderSize);
      const char* in = InputPos;
      while (*literal != 0) {
        if (*literal != *in) {
          return false;
        }
        ++literal;
        ++in;
      }
      InputPos = in;
      break;
    }
    case OpLiteralCI: {
      const char* literal = reinterpret_cast<const char*>(node + NodeHeaderSize);
      const char* in = InputPos;
      while (*literal != 0) {
        if (*in == 0 || (*in != *literal && *in != CaseSwap(*literal))) {
          return false;
        }
        ++literal;
        ++in;
      }
      InputPos = in;
      break;
    }
    case OpAnyOfSmall:
      if (c == 0 || (c != node[5] && c != node[6] && c != node[7])) {
        return false;
      }
      ++InputPos;
      break;
    case OpAnyButSmall:
      if (c == 0 || c == node[5] || c == node[6] || c == node[7]) {
        return false;
      }
      ++InputPos;
      break;
    case OpAnyOfSet:
      if (c == 0 || !((node[NodeHeaderSize + (c >> 3)] >> (c & 7)) & 1)) {
        return false;
      }
      ++InputPos;
      break;
    case OpBackRef:
    case OpBackRefCI: {
      int group = node[NodeHeaderSize];
      if (group < 1 || group > MaxGroupNumber) {
        return false;
      }
      const char* s = MatchStart[group];
      const char* e = MatchEnd[group];
      // An end before the start (a group re-entered by a loop) counts as unset.
      if (s == nullptr || e == nullptr || e < s) {
        return false;
      }
      std::int64_t len = e - s;
      if (TextEnd - InputPos < len) {
        return false;
      }
      bool fold = kind == OpBackRefCI;
      for (std::int64_t i = 0; i < len; ++i) {
        if (InputPos[i] != s[i] && !(fold && InputPos[i] == CaseSwap(s[i]))) {
          return false;
        }
      }
      InputPos += len;
      break;
    }
    case OpWordBoundary:
    case OpNonWordBoundary: {
      bool before = InputPos > TextStart && IsWordChar(static_cast<unsigned char>(InputPos[-1]));
      bool after = c != 0 && IsWordChar(c);
      if ((before != after) != (kind == OpWordBoundary)) {
        return false;
      }
      break;
    }
    case OpBack:
      if (PassConsumedNothing(next)) {
        // A "*" loop goes on with its exit branch; a "+" loop fails back to
        // the alternative that offers it.
        if (*next != OpAlternative) {
          return false;
        }
        next = NextNode(next);
      }
      break;
    case OpEmpty:
    case OpComment:
      break;
    case OpAlternative: {
      if (next == nullptr || *next != OpAlternative) {
        next = node + NodeHeaderSize < Program + ProgramSize ? node + NodeHeaderSize : nullptr;
        break;
      }
      const char* save = InputPos;
      for (CNode alt = node; alt != nullptr && *alt == OpAlternative; alt = NextNode(alt)) {
        CNode operand = alt + NodeHeaderSize < Program + ProgramSize ? alt + NodeHeaderSize : nullptr;
        if (MatchPrim(operand)) {
          return true;
        }
        InputPos = save;
      }
      return false;
    }
    case OpStar:
    case OpPlus:
    case OpBraces:
    case OpStarLazy:
    case OpPlusLazy:
    case OpBracesLazy:
      return MatchRepeat(node, next);
    case OpLoopEntry: {
      if (LoopDepth >= 10) {
        RaiseError(reExecLoopStackExceeded);
      }
      std::int32_t depth = ++LoopDepth;
      const char* save = InputPos;
      // A failed entry must leave the counter of its level as it found it: an
      // earlier loop at the same level may still be backtracking.
      std::int32_t savedCounter = LoopCounters[depth];
      LoopCounters[depth] = 0;
      bool result = MatchPrim(next);
      LoopDepth = depth - 1;
      LoopCounters[depth] = savedCounter;
      if (!result) {
        InputPos = save;
      }
      return result;
    }
    case OpLoop:
    case OpLoopLazy: {
      if (LoopDepth <= 0 || LoopDepth > 10) {
        RaiseError(reExecLoopWithoutEntry);
      }
      std::int32_t min = ReadProgramInt(node + 5);
      std::int32_t max = ReadProgramInt(node + 9);
      std::int64_t bodyAt = (node - Program) + static_cast<std::int64_t>(ReadProgramInt(node + 13));
      CNode body = bodyAt >= 1 && bodyAt < ProgramSize ? Program + bodyAt : nullptr;
      const char* save = InputPos;
      std::int32_t depth = LoopDepth;
      std::int32_t k = LoopCounters[depth];
      auto runBody = [&]() {
        LoopCounters[depth] = k + 1;
        bool ok = MatchPrim(body);
        LoopDepth = depth;
        if (!ok) {
          LoopCounters[depth] = k;
          InputPos = save;
        }
        return ok;
      };
      auto leave = [&]() {
        LoopDepth = depth - 1;
        if (MatchPrim(next)) {
          return true;
        }
        LoopDepth = depth;
        InputPos = save;
        return false;
      };
      if (k < min) {
        return runBody();
      }
      bool again = k < max && !(k > 0 && PassConsumedNothing(body));
      if (kind == OpLoop) {
        if (again && runBody()) {
          return true;
        }
        return leave();
      }
      if (leave()) {
        return true;
      }
      return again && runBody();
    }
    default:
      if (kind > OpGroupOpen && kind <= OpGroupOpen + MaxGroupNumber) {
        int n = kind - OpGroupOpen;
        const char* saved = MatchStart[n];
        MatchStart[n] = InputPos;
        if (MatchPrim(next)) {
          return true;
        }
        MatchStart[n] = saved;
        return false;
      }
      if (kind > OpGroupClose && kind <= OpGroupClose + MaxGroupNumber) {
        int n = kind - OpGroupClose;
        const char* saved = MatchEnd[n];
        MatchEnd[n] = InputPos;
        if (MatchPrim(next)) {
          return true;
        }
        MatchEnd[n] = saved;
        return false;
      }
      RaiseError(reExecMatchPrimMemoryCorruption);
    }
    node = next;
  }
}
