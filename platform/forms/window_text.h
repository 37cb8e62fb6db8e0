#pragma once

#include <string>

#include <windows.h>

// The text the window holds now, read from the window itself.
std::string ReadWindowText(HWND window);
