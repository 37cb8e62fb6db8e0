#include "core/address_rules.h"

#include "core/address_patterns.h"
#include "regex/pattern_match.h"

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
