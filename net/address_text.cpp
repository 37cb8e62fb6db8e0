#include "net/address_text.h"

bool IsDigitChar(char Ch)
{
  return Ch >= '0' && Ch <= '9';
}

std::uint32_t ParseDecimal(const std::string& Text)
{
  std::size_t i = 0;
  while (i < Text.size() && Text[i] == ' ')
    ++i;
  std::uint64_t value = 0;
  for (; i < Text.size() && IsDigitChar(Text[i]); ++i) {
    value = value * 10 + static_cast<std::uint64_t>(Text[i] - '0');
    if (value > 0xFFFFFFFFu)
      value = 0xFFFFFFFFu;
  }
  return static_cast<std::uint32_t>(value);
}

bool IsDottedQuad(const std::string& Text)
{
  std::size_t i = 0;
  const std::size_t n = Text.size();
  while (i < n && Text[i] == ' ')
    ++i;
  if (i < n && Text[i] == '.')
    return false;
  int dots = 0;
  unsigned part = 0;
  for (; i < n; ++i) {
    const char ch = Text[i];
    if (ch == '.') {
      ++dots;
      if (dots > 3 || part > 255 || i + 1 >= n || !IsDigitChar(Text[i + 1]))
        return false;
      part = 0;
    } else if (IsDigitChar(ch)) {
      part = part * 10 + static_cast<unsigned>(ch - '0');
      if (part > 256)
        part = 256;  // anything above 255 fails alike
    } else {
      while (i < n && Text[i] == ' ')
        ++i;
      if (i >= n)
        break;
      return false;
    }
  }
  return dots == 3 && part <= 255;
}

std::string TrimText(const std::string& Text)
{
  std::size_t first = 0;
  std::size_t last = Text.size();
  while (first < last && static_cast<unsigned char>(Text[first]) <= ' ')
    ++first;
  while (last > first && static_cast<unsigned char>(Text[last - 1]) <= ' ')
    --last;
  return Text.substr(first, last - first);
}
