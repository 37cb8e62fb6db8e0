// The update request's text helpers over arbitrary input: nothing may crash
// or hang, and the properties the request and reply code rely on must hold.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/address_rules.h"
#include "core/integer_text.h"
#include "core/replace_all.h"
#include "core/reply_value.h"
#include "core/request_scrambler.h"
#include "platform/text_to_int.h"

namespace {

// Splits the input at the first two 0x00 bytes into up to three fields.
void Fields(const std::string& input, std::string& a, std::string& b, std::string& c)
{
  const std::size_t first = input.find('\0');
  a = input.substr(0, first);
  if (first == std::string::npos)
    return;
  const std::size_t second = input.find('\0', first + 1);
  b = input.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  if (second != std::string::npos)
    c = input.substr(second + 1);
}

void Check(bool condition)
{
  if (!condition)
    std::abort();
}

std::string ReplaceRescanning(std::string text, const std::string& searched, const std::string& replacement)
{
  for (std::size_t at; (at = text.find(searched)) != std::string::npos;)
    text = text.substr(0, at) + replacement + text.substr(at + searched.size());
  return text;
}

std::string ReplaceOnce(const std::string& text, const std::string& searched, const std::string& replacement)
{
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, searched.size(), searched) == 0) {
      out += replacement;
      i += searched.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  if (size > 4096)
    return 0;
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::string a, b, c;
  Fields(input, a, b, c);

  // A value never ends in a blank or control character.
  const std::string value = GetReplyValue(a, b);
  Check(value.empty() || static_cast<unsigned char>(value.back()) > 32);
  Check(value.size() <= b.size());

  // Every replacement ends, whatever the three texts. Small cases are
  // checked against the plain rescanning loop (replacements that do not grow)
  // and a plain copy with one left-to-right pass (replacements that grow).
  const std::string replaced = ReplaceAll(a, b, c);
  if (b.empty() || b == c || a.size() <= b.size())
    Check(replaced == a);
  else if (c.size() > b.size())
    Check(replaced == ReplaceOnce(a, b, c));
  else if (a.size() <= 256)
    Check(replaced == ReplaceRescanning(a, b, c));
  if (!b.empty() && b != c && c.size() <= b.size() && a.size() > b.size())
    Check(replaced.find(b) == std::string::npos);

  const std::string scrambled = ScrambleRequest(input);
  Check(scrambled.size() == input.size());
  if (!input.empty()) {
    const int shift = (static_cast<unsigned char>(scrambled[0]) - static_cast<unsigned char>(input[0]) + 256) % 256;
    Check(shift >= 1 && shift <= 25);
    bool lineFeedAvoidable = false;
    for (int k = 1; k <= 25 && !lineFeedAvoidable; ++k) {
      bool clean = true;
      for (const char byte : input)
        if (((static_cast<unsigned char>(byte) + k) & 0xFF) == 0x0A)
          clean = false;
      lineFeedAvoidable = clean;
    }
    for (std::size_t i = 0; i < input.size(); ++i)
      Check(static_cast<unsigned char>(scrambled[i]) == ((static_cast<unsigned char>(input[i]) + shift) & 0xFF));
    if (lineFeedAvoidable)
      Check(scrambled.find('\n') == std::string::npos);
  }

  try {
    const std::int32_t number = TextToIntOrOne(a);
    Check(a.empty() ? number == 1 : TextToIntOrOne(IntToText(number)) == number);
  } catch (const EConvertError&) {
    Check(!a.empty());
  }

  const bool address = IsIPAddress(a);
  const bool isPrivate = IsPrivateIP(a);
  Check(!isPrivate || address);
  if (address)
    Check(a.size() >= 7 && a.size() <= 15 && a.find_first_not_of("0123456789.") == std::string::npos);
  return 0;
}
