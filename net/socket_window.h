#pragma once

#include <windows.h>

class TCustomNetSocket;

// The hidden windows of the sockets: one process-wide window class,
// "XSocketWindowClass", whose one pointer-sized window slot holds the socket.

// A new hidden window for owner on the calling thread, or null.
HWND CreateSocketWindow(TCustomNetSocket* owner);
// Clears the slot: later messages find no socket.
void DetachSocketWindow(HWND window);
// Clears the slot and destroys the window; true when it was destroyed.
bool DestroySocketWindow(HWND window);
// Unregisters the class once no socket window is left.
void UnregisterSocketWindowClass();

bool SocketWindowClassRegistered();
int SocketWindowCount();

LRESULT CALLBACK SocketWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam);
