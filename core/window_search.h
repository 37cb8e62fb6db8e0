#pragma once

#include <string>

#include <windows.h>

// The first of at most 1001 top-level windows whose title holds text (ASCII
// letters compared without case), tooltip windows ("THintWindow") left out.
HWND FindWindowWithTitle(const std::string& text);
