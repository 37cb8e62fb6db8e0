// The start hints: derived from a finished program, they let the matcher skip
// start positions where no match can begin.
#include <cstring>
#include <iterator>
#include <vector>

#include "platform/ascii_text.h"
#include "regex/pattern_expr.h"
#include "regex/pattern_program.h"

namespace {

// Nodes still to be filled from. The walk keeps its own list rather than
// recursing, as optional pieces nest one branch per piece; most programs need
// only the slots kept in place.
class TNodeStack {
public:
  void Push(const unsigned char* node)
  {
    if (size_ < std::size(inline_)) {
      inline_[size_] = node;
    } else {
      spill_.push_back(node);
    }
    ++size_;
  }
  bool Empty() const { return size_ == 0; }
  const unsigned char* Pop()
  {
    --size_;
    if (size_ < std::size(inline_)) {
      return inline_[size_];
    }
    const unsigned char* node = spill_.back();
    spill_.pop_back();
    return node;
  }

private:
  const unsigned char* inline_[32];
  std::size_t size_ = 0;
  std::vector<const unsigned char*> spill_;
};

}  // namespace

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
