#pragma once

#include <winsock2.h>
#include <windows.h>

// System parts that both same-parts programs of the footprint benchmark load
// as the two clients do.

// The clients read their version resource at start: version.dll.
inline bool QueryOwnVersionResource()
{
  char path[MAX_PATH];
  DWORD ignored = 0;
  if (GetModuleFileNameA(nullptr, path, MAX_PATH) == 0)
    return false;
  GetFileVersionInfoSizeA(path, &ignored);
  return true;
}

// One TCP socket that reports its events to a window, with Windows Sockets
// loaded as the clients' socket layer loads it: wsock32 by name beside ws2_32.
inline SOCKET OpenAsyncSocket(HWND window, UINT message)
{
  if (!LoadLibraryA("wsock32.dll"))
    return INVALID_SOCKET;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
    return INVALID_SOCKET;
  SOCKET handle = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (handle != INVALID_SOCKET &&
      WSAAsyncSelect(handle, window, message, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE) != 0) {
    closesocket(handle);
    return INVALID_SOCKET;
  }
  return handle;
}
