#pragma once

#include <exception>
#include <string>

// The core's handlers catch their own exceptions: a fixed line that names the
// place (level LogNormal), then "Alert!   " + the exception's message, its
// what() (level LogHigh), and one more in ExceptionCount. The cycle's own
// failure counter is the caller's to add.
void LogCaughtException(const std::string& placeLine, const std::exception& e);
