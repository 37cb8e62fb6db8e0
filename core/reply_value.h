#pragma once

#include <string>

// The value of key in an update reply of key:value items separated by blanks
// (or any characters of code 32 or less).
std::string GetReplyValue(const std::string& key, const std::string& reply);
