#pragma once

#include <string>
#include <vector>

// The program's arguments after its own name, as the runtime split its
// command line.
std::vector<std::string> ParamList();

// True when one of params is a switch: "-" or "/" followed by name, letters
// compared without regard to case ("/install", "-INSTALL", "/Install").
bool FindCmdLineSwitch(const std::vector<std::string>& params, const std::string& name);
