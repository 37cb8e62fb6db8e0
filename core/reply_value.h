#pragma once

#include <string>

// What separates the key:value items of an update reply: a blank, or a line
// feed, a tab, any character of code 32 or less.
inline bool IsReplySeparator(char c)
{
  return static_cast<unsigned char>(c) <= 32;
}

// The value of key in an update reply of key:value items separated by
// separators as above.
std::string GetReplyValue(const std::string& key, const std::string& reply);
