#pragma once

#include <cstdint>
#include <string>

// Text helpers of the addressing code. Portable, so they are fuzzed natively.

// Leading blanks, then decimal digits up to the first other character; 0 when
// no digit follows. The value saturates at 0xFFFFFFFF instead of overflowing.
std::uint32_t ParseDecimal(const std::string& text);

// Range-checked dotted quad, as inet_addr needs it; the core's IsIPAddress
// checks only the shape (999.1.1.1 passes there), as its callers expect.
// Four decimal parts of at most 255 joined by dots, with blanks allowed before
// and after (leading zeros pass). Part values are capped while reading, so a
// long run of digits cannot overflow into a small number.
bool IsDottedQuad(const std::string& text);

// The text without leading and trailing blanks and control characters.
std::string TrimText(const std::string& text);
