#pragma once

#include <cstdint>
#include <string>

// Layout of a compiled node program: byte 0 is the marker, then nodes of
// kind (1 byte), next offset (signed 32-bit, relative to the node, 0 = none)
// and the kind's operands. Numbers are little-endian.
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

constexpr unsigned char ProgramMarker = 216;
constexpr int NodeHeaderSize = 5;
constexpr int MaxGroupNumber = 14;
constexpr int ClassSetSize = 32;

inline std::int32_t ReadProgramInt(const unsigned char* p)
{
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                   (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
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
