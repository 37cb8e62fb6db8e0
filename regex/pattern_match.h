#pragma once

#include <string>

#include "regex/pattern_error.h"

// Does some part of `text` match `pattern` (default modifiers)? Compiles the
// pattern afresh on every call; a bad pattern raises EPatternExpr.
bool MatchPattern(const std::string& pattern, const std::string& text);
