#include "regex/case_swap.h"

#include <array>
#include <cstddef>

namespace {

constexpr std::array<unsigned char, 256> BuildSwapTable()
{
  std::array<unsigned char, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[static_cast<size_t>(c)] = static_cast<unsigned char>(c);
  }
  auto pair = [&table](int upper, int lower) {
    table[static_cast<size_t>(upper)] = static_cast<unsigned char>(lower);
    table[static_cast<size_t>(lower)] = static_cast<unsigned char>(upper);
  };
  for (int c = 'A'; c <= 'Z'; ++c) {
    pair(c, c + 32);
  }
  pair(0x8A, 0x9A);  // S with caron
  pair(0x8C, 0x9C);  // ligature OE
  pair(0x8E, 0x9E);  // Z with caron
  pair(0x9F, 0xFF);  // Y with diaeresis
  for (int c = 0xC0; c <= 0xDE; ++c) {
    if (c != 0xD7) {  // the multiplication sign has no other case
      pair(c, c + 32);
    }
  }
  return table;
}

constexpr std::array<unsigned char, 256> SwapTable = BuildSwapTable();

}  // namespace

char PortableCaseSwap(char c)
{
  return static_cast<char>(SwapTable[static_cast<unsigned char>(c)]);
}

#ifndef _WIN32
char DefaultCaseSwap(char c)
{
  return PortableCaseSwap(c);
}
#endif
