#include "core/random_source.h"

namespace {

// splitmix64: small, fast and uniform enough for session letters, the
// scrambler's shift and fallback choices; constant-initialised, so draws work
// even before Randomize has run.
std::uint64_t state = 0x853c49e6748fea9bull;

std::uint64_t Next()
{
  std::uint64_t z = (state += 0x9e3779b97f4a7c15ull);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
  return z ^ (z >> 31);
}

}  // namespace

void SetRandomState(std::uint64_t value)
{
  state = value;
}

int RandomBelow(int range)
{
  if (range <= 1)
    return 0;
  const std::uint64_t n = static_cast<std::uint64_t>(range);
  // Rejecting the top partial block keeps every value equally likely.
  const std::uint64_t limit = UINT64_MAX - UINT64_MAX % n;
  std::uint64_t x;
  do
    x = Next();
  while (x >= limit);
  return static_cast<int>(x % n);
}

std::string RandomLetters(std::uint8_t count)
{
  std::string letters;
  letters.reserve(count);
  for (int i = 0; i < count; ++i)
    letters += static_cast<char>('a' + RandomBelow(25));
  return letters;
}
