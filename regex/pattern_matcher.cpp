// The matcher: a recursive backtracking interpreter of the node program
// (MatchPrim), driven by a scan over start positions that the start hints
// narrow (ExecFrom).
#include <cstring>

#include "platform/ascii_text.h"
#include "regex/pattern_expr.h"
#include "regex/pattern_program.h"

namespace {

// MatchPrim calls one run may have active at once. A complex repetition
// recurses three levels per iteration and a chain of optional or repeated
// pieces one per piece, so the depth grows with the text or the pattern. The
// bound counts calls rather than bytes of stack, so a pattern and a text get
// the same answer from every build. It keeps a run within the programs' 2 MiB
// main-thread stack even where frames are largest, without optimisation: the
// depth tests run in such a build too. The sanitizer builds, whose frames are
// larger still, run on Linux's 8 MiB.
constexpr std::int32_t MaxMatchDepth = 6000;

}  // namespace

// The node right after an alternative's header, where its operand begins.
inline TPatternExpr::CNode TPatternExpr::OperandOf(CNode node) const
{
  return node + NodeHeaderSize < program_ + programSize_ ? node + NodeHeaderSize : nullptr;
}

bool TPatternExpr::ExecFrom(int offset)
{
  if (!PrepareProgram()) {
    return false;
  }
  if (!hasInput_) {
    RaiseError(reExecNoInputStringSpecified);
  }
  if (offset < 1) {
    RaiseError(reExecOffsetMustBeGreaterThan0);
  }
  const char* base = inputText_.c_str();
  auto length = static_cast<std::int64_t>(std::strlen(base));  // the text ends at its first NUL
  if (offset > length + 1) {
    return false;
  }
  const char* start = base + offset - 1;
  const char* end = base + length;
  if (requiredText_ != nullptr && !RequiredTextOccurs(start, end)) {
    return false;
  }
  textStart_ = base;
  textEnd_ = end;
  loopDepth_ = 0;
  steps_ = 0;
  matchDepth_ = 0;

  if (anchored_) {
    return MatchAt(start);
  }
  if (mayMatchEmpty_) {
    // An empty match can sit anywhere, the end of the text included.
    for (const char* p = start; p <= end; ++p) {
      if (MatchAt(p)) {
        return true;
      }
    }
    return false;
  }
  if (startChar_ != 0) {
    for (const char* p = start; p < end; ++p) {
      p = static_cast<const char*>(std::memchr(p, startChar_, static_cast<size_t>(end - p)));
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
    if (CharSetHas(startCharSet_, static_cast<unsigned char>(*p)) && MatchAt(p)) {
      return true;
    }
  }
  return false;
}

bool TPatternExpr::RequiredTextOccurs(const char* from, const char* end) const
{
  for (const char* p = from; end - p >= requiredLength_; ++p) {
    p = static_cast<const char*>(std::memchr(p, requiredText_[0], static_cast<size_t>(end - p)));
    if (p == nullptr || end - p < requiredLength_) {
      return false;
    }
    if (std::memcmp(p, requiredText_, static_cast<size_t>(requiredLength_)) == 0) {
      return true;
    }
  }
  return false;
}

bool TPatternExpr::MatchAt(const char* position)
{
  std::memset(matchStart_, 0, sizeof matchStart_);
  std::memset(matchEnd_, 0, sizeof matchEnd_);
  inputPos_ = position;
  if (MatchPrim(program_ + 1)) {
    matchStart_[0] = position;
    matchEnd_[0] = inputPos_;
    return true;
  }
  return false;
}

// One level of the matcher's recursion. A run that raises leaves the count
// behind; ExecFrom starts each run at 0.
bool TPatternExpr::MatchPrim(CNode node)
{
  if (matchDepth_ >= MaxMatchDepth) {
    RaiseError(reExecRecursionTooDeep);
  }
  ++matchDepth_;
  bool matched = MatchChain(node);
  --matchDepth_;
  return matched;
}

// Walks the chain from `node`: nodes that test or consume one thing go on
// with their next node in this call; choices and repetitions recurse through
// the steps below, which try the rest of the chain themselves. The steps run
// for most nodes are defined inline, so that they fold into this loop.
inline bool TPatternExpr::MatchChain(CNode node)
{
  for (;;) {
    if (node == nullptr) {
      RaiseError(reExecMatchPrimCorruptedPointers);
    }
    if (stepLimit_ > 0 && ++steps_ > stepLimit_) {
      RaiseError(reExecStepLimitExceeded);
    }
    CNode next = NextNode(node);
    unsigned char kind = *node;
    switch (kind) {
    case OpEnd: return true;
    case OpInputStart:
    case OpInputEnd:
    case OpLineStart:
    case OpLineEnd:
    case OpWordBoundary:
    case OpNonWordBoundary:
      if (!AssertionHolds(kind)) {
        return false;
      }
      break;
    case OpAny:
    case OpAnyInLine:
    case OpDigit:
    case OpNonDigit:
    case OpLiteral:
    case OpLiteralCI:
    case OpAnyOfSmall:
    case OpAnyButSmall:
    case OpAnyOfSet:
    case OpBackRef:
    case OpBackRefCI:
      if (!ConsumeAtom(node)) {
        return false;
      }
      break;
    case OpEmpty:
    case OpComment: break;
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
    case OpAlternative:
      if (next != nullptr && *next == OpAlternative) {
        return MatchAlternatives(node);
      }
      next = OperandOf(node);  // no choice here
      break;
    case OpStar:
    case OpPlus:
    case OpBraces:
    case OpStarLazy:
    case OpPlusLazy:
    case OpBracesLazy: return MatchRepeat(node, next);
    case OpLoopEntry: return MatchLoopEntry(next);
    case OpLoop:
    case OpLoopLazy: return MatchLoop(node, next);
    default:
      if (IsGroupOpen(kind)) {
        return MatchGroupBound(matchStart_[kind - OpGroupOpen], next);
      }
      if (IsGroupClose(kind)) {
        return MatchGroupBound(matchEnd_[kind - OpGroupClose], next);
      }
      RaiseError(reExecMatchPrimMemoryCorruption);
    }
    node = next;
  }
}

// Whether the anchor or boundary `kind` holds at inputPos_.
inline bool TPatternExpr::AssertionHolds(unsigned char kind) const
{
  switch (kind) {
  case OpInputStart: return inputPos_ == textStart_;  // a later start offset does not move it
  case OpInputEnd: return *inputPos_ == 0;
  case OpLineStart: return AtLineStart();
  case OpLineEnd: return AtLineEnd();
  default: {  // word boundaries
    bool before = inputPos_ > textStart_ && IsWordChar(static_cast<unsigned char>(inputPos_[-1]));
    bool after = *inputPos_ != 0 && IsWordChar(static_cast<unsigned char>(*inputPos_));
    return (before != after) == (kind == OpWordBoundary);
  }
  }
}

// Never between the two halves of the paired separator.
bool TPatternExpr::AtLineStart() const
{
  if (inputPos_ == textStart_) {
    return true;
  }
  char before = inputPos_[-1];
  if (pairedSeparatorSet_ && before == pairedSeparatorTail_ && inputPos_ - 1 > textStart_ &&
      inputPos_[-2] == pairedSeparatorHead_) {
    return true;
  }
  if (pairedSeparatorSet_ && before == pairedSeparatorHead_ && *inputPos_ == pairedSeparatorTail_) {
    return false;
  }
  return IsLineBreak(static_cast<unsigned char>(before));
}

bool TPatternExpr::AtLineEnd() const
{
  char c = *inputPos_;
  if (c == 0) {
    return true;
  }
  if (pairedSeparatorSet_ && c == pairedSeparatorHead_ && inputPos_[1] == pairedSeparatorTail_) {
    return true;
  }
  if (pairedSeparatorSet_ && c == pairedSeparatorTail_ && inputPos_ > textStart_ &&
      inputPos_[-1] == pairedSeparatorHead_) {
    return false;
  }
  return IsLineBreak(static_cast<unsigned char>(c));
}

bool TPatternExpr::IsWordChar(unsigned char c) const
{
  return std::memchr(wordCharacters_.data(), c, wordCharacters_.size()) != nullptr;
}

inline bool TPatternExpr::IsLineBreak(unsigned char c) const
{
  return CharSetHas(lineBreakSet_, c);
}

// Moves inputPos_ past what the node matches at it, or returns false.
inline bool TPatternExpr::ConsumeAtom(CNode node)
{
  auto c = static_cast<unsigned char>(*inputPos_);
  switch (*node) {
  case OpAny: break;
  case OpAnyInLine:
    if (IsLineBreak(c) ||
        (pairedSeparatorSet_ && static_cast<char>(c) == pairedSeparatorHead_ && inputPos_[1] == pairedSeparatorTail_)) {
      return false;
    }
    break;
  case OpDigit:
  case OpNonDigit:
    if (IsAsciiDigit(static_cast<char>(c)) != (*node == OpDigit)) {
      return false;
    }
    break;
  case OpLiteral:
  case OpLiteralCI: return LiteralAt(node, *node == OpLiteralCI, inputPos_);
  case OpBackRef:
  case OpBackRefCI: {
    const char* text = nullptr;
    std::int64_t length = 0;
    if (!CapturedText(BackRefGroupOf(node), text, length) || textEnd_ - inputPos_ < length ||
        !RepeatsCapture(inputPos_, text, length, *node == OpBackRefCI)) {
      return false;
    }
    inputPos_ += length;
    return true;
  }
  default:  // the classes
    if (!ClassNodeHas(node, c)) {
      return false;
    }
    break;
  }
  // One character, never the text's terminating NUL.
  if (c == 0) {
    return false;
  }
  ++inputPos_;
  return true;
}

// Whether the literal's characters stand at `at`; `at` moves past them if so.
inline bool TPatternExpr::LiteralAt(CNode node, bool fold, const char*& at) const
{
  const char* literal = LiteralTextOf(node);
  const char* in = at;
  for (; *literal != 0; ++literal, ++in) {
    if (*in != *literal && (!fold || *in == 0 || *in != CaseSwap(*literal))) {
      return false;
    }
  }
  at = in;
  return true;
}

// The text group n matched. A group with no end, or one re-entered past its
// last end, counts as unset.
bool TPatternExpr::CapturedText(int group, const char*& text, std::int64_t& length) const
{
  if (!IsGroupNumber(group) || matchStart_[group] == nullptr || matchEnd_[group] == nullptr ||
      matchEnd_[group] < matchStart_[group]) {
    return false;
  }
  text = matchStart_[group];
  length = matchEnd_[group] - text;
  return true;
}

// Whether the `length` characters at `at` repeat `text`; with `fold` a
// character may also be the other case of the captured one.
bool TPatternExpr::RepeatsCapture(const char* at, const char* text, std::int64_t length, bool fold) const
{
  for (std::int64_t i = 0; i < length; ++i) {
    if (at[i] != text[i] && !(fold && at[i] == CaseSwap(text[i]))) {
      return false;
    }
  }
  return true;
}

// This alternative and each that follows it in turn, from the same place.
inline bool TPatternExpr::MatchAlternatives(CNode node)
{
  const char* save = inputPos_;
  for (CNode alt = node; alt != nullptr && *alt == OpAlternative; alt = NextNode(alt)) {
    if (MatchPrim(OperandOf(alt))) {
      return true;
    }
    inputPos_ = save;
  }
  return false;
}

// Sets a group's start or end to inputPos_ for the rest of the match; a
// failure puts the old value back. A group keeps its last end while it is
// open again, so a reference inside it sees the text from the new start to
// that end.
bool TPatternExpr::MatchGroupBound(const char*& bound, CNode next)
{
  const char* saved = bound;
  bound = inputPos_;
  if (MatchPrim(next)) {
    return true;
  }
  bound = saved;
  return false;
}

// A star, plus or braces node over a single-character node: the repetitions
// are counted in one pass, then the rest is tried after each count in turn.
bool TPatternExpr::MatchRepeat(CNode node, CNode next)
{
  unsigned char kind = *node;
  std::int64_t min = 0;
  std::int64_t max = 2147483647;
  CNode repeated = node + NodeHeaderSize;
  if (kind == OpPlus || kind == OpPlusLazy) {
    min = 1;
  } else if (kind == OpBraces || kind == OpBracesLazy) {
    min = CountMinOf(node);
    max = CountMaxOf(node);
    repeated = node + BracesHeaderSize;
  }
  if (repeated >= program_ + programSize_) {
    RaiseError(reExecMatchPrimCorruptedPointers);
  }
  const char* save = inputPos_;
  std::int64_t count = 0;
  std::int64_t step = RepeatStep(repeated);
  if (step == 0) {
    min = 0;  // any number of copies of an empty text is that text: one try
  } else {
    count = RegRepeat(repeated, max);
    if (count < min) {
      return false;
    }
  }
  // The rest is tried only where its first character stands. A failed try
  // leaves the loop counters and loopDepth_ as they were.
  int hint = next != nullptr && *next == OpLiteral ? FirstLiteralCharOf(next) : -1;
  bool lazy = kind == OpStarLazy || kind == OpPlusLazy || kind == OpBracesLazy;
  for (std::int64_t i = 0; i <= count - min; ++i) {
    inputPos_ = save + (lazy ? min + i : count - i) * step;
    if ((hint < 0 || static_cast<unsigned char>(*inputPos_) == hint) && MatchPrim(next)) {
      return true;
    }
  }
  return false;
}

// How far one repetition of the node moves: one character, or the length of
// the captured text for a back-reference to a set group (0 when it is empty).
std::int64_t TPatternExpr::RepeatStep(CNode repeated) const
{
  const char* text = nullptr;
  std::int64_t length = 1;
  if ((*repeated == OpBackRef || *repeated == OpBackRefCI) && CapturedText(BackRefGroupOf(repeated), text, length)) {
    return length;
  }
  return 1;
}

// The number of repetitions of the node at inputPos_, at most `max`; inputPos_
// moves past them.
std::int64_t TPatternExpr::RegRepeat(CNode node, std::int64_t max)
{
  const char* p = inputPos_;
  std::int64_t limit = textEnd_ - p;
  if (max < limit) {
    limit = max;
  }
  std::int64_t n = 0;
  switch (*node) {
  case OpAny: n = limit; break;
  case OpLiteral:
  case OpLiteralCI: {
    // Either case counts at every position, not only after the first mismatch.
    auto c = static_cast<char>(FirstLiteralCharOf(node));
    char other = *node == OpLiteralCI ? CaseSwap(c) : c;
    while (n < limit && (p[n] == c || p[n] == other)) {
      ++n;
    }
    break;
  }
  case OpDigit:
  case OpNonDigit: {
    bool digits = *node == OpDigit;
    while (n < limit && IsAsciiDigit(p[n]) == digits) {
      ++n;
    }
    break;
  }
  case OpAnyOfSmall:
  case OpAnyButSmall:
  case OpAnyOfSet:
    while (n < limit && ClassNodeHas(node, static_cast<unsigned char>(p[n]))) {
      ++n;
    }
    break;
  case OpBackRef:
  case OpBackRefCI: {
    // Whole copies of the captured text; none of an unset or empty one.
    const char* text = nullptr;
    std::int64_t length = 0;
    if (!CapturedText(BackRefGroupOf(node), text, length) || length == 0) {
      return 0;
    }
    bool fold = *node == OpBackRefCI;
    while (n < max && textEnd_ - p >= length && RepeatsCapture(p, text, length, fold)) {
      p += length;
      ++n;
    }
    inputPos_ = p;
    return n;
  }
  default: RaiseError(reExecRegRepeatCalledInappropriately);
  }
  inputPos_ = p + n;
  return n;
}

// Enters a counted loop over a complex atom, one level deeper with a counter of
// its own.
bool TPatternExpr::MatchLoopEntry(CNode next)
{
  if (loopDepth_ >= MaxLoopDepth) {
    RaiseError(reExecLoopStackExceeded);
  }
  std::int32_t depth = ++loopDepth_;
  const char* save = inputPos_;
  // A failed entry must leave the counter of its level as it found it: an
  // earlier loop at the same level may still be backtracking.
  std::int32_t savedCounter = loopCounters_[depth];
  loopCounters_[depth] = 0;
  bool result = MatchPrim(next);
  loopDepth_ = depth - 1;
  loopCounters_[depth] = savedCounter;
  if (!result) {
    inputPos_ = save;
  }
  return result;
}

// Below the minimum another pass is due; from there on a greedy loop tries
// another pass before what follows it, a lazy loop after.
bool TPatternExpr::MatchLoop(CNode node, CNode next)
{
  if (loopDepth_ <= 0 || loopDepth_ > MaxLoopDepth) {
    RaiseError(reExecLoopWithoutEntry);
  }
  std::int32_t min = CountMinOf(node);
  std::int32_t max = CountMaxOf(node);
  std::int32_t k = loopCounters_[loopDepth_];
  if (k < min) {
    return MatchLoopBody(node);
  }
  bool again = k < max && !(k > 0 && PassConsumedNothing(LoopBody(node)));
  if (*node == OpLoop) {
    return (again && MatchLoopBody(node)) || MatchAfterLoop(next);
  }
  return MatchAfterLoop(next) || (again && MatchLoopBody(node));
}

TPatternExpr::CNode TPatternExpr::LoopBody(CNode loop) const
{
  std::int64_t at = (loop - program_) + static_cast<std::int64_t>(LoopBodyOffsetOf(loop));
  return at >= 1 && at < programSize_ ? program_ + at : nullptr;
}

// One more pass of the innermost active loop.
bool TPatternExpr::MatchLoopBody(CNode loop)
{
  const char* save = inputPos_;
  std::int32_t depth = loopDepth_;
  std::int32_t k = loopCounters_[depth]++;
  bool matched = MatchPrim(LoopBody(loop));
  loopDepth_ = depth;
  if (!matched) {
    loopCounters_[depth] = k;
    inputPos_ = save;
  }
  return matched;
}

// Leaves the innermost active loop and matches what follows it.
bool TPatternExpr::MatchAfterLoop(CNode next)
{
  const char* save = inputPos_;
  std::int32_t depth = loopDepth_--;
  if (MatchPrim(next)) {
    return true;
  }
  loopDepth_ = depth;
  inputPos_ = save;
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
    body = OperandOf(body);
  }
  return body != nullptr && IsGroupOpen(*body) && matchStart_[*body - OpGroupOpen] == inputPos_;
}
