#pragma once

#include <string>

// Every byte shifted by one random amount from 1 to 25 (modulo 256). A shift
// that would turn a byte into a line feed is drawn again, as the scrambled
// request is sent as one line.
std::string ScrambleRequest(const std::string& text);
