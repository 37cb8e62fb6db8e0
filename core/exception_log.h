#pragma once

#include <exception>
#include <string>

// The core's handlers catch their own exceptions: a fixed line that names the
// place (level 20), then "Alert!   " + the exception's message (level 30),
// and one more in ExceptionCount. The cycle's own failure counter is the
// caller's to add.
void LogCaughtException(const std::string& placeLine, const std::exception& e);

// The message of an exception a handler caught (its what()), as the
// "Alert!   " line shows it.
std::string ExceptionMessage(const std::exception& e);
