#pragma once

#include <cstdint>
#include <string>

// The client core's one process-wide pseudo-random source (main thread only,
// not guarded). Randomize gives it a clock-derived starting value once at
// process start.

// Gives the random source a clock-derived starting value (Windows only). Runs
// once by itself when the program starts; nothing else needs to call it.
void Randomize();

// Sets the generator's state; the same value gives the same draws.
void SetRandomState(std::uint64_t value);

// A uniform draw from 0 to range - 1; range must be at least 1.
int RandomBelow(int range);

// count letters drawn from "a" to "y".
std::string RandomLetters(std::uint8_t count);
