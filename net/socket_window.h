#pragma once

#include <windows.h>

class TCustomNetSocket;

// The hidden windows of the sockets: one process-wide window class,
// "XSocketWindowClass", whose one pointer-sized window slot holds the socket.

// A new hidden window for Owner on the calling thread, or null.
HWND CreateSocketWindow(TCustomNetSocket* Owner);
// Clears the slot: later messages find no socket.
void DetachSocketWindow(HWND Window);
// Clears the slot and destroys the window; true when it was destroyed.
bool DestroySocketWindow(HWND Window);
// Unregisters the class once no socket window is left.
void UnregisterSocketWindowClass();

bool SocketWindowClassRegistered();
int SocketWindowCount();

LRESULT CALLBACK SocketWindowProc(HWND Window, UINT Msg, WPARAM WParam, LPARAM LParam);
