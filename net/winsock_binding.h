#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>

// Windows Sockets 1.1 reached without linking against it: "wsock32.dll" (and
// "ws2_32.dll" for WSAIoctl) is loaded from the system folder by the first call,
// each entry point is resolved by name on its first call and kept, and all is
// unloaded again when the last socket component goes. The wrappers carry the
// entry points' own names and pass arguments and results through unchanged.
class Winsock {
public:
  static int WSAStartup(WORD versionRequested, LPWSADATA data);
  static int WSACleanup();
  static void WSASetLastError(int error);
  static int WSAGetLastError();

  static int WSACancelAsyncRequest(HANDLE asyncTaskHandle);
  static HANDLE WSAAsyncGetHostByName(HWND window, u_int msg, const char* name, char* buf, int bufLen);
  static HANDLE WSAAsyncGetHostByAddr(HWND window, u_int msg, const char* addr, int len, int type, char* buf,
                                      int bufLen);
  static int WSAAsyncSelect(SOCKET s, HWND window, u_int msg, long event);

  static servent* getservbyname(const char* name, const char* proto);
  static protoent* getprotobyname(const char* name);
  static hostent* gethostbyname(const char* name);

  static SOCKET socket(int af, int type, int protocol);
  static int shutdown(SOCKET s, int how);
  static int setsockopt(SOCKET s, int level, int optName, const char* optVal, int optLen);
  static int getsockopt(SOCKET s, int level, int optName, char* optVal, int* optLen);
  static int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int toLen);
  static int send(SOCKET s, const char* buf, int len, int flags);
  static int listen(SOCKET s, int backlog);
  static int ioctlsocket(SOCKET s, long cmd, u_long* arg);
  static int getsockname(SOCKET s, sockaddr* name, int* nameLen);
  static int getpeername(SOCKET s, sockaddr* name, int* nameLen);
  static int connect(SOCKET s, const sockaddr* name, int nameLen);
  static int closesocket(SOCKET s);
  static int bind(SOCKET s, const sockaddr* name, int nameLen);
  static SOCKET accept(SOCKET s, sockaddr* addr, int* addrLen);
  static int recv(SOCKET s, char* buf, int len, int flags);
  static int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromLen);

  static u_short ntohs(u_short netShort);
  static u_short htons(u_short hostShort);
  static char* inet_ntoa(in_addr in);
  static unsigned long inet_addr(const char* cp);

  static int WSAIoctl(SOCKET s, DWORD ioControlCode, void* inBuffer, DWORD inBufferLen, void* outBuffer,
                      DWORD outBufferLen, DWORD* bytesReturned, void* overlapped, void* completionRoutine);
};

// Loads and starts "wsock32.dll" when needed; an empty name only does that and
// returns null. Throws ESocketException when a step fails.
FARPROC WinsockEntryPoint(const std::string& name);
// The same for "ws2_32.dll", which gets no start-up call of its own.
FARPROC Winsock2EntryPoint(const std::string& name);
// Cleans up and unloads when no socket (and no counted call) is alive.
void UnloadWinsock();

void AddWinsockUser();
void RemoveWinsockUser();
// Drops one user and unloads Winsock when none is left (a socket's
// destruction, the reply of a lookup that outlived its socket).
void ReleaseWinsockUser();
int LiveSocketCount();

// getsockopt and inet_ntoa with Winsock held loaded for the call.
int CountedGetSockOpt(SOCKET s, int level, int optName, char* optVal, int* optLen);
std::string CountedInetNtoa(in_addr addr);

// Version requested from WSAStartup; changeable only while unloaded.
BYTE WinsockReqVerLow();
BYTE WinsockReqVerHigh();
void SetWinsockReqVer(BYTE low, BYTE high);

// State of the binding, for diagnostics and tests.
bool WinsockLoaded();
bool Winsock2Loaded();
HMODULE WinsockModule();
int WinsockStartupCount();
int WinsockResolveCount();
WORD WinsockStartedVersion();
