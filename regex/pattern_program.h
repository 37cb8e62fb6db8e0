#pragma once

#include <cstdint>
#include <string>

// A compiled node program: byte 0 is the marker, then the nodes. Each node
// begins with its kind (1 byte) and its next offset; the layout of each kind
// follows the enum.
enum TPatternOp : unsigned char {
  OpEnd = 0,
  OpInputStart = 1,
  OpInputEnd = 2,
  OpAny = 3,
  OpAnyOf = 4,  // class kinds used only while a class is built
  OpAnyBut = 5,
  OpAlternative = 6,
  OpBack = 7,
  OpLiteral = 8,
  OpEmpty = 9,
  OpStar = 10,
  OpPlus = 11,
  OpDigit = 12,
  OpNonDigit = 13,
  OpBraces = 18,
  OpComment = 19,
  OpLiteralCI = 20,
  OpAnyOfCI = 21,
  OpAnyButCI = 22,
  OpLoopEntry = 23,
  OpLoop = 24,
  OpAnyOfSmall = 25,
  OpAnyButSmall = 26,
  OpAnyOfSet = 27,
  OpBackRef = 28,
  OpBackRefCI = 29,
  OpStarLazy = 30,
  OpPlusLazy = 31,
  OpBracesLazy = 32,
  OpLoopLazy = 33,
  OpLineStart = 34,
  OpLineEnd = 35,
  OpAnyInLine = 36,
  OpWordBoundary = 37,
  OpNonWordBoundary = 38,
  OpGroupOpen = 39,   // group n opens with OpGroupOpen + n (n = 1..14)
  OpGroupClose = 54,  // and closes with OpGroupClose + n
};

// Node layouts, by byte position in the node. Numbers are signed 32-bit
// little-endian; the next and body offsets count from the node's first byte.
//   every kind                     0 kind, 1-4 next offset (0 = none)
//   OpAlternative                  5.. the alternative's first node
//   OpLoopEntry                    5.. the loop body's first node
//   OpStar, OpPlus and lazy forms  5.. the repeated node
//   OpBraces, OpBracesLazy         5-8 minimum, 9-12 maximum, 13.. the repeated node
//   OpLoop, OpLoopLazy             5-8 minimum, 9-12 maximum, 13-16 body offset
//   OpLiteral, OpLiteralCI         5.. the characters, then a NUL
//   OpAnyOfSmall, OpAnyButSmall    5-7 three characters
//   OpAnyOfSet                     5-36 the 256-bit character set
//   OpBackRef, OpBackRefCI         5 the group number
//   every other kind               no operand
constexpr unsigned char ProgramMarker = 216;
constexpr int ProgramIntSize = 4;
constexpr int NextOffsetAt = 1;
constexpr int NodeHeaderSize = NextOffsetAt + ProgramIntSize;
constexpr int CountMinAt = NodeHeaderSize;
constexpr int CountMaxAt = CountMinAt + ProgramIntSize;
constexpr int BracesHeaderSize = CountMaxAt + ProgramIntSize;
constexpr int LoopBodyAt = CountMaxAt + ProgramIntSize;
constexpr int LoopNodeSize = LoopBodyAt + ProgramIntSize;
constexpr int SmallClassSize = 3;
constexpr int ClassSetSize = 32;
constexpr int MaxGroupNumber = 14;
static_assert(NodeHeaderSize == 5 && BracesHeaderSize == 13 && LoopNodeSize == 17 &&
                  NodeHeaderSize + ClassSetSize == 37,
              "the positions in the layouts above");

inline std::int32_t ReadProgramInt(const unsigned char* p)
{
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                   (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
}

inline std::int32_t NextOffsetOf(const unsigned char* node)
{
  return ReadProgramInt(node + NextOffsetAt);
}

// The bounds of OpBraces and OpLoop and their lazy forms.
inline std::int32_t CountMinOf(const unsigned char* node)
{
  return ReadProgramInt(node + CountMinAt);
}

inline std::int32_t CountMaxOf(const unsigned char* node)
{
  return ReadProgramInt(node + CountMaxAt);
}

inline std::int32_t LoopBodyOffsetOf(const unsigned char* node)
{
  return ReadProgramInt(node + LoopBodyAt);
}

inline const char* LiteralTextOf(const unsigned char* node)
{
  return reinterpret_cast<const char*>(node + NodeHeaderSize);
}

inline unsigned char FirstLiteralCharOf(const unsigned char* node)
{
  return node[NodeHeaderSize];
}

inline unsigned char BackRefGroupOf(const unsigned char* node)
{
  return node[NodeHeaderSize];
}

inline void WriteProgramInt(unsigned char* p, std::int32_t value)
{
  auto v = static_cast<std::uint32_t>(value);
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// Group n (1..14) opens with node kind OpGroupOpen + n and closes with
// OpGroupClose + n; a back-reference names it by the same number.
inline bool IsGroupNumber(int n)
{
  return n >= 1 && n <= MaxGroupNumber;
}

inline bool IsGroupOpen(unsigned char kind)
{
  return IsGroupNumber(kind - OpGroupOpen);
}

inline bool IsGroupClose(unsigned char kind)
{
  return IsGroupNumber(kind - OpGroupClose);
}

// 256-bit character sets, as in the OpAnyOfSet operand: character c is bit
// (c mod 8) of byte (c div 8).
inline bool CharSetHas(const std::uint8_t* set, unsigned char c)
{
  return ((set[c >> 3] >> (c & 7)) & 1) != 0;
}

inline void CharSetAdd(std::uint8_t* set, unsigned char c)
{
  set[c >> 3] = static_cast<std::uint8_t>(set[c >> 3] | (1u << (c & 7)));
}

// Whether the class node (OpAnyOfSmall, OpAnyButSmall or OpAnyOfSet) admits
// c. The matcher keeps the text's terminating NUL out itself.
inline bool ClassNodeHas(const unsigned char* node, unsigned char c)
{
  const unsigned char* operand = node + NodeHeaderSize;
  switch (node[0]) {
  case OpAnyOfSmall: return c == operand[0] || c == operand[1] || c == operand[2];
  case OpAnyButSmall: return c != operand[0] && c != operand[1] && c != operand[2];
  default: return CharSetHas(operand, c);
  }
}

// The name of a node kind as used in program dumps ("OpLiteral"), or "" for a
// code that is never stored.
const char* PatternOpName(unsigned char kind);

// Checks that every node reachable from the first one lies inside the program,
// starts where no other node's bytes are, carries its whole operand, and that
// every next, body and operand offset lands on such a node. Used by the tests
// and the fuzz targets; the matcher itself only bounds its next offsets.
bool VerifyPatternProgram(const unsigned char* program, int size, std::string* problem);

// One line per node, in address order: "offset kind next operands".
std::string DumpPatternProgram(const unsigned char* program, int size);
