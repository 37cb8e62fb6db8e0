#pragma once

#include <functional>

#include <windows.h>
#include <shellapi.h>

// The system calls through which the tray icon talks to the shell and reads
// the input state. They default to the real calls; tests replace them to
// record the requests and to play the mouse and keyboard.
struct TTrayShell {
  std::function<BOOL(DWORD message, NOTIFYICONDATAA* data)> NotifyIcon;
  std::function<BOOL(POINT* point)> GetCursorPos;
  std::function<SHORT(int virtualKey)> GetAsyncKeyState;
  std::function<UINT()> GetDoubleClickTime;
};

TTrayShell& TrayShell();
// Puts the real calls back.
void ResetTrayShell();
