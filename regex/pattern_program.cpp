#include "regex/pattern_program.h"

#include <cstdio>
#include <vector>

namespace {

constexpr int OneCharLiteralSize = NodeHeaderSize + 2;  // the character and its NUL

bool IsRepeatable(unsigned char kind)
{
  switch (kind) {
  case OpAny:
  case OpLiteral:
  case OpLiteralCI:
  case OpDigit:
  case OpNonDigit:
  case OpAnyOfSmall:
  case OpAnyButSmall:
  case OpAnyOfSet:
  case OpBackRef:
  case OpBackRefCI: return true;
  default: return false;
  }
}

// Size of the node's own bytes (without a repeated node or body that follows
// it), or 0 for a kind that is never stored. Literals need the bytes to find
// their terminating NUL, so `room` bounds that search.
int NodeSize(const unsigned char* node, int room)
{
  switch (node[0]) {
  case OpEnd:
  case OpInputStart:
  case OpInputEnd:
  case OpAny:
  case OpAlternative:
  case OpBack:
  case OpEmpty:
  case OpStar:
  case OpPlus:
  case OpDigit:
  case OpNonDigit:
  case OpComment:
  case OpLoopEntry:
  case OpStarLazy:
  case OpPlusLazy:
  case OpLineStart:
  case OpLineEnd:
  case OpAnyInLine:
  case OpWordBoundary:
  case OpNonWordBoundary: return NodeHeaderSize;
  case OpBraces:
  case OpBracesLazy: return BracesHeaderSize;
  case OpLoop:
  case OpLoopLazy: return LoopNodeSize;
  case OpAnyOfSmall:
  case OpAnyButSmall: return NodeHeaderSize + SmallClassSize;
  case OpAnyOfSet: return NodeHeaderSize + ClassSetSize;
  case OpBackRef:
  case OpBackRefCI: return NodeHeaderSize + 1;
  case OpLiteral:
  case OpLiteralCI:
    for (int i = NodeHeaderSize; i < room; ++i) {
      if (node[i] == 0) {
        return i + 1;
      }
    }
    return room + 1;  // runs past the end: reported by the caller
  default: return IsGroupOpen(node[0]) || IsGroupClose(node[0]) ? NodeHeaderSize : 0;
  }
}

std::string Printable(unsigned char c)
{
  if (c >= 0x20 && c < 0x7F && c != '\'' && c != '\\') {
    return std::string(1, static_cast<char>(c));
  }
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02X", c);
  return buf;
}

// Walks the program from its first node by every offset a node holds. Each
// node's bytes are claimed for it, so that no offset may land inside another
// node and no two nodes may share a byte.
class TProgramVerifier {
public:
  TProgramVerifier(const unsigned char* program, int size, std::string* problem)
      : program_(program), size_(size), problem_(problem)
  {}

  bool Verify()
  {
    if (program_ == nullptr || size_ < 1 + NodeHeaderSize) {
      return Fail(0, "program too small");
    }
    if (program_[0] != ProgramMarker) {
      return Fail(0, "no program marker");
    }
    owner_.assign(static_cast<size_t>(size_), 0);
    pending_ = {1};  // the node after the marker
    while (!pending_.empty()) {
      int at = pending_.back();
      pending_.pop_back();
      if (owner_[static_cast<size_t>(at)] == at + 1) {
        continue;  // already checked
      }
      if (owner_[static_cast<size_t>(at)] != 0) {
        return Fail(at, "offset into the middle of a node");
      }
      if (!CheckNode(at)) {
        return false;
      }
    }
    return true;
  }

private:
  bool Fail(int at, const char* what)
  {
    if (problem_ != nullptr) {
      *problem_ = what;
      *problem_ += " at ";
      *problem_ += std::to_string(at);
    }
    return false;
  }

  // Queues the node `offset` bytes from the one at `from`.
  bool Follow(int from, std::int64_t offset, const char* what)
  {
    std::int64_t to = from + offset;
    if (to < 1 || to >= size_) {
      return Fail(from, what);
    }
    pending_.push_back(static_cast<int>(to));
    return true;
  }

  // Marks the node's bytes as its own; none may belong to another node.
  bool Claim(int at, int nodeSize)
  {
    for (int i = at; i < at + nodeSize; ++i) {
      if (owner_[static_cast<size_t>(i)] != 0) {
        return Fail(at, "nodes overlap");
      }
      owner_[static_cast<size_t>(i)] = at + 1;
    }
    return true;
  }

  bool CheckBounds(int at, const char* what)
  {
    std::int32_t min = CountMinOf(program_ + at);
    std::int32_t max = CountMaxOf(program_ + at);
    return (min >= 0 && max >= min) || Fail(at, what);
  }

  bool CheckGroupNumber(int at) { return IsGroupNumber(BackRefGroupOf(program_ + at)) || Fail(at, "bad group number"); }

  bool CheckNode(int at)
  {
    const unsigned char* node = program_ + at;
    int room = size_ - at;
    if (room < NodeHeaderSize) {
      return Fail(at, "node header past the end");
    }
    int nodeSize = NodeSize(node, room);
    if (nodeSize == 0) {
      return Fail(at, "unknown node kind");
    }
    if (nodeSize > room) {
      return Fail(at, "node operand past the end");
    }
    if (!Claim(at, nodeSize)) {
      return false;
    }
    unsigned char kind = node[0];
    std::int32_t next = NextOffsetOf(node);
    if (kind == OpEnd) {
      return next == 0 || Fail(at, "end node with a successor");
    }
    if (next == 0) {
      return Fail(at, "missing next node");
    }
    if (!Follow(at, next, "next offset outside the program")) {
      return false;
    }
    switch (kind) {
    case OpAlternative:
    case OpLoopEntry: return Follow(at, NodeHeaderSize, "operand outside the program");
    case OpStar:
    case OpPlus:
    case OpStarLazy:
    case OpPlusLazy:
    case OpBraces:
    case OpBracesLazy: return CheckRepeated(at, at + nodeSize);
    case OpLoop:
    case OpLoopLazy:
      return CheckBounds(at, "bad loop bounds") && Follow(at, LoopBodyOffsetOf(node), "loop body outside the program");
    case OpLiteral:
    case OpLiteralCI: return nodeSize >= OneCharLiteralSize || Fail(at, "empty literal");
    case OpBackRef:
    case OpBackRefCI: return CheckGroupNumber(at);
    default: return true;
    }
  }

  // The node that a star, plus or braces node at `repeater` repeats, which
  // follows it directly and has no successor of its own.
  bool CheckRepeated(int repeater, int at)
  {
    if (at + NodeHeaderSize > size_ || !IsRepeatable(program_[at])) {
      return Fail(repeater, "repetition of a node that cannot be repeated");
    }
    unsigned char kind = program_[at];
    int nodeSize = NodeSize(program_ + at, size_ - at);
    if (nodeSize == 0 || nodeSize > size_ - at) {
      return Fail(at, "repeated node past the end");
    }
    if ((kind == OpLiteral || kind == OpLiteralCI) && nodeSize != OneCharLiteralSize) {
      return Fail(at, "repeated literal of other than one character");
    }
    if (!Claim(at, nodeSize)) {
      return false;
    }
    unsigned char repeaterKind = program_[repeater];
    if ((repeaterKind == OpBraces || repeaterKind == OpBracesLazy) && !CheckBounds(repeater, "bad repeat bounds")) {
      return false;
    }
    return (kind != OpBackRef && kind != OpBackRefCI) || CheckGroupNumber(at);
  }

  const unsigned char* program_;
  int size_;
  std::string* problem_;
  std::vector<int> owner_;    // per byte: 1 + the start of the node that holds it, 0 for none yet
  std::vector<int> pending_;  // nodes still to check
};

}  // namespace

const char* PatternOpName(unsigned char kind)
{
  switch (kind) {
  case OpEnd: return "OpEnd";
  case OpInputStart: return "OpInputStart";
  case OpInputEnd: return "OpInputEnd";
  case OpAny: return "OpAny";
  case OpAlternative: return "OpAlternative";
  case OpBack: return "OpBack";
  case OpLiteral: return "OpLiteral";
  case OpEmpty: return "OpEmpty";
  case OpStar: return "OpStar";
  case OpPlus: return "OpPlus";
  case OpDigit: return "OpDigit";
  case OpNonDigit: return "OpNonDigit";
  case OpBraces: return "OpBraces";
  case OpComment: return "OpComment";
  case OpLiteralCI: return "OpLiteralCI";
  case OpLoopEntry: return "OpLoopEntry";
  case OpLoop: return "OpLoop";
  case OpAnyOfSmall: return "OpAnyOfSmall";
  case OpAnyButSmall: return "OpAnyButSmall";
  case OpAnyOfSet: return "OpAnyOfSet";
  case OpBackRef: return "OpBackRef";
  case OpBackRefCI: return "OpBackRefCI";
  case OpStarLazy: return "OpStarLazy";
  case OpPlusLazy: return "OpPlusLazy";
  case OpBracesLazy: return "OpBracesLazy";
  case OpLoopLazy: return "OpLoopLazy";
  case OpLineStart: return "OpLineStart";
  case OpLineEnd: return "OpLineEnd";
  case OpAnyInLine: return "OpAnyInLine";
  case OpWordBoundary: return "OpWordBoundary";
  case OpNonWordBoundary: return "OpNonWordBoundary";
  default:
    if (IsGroupOpen(kind)) {
      return "OpGroupOpen";
    }
    return IsGroupClose(kind) ? "OpGroupClose" : "";
  }
}

bool VerifyPatternProgram(const unsigned char* program, int size, std::string* problem)
{
  return TProgramVerifier(program, size, problem).Verify();
}

std::string DumpPatternProgram(const unsigned char* program, int size)
{
  std::string out;
  if (program == nullptr || size < 1 || program[0] != ProgramMarker) {
    return out;
  }
  int at = 1;
  while (at + NodeHeaderSize <= size) {
    const unsigned char* node = program + at;
    int nodeSize = NodeSize(node, size - at);
    if (nodeSize == 0 || nodeSize > size - at) {
      out += std::to_string(at) + ": ?\n";
      break;
    }
    unsigned char kind = node[0];
    std::int32_t next = NextOffsetOf(node);
    out += std::to_string(at) + ": " + PatternOpName(kind);
    if (IsGroupOpen(kind) || IsGroupClose(kind)) {
      out += " ";
      out += std::to_string(kind - (IsGroupOpen(kind) ? OpGroupOpen : OpGroupClose));
    }
    switch (kind) {
    case OpLiteral:
    case OpLiteralCI:
      out += " '";
      for (const char* c = LiteralTextOf(node); *c != 0; ++c) {
        out += Printable(static_cast<unsigned char>(*c));
      }
      out += "'";
      break;
    case OpBraces:
    case OpBracesLazy:
      out += " {";
      out += std::to_string(CountMinOf(node));
      out += ",";
      out += std::to_string(CountMaxOf(node));
      out += "}";
      break;
    case OpLoop:
    case OpLoopLazy:
      out += " {";
      out += std::to_string(CountMinOf(node));
      out += ",";
      out += std::to_string(CountMaxOf(node));
      out += "} body ";
      out += std::to_string(at + LoopBodyOffsetOf(node));
      break;
    case OpAnyOfSmall:
    case OpAnyButSmall:
      out += " '";
      for (int i = 0; i < SmallClassSize; ++i) {
        out += Printable(node[NodeHeaderSize + i]);
      }
      out += "'";
      break;
    case OpAnyOfSet: {
      out += " [";
      const unsigned char* set = node + NodeHeaderSize;
      for (int c = 0; c < 256; ++c) {
        if (CharSetHas(set, static_cast<unsigned char>(c))) {
          int last = c;
          while (last + 1 < 256 && CharSetHas(set, static_cast<unsigned char>(last + 1))) {
            ++last;
          }
          out += Printable(static_cast<unsigned char>(c));
          if (last > c) {
            out += "-" + Printable(static_cast<unsigned char>(last));
          }
          c = last;
        }
      }
      out += "]";
      break;
    }
    case OpBackRef:
    case OpBackRefCI:
      out += " \\";
      out += std::to_string(BackRefGroupOf(node));
      break;
    default: break;
    }
    if (next != 0) {
      out += " -> ";
      out += std::to_string(at + next);
    }
    out += "\n";
    at += nodeSize;
  }
  return out;
}
