#pragma once

#include <string>

// One value of a file's version resource, from its German/Windows-1252 string
// table (block 040704E4), the only one this system's programs carry. Empty when
// the file has no version resource or the table has no such key.
std::string ReadVersionValue(const std::string& fileName, const std::string& key);
