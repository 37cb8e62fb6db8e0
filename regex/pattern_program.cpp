#include "regex/pattern_program.h"

#include <cstdio>
#include <vector>

namespace {

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
  auto fail = [&](int offset, const char* what) {
    if (problem != nullptr) {
      *problem = what;
      *problem += " at ";
      *problem += std::to_string(offset);
    }
    return false;
  };
  if (program == nullptr || size < 1 + NodeHeaderSize) {
    return fail(0, "program too small");
  }
  if (program[0] != ProgramMarker) {
    return fail(0, "no program marker");
  }
  // owner[i] is 1 + the start of the node whose bytes include i.
  std::vector<int> owner(static_cast<size_t>(size), 0);
  std::vector<int> work{1};
  auto target = [&](int from, std::int64_t offset, const char* what) {
    std::int64_t to = from + offset;
    if (to < 1 || to >= size) {
      return fail(from, what);
    }
    work.push_back(static_cast<int>(to));
    return true;
  };
  while (!work.empty()) {
    int at = work.back();
    work.pop_back();
    if (owner[static_cast<size_t>(at)] == at + 1) {
      continue;  // already checked
    }
    if (owner[static_cast<size_t>(at)] != 0) {
      return fail(at, "offset into the middle of a node");
    }
    const unsigned char* node = program + at;
    int room = size - at;
    if (room < NodeHeaderSize) {
      return fail(at, "node header past the end");
    }
    int nodeSize = NodeSize(node, room);
    if (nodeSize == 0) {
      return fail(at, "unknown node kind");
    }
    if (nodeSize > room) {
      return fail(at, "node operand past the end");
    }
    for (int i = at; i < at + nodeSize; ++i) {
      if (owner[static_cast<size_t>(i)] != 0) {
        return fail(at, "nodes overlap");
      }
      owner[static_cast<size_t>(i)] = at + 1;
    }
    unsigned char kind = node[0];
    std::int32_t next = NextOffsetOf(node);
    if (kind == OpEnd) {
      if (next != 0) {
        return fail(at, "end node with a successor");
      }
      continue;
    }
    if (next == 0) {
      return fail(at, "missing next node");
    }
    if (!target(at, next, "next offset outside the program")) {
      return false;
    }
    switch (kind) {
    case OpAlternative:
    case OpLoopEntry:
      if (!target(at, NodeHeaderSize, "operand outside the program")) {
        return false;
      }
      break;
    case OpStar:
    case OpPlus:
    case OpStarLazy:
    case OpPlusLazy:
    case OpBraces:
    case OpBracesLazy: {
      int repeated = at + nodeSize;
      if (repeated + NodeHeaderSize > size || !IsRepeatable(program[repeated])) {
        return fail(at, "repetition of a node that cannot be repeated");
      }
      int repeatedSize = NodeSize(program + repeated, size - repeated);
      if (repeatedSize == 0 || repeatedSize > size - repeated) {
        return fail(repeated, "repeated node past the end");
      }
      if ((program[repeated] == OpLiteral || program[repeated] == OpLiteralCI) && repeatedSize != NodeHeaderSize + 2) {
        return fail(repeated, "repeated literal of other than one character");
      }
      for (int i = repeated; i < repeated + repeatedSize; ++i) {
        if (owner[static_cast<size_t>(i)] != 0) {
          return fail(repeated, "nodes overlap");
        }
        owner[static_cast<size_t>(i)] = repeated + 1;
      }
      if (kind == OpBraces || kind == OpBracesLazy) {
        std::int32_t min = CountMinOf(node);
        std::int32_t max = CountMaxOf(node);
        if (min < 0 || max < min) {
          return fail(at, "bad repeat bounds");
        }
      }
      if ((program[repeated] == OpBackRef || program[repeated] == OpBackRefCI) &&
          !IsGroupNumber(BackRefGroupOf(program + repeated))) {
        return fail(repeated, "bad group number");
      }
      break;
    }
    case OpLoop:
    case OpLoopLazy: {
      std::int32_t min = CountMinOf(node);
      std::int32_t max = CountMaxOf(node);
      if (min < 0 || max < min) {
        return fail(at, "bad loop bounds");
      }
      if (!target(at, LoopBodyOffsetOf(node), "loop body outside the program")) {
        return false;
      }
      break;
    }
    case OpLiteral:
    case OpLiteralCI:
      if (nodeSize < NodeHeaderSize + 2) {
        return fail(at, "empty literal");
      }
      break;
    case OpBackRef:
    case OpBackRefCI:
      if (!IsGroupNumber(BackRefGroupOf(node))) {
        return fail(at, "bad group number");
      }
      break;
    default: break;
    }
  }
  return true;
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
