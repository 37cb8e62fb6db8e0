#pragma once

#include <algorithm>
#include <string>

// Digit and case helpers for names, switches, numbers and protocol texts. Only the ASCII
// letters change: bytes above 127 stay as they are whatever the code page,
// so a comparison never depends on the user's locale. Portable.

inline bool IsAsciiDigit(char c)
{
  return c >= '0' && c <= '9';
}

inline char UpperAscii(char c)
{
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

inline char LowerAscii(char c)
{
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

inline std::string UpperAscii(std::string text)
{
  for (char& c : text)
    c = UpperAscii(c);
  return text;
}

inline std::string LowerAscii(std::string text)
{
  for (char& c : text)
    c = LowerAscii(c);
  return text;
}

inline bool SameTextAscii(const std::string& a, const std::string& b)
{
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return UpperAscii(x) == UpperAscii(y); });
}
