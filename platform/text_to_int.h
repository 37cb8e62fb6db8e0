#pragma once

#include <cstdint>
#include <string>

#include "platform/exception.h"

// The platform's run-time conversion error.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// The platform's strict signed 32-bit conversion: optional leading blanks,
// one sign, decimal digits and nothing after them. False when the text does
// not convert or does not fit. Header-only and portable, like Exception.
inline bool TryTextToInt(const std::string& text, int& value)
{
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size())
    return false;
  std::uint64_t magnitude = 0;
  for (; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < '0' || c > '9')
      return false;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > 2147483648ull)
      return false;
  }
  if (!negative && magnitude > 2147483647ull)
    return false;
  value = negative ? static_cast<int>(-static_cast<std::int64_t>(magnitude)) : static_cast<int>(magnitude);
  return true;
}
