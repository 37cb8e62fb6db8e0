#include "net/address_text.h"

#include "platform/ascii_text.h"

namespace {

constexpr unsigned kLargestQuadPart = 255;

}  // namespace

std::uint32_t ParseDecimal(const std::string& text)
{
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  std::uint64_t value = 0;
  for (; i < text.size() && IsAsciiDigit(text[i]); ++i) {
    value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (value > 0xFFFFFFFFu)
      value = 0xFFFFFFFFu;
  }
  return static_cast<std::uint32_t>(value);
}

bool IsDottedQuad(const std::string& text)
{
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n && text[i] == ' ')
    ++i;
  if (i < n && text[i] == '.')
    return false;
  int dots = 0;
  unsigned part = 0;
  for (; i < n; ++i) {
    const char ch = text[i];
    if (ch == '.') {
      ++dots;
      if (dots > 3 || part > kLargestQuadPart || i + 1 >= n || !IsAsciiDigit(text[i + 1]))
        return false;
      part = 0;
    } else if (IsAsciiDigit(ch)) {
      part = part * 10 + static_cast<unsigned>(ch - '0');
      if (part > kLargestQuadPart + 1)
        part = kLargestQuadPart + 1;  // anything above fails alike
    } else {
      while (i < n && text[i] == ' ')
        ++i;
      if (i >= n)
        break;
      return false;
    }
  }
  return dots == 3 && part <= kLargestQuadPart;
}

std::string TrimText(const std::string& text)
{
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
    ++first;
  while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
    --last;
  return text.substr(first, last - first);
}
