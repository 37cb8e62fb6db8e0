#pragma once

#include <string>

#include "regex/pattern_match.h"

// The code of the error MatchPattern raises for the pair, or 0 for none.
inline int ErrorCodeOf(const std::string& pattern, const std::string& text)
{
  try {
    MatchPattern(pattern, text);
  } catch (const EPatternExpr& e) {
    return e.Code;
  }
  return 0;
}
