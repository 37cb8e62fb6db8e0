#include "core/korvalind_functions.h"

#include <cstdint>

#include "core/address_patterns.h"
#include "core/random_source.h"
#include "platform/text_to_int.h"
#include "regex/pattern_match.h"

namespace {

struct TVersionName {
  std::uint32_t platformId, major, minor;
  const char* name;
};

const TVersionName VersionNames[] = {
    {1, 4, 0, " - Windows 95"},
    {1, 4, 10, " - Windows 98"},
    {1, 4, 90, " - Windows Me"},
    {2, 3, 51, " - Windows NT 3.51"},
    {2, 4, 0, " - Windows NT 4"},
    {2, 5, 0, " - Windows 2000"},
    {2, 5, 1, " - Windows XP"},
    {2, 5, 2, " - Windows .NET Server"},
    {2, 6, 0, " - Windows Vista / Srv 2008"},
    {2, 6, 1, " - Windows 7 / Srv 2008 R2"},
};

}  // namespace

bool IsIPAddress(const std::string& text)
{
  return MatchPattern(DottedQuadPattern, text);
}

bool IsPrivateIP(const std::string& text)
{
  bool matched = false;
  for (const char* pattern : PrivatePatterns)
    if (MatchPattern(pattern, text))
      matched = true;
  return matched;
}

std::string IntToText(std::int32_t value)
{
  return std::to_string(value);
}

std::int32_t TextToIntOrOne(const std::string& text)
{
  if (text.empty())
    return 1;
  int value = 0;
  if (!TryTextToInt(text, value))
    throw EConvertError("'" + text + "' ist kein g\xFCltiger Integerwert");
  return value;
}

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

std::string RandomLetters(std::uint8_t count)
{
  std::string letters;
  letters.reserve(count);
  for (int i = 0; i < count; ++i)
    letters += static_cast<char>('a' + RandomBelow(25));
  return letters;
}

std::string ReplaceAll(const std::string& text, const std::string& searched, const std::string& replacement)
{
  if (searched == replacement)
    return text;
  if (text.size() <= searched.size() || searched.empty() || text.find(searched) == std::string::npos)
    return text;

  if (replacement.size() > searched.size()) {
    // Rescanning need not end here: a replacement that holds the searched
    // text finds it again, and one that rebuilds it with its neighbours
    // ("ab" by "bbaa" in "aab") grows the text for ever or doubles it per
    // pass ("ba" by "aab"). Once from left to right instead.
    std::string result;
    std::size_t from = 0;
    for (std::size_t at; (at = text.find(searched, from)) != std::string::npos; from = at + searched.size()) {
      result.append(text, from, at - from);
      result += replacement;
    }
    result.append(text, from);
    return result;
  }
  std::string result(text);
  // Every pass shortens the text, or keeps its length and moves it the same
  // way in byte order, so rescanning ends. Nothing before the occurrence just
  // replaced was found, so the next one starts at most searched.size() - 1
  // bytes before it: searching from there is searching from the start.
  const std::size_t back = searched.size() - 1;
  for (std::size_t at = result.find(searched); at != std::string::npos;
       at = result.find(searched, at > back ? at - back : 0))
    result.replace(at, searched.size(), replacement);
  return result;
}

std::string GetReplyValue(const std::string& key, const std::string& reply)
{
  const std::string marker = key + ":";
  const std::size_t at = reply.find(marker);
  if (at == std::string::npos)
    return {};
  std::string value = reply.substr(at + marker.size());
  const std::size_t colon = value.find(':');
  if (colon != std::string::npos) {
    // The next item's key: cut back to the blank (or line feed, tab, any
    // character of code 32 or less) before it.
    value.erase(colon + 1);
    while (value.size() > 1 && static_cast<unsigned char>(value.back()) > 32)
      value.pop_back();
  }
  while (!value.empty() && static_cast<unsigned char>(value.back()) <= 32)
    value.pop_back();
  return value;
}

std::string FormatOSVersionText(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                                const std::string& servicePack)
{
  std::string text = "(";
  text += IntToText(static_cast<std::int32_t>(major));
  text += '.';
  text += IntToText(static_cast<std::int32_t>(minor));
  text += ')';
  for (const TVersionName& entry : VersionNames)
    if (entry.platformId == platformId && entry.major == major && entry.minor == minor) {
      text += entry.name;
      break;
    }
  if (!servicePack.empty()) {
    text += ' ';
    text += servicePack;
  }
  return text;
}
