#pragma once

#include <windows.h>

// Registers a window class of this program unless it is registered already:
// several objects, threads or a second start of a component may all ask for
// the same class. False when the class can be neither found nor registered
// (GetLastError tells why).
bool EnsureWindowClass(const WNDCLASSA& windowClass);

// The same, throwing Exception "Cannot register the <kind> window class
// (error N)" when it fails.
void RequireWindowClass(const WNDCLASSA& windowClass, const char* kind);
