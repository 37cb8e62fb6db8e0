#pragma once

#include <string>

// The running program's file name without its folder and extension
// ("korvalind" for C:\Tools\korvalind.exe).
std::string ProgramFileTitle();
