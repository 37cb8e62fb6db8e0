#pragma once

#include <exception>
#include <string>

// The core's handlers catch their own exceptions: a fixed line that names the
// place (level 20), then "Alert!   " + the exception's message (level 30),
// and one more in ExceptionCount. The cycle's own failure counter is the
// caller's to add.
void LogCaughtException(const std::string& placeLine, const std::exception& e);

// The message of anything a handler caught.
std::string ExceptionText(const std::exception& e);
