#include "core/request_scrambler.h"

#include "core/random_source.h"

std::string ScrambleRequest(const std::string& text)
{
  // Shift k turns byte b into a line feed when b + k = 10 (mod 256), that is
  // for b = 10 - k: 0x00-0x09 and 0xF1-0xFF.
  bool badShift[26] = {};
  int badCount = 0;
  for (const char c : text) {
    const unsigned char b = static_cast<unsigned char>(c);
    const int k = (10 - b + 256) % 256;
    if (k >= 1 && k <= 25 && !badShift[k]) {
      badShift[k] = true;
      ++badCount;
    }
  }
  int shift = RandomBelow(25) + 1;
  // When every shift gives a line feed no choice helps: keep the first draw.
  if (badCount < 25)
    while (badShift[shift])
      shift = RandomBelow(25) + 1;

  std::string result(text);
  for (char& c : result)
    c = static_cast<char>(static_cast<unsigned char>(c) + shift);
  return result;
}
