#pragma once

#include <string>

// Replaces every occurrence of searched, searching the whole text again after
// each replacement, so occurrences a replacement makes go as well; a
// replacement longer than searched goes once from left to right instead, as
// rescanning it might never end.
std::string ReplaceAll(const std::string& text, const std::string& searched, const std::string& replacement);
