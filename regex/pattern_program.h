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
                                   (static_cast<std::uint32_t>(p[2]) << 16) |
                                   (static_cast<std::uint32_t>(p[3]) << 24));
}

inline void WriteProgramInt(unsigned char* p, std::int32_t value)
{
  auto v = static_cast<std::uint32_t>(value);
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
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
