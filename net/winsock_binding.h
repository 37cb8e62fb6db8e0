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
  static int WSAStartup(WORD VersionRequested, LPWSADATA Data);
  static int WSACleanup();
  static void WSASetLastError(int Error);
  static int WSAGetLastError();

  static int WSACancelAsyncRequest(HANDLE AsyncTaskHandle);
  static HANDLE WSAAsyncGetHostByName(HWND Window, u_int Msg, const char* Name, char* Buf, int BufLen);
  static HANDLE WSAAsyncGetHostByAddr(HWND Window, u_int Msg, const char* Addr, int Len, int Type, char* Buf,
                                      int BufLen);
  static int WSAAsyncSelect(SOCKET S, HWND Window, u_int Msg, long Event);

  static servent* getservbyname(const char* Name, const char* Proto);
  static protoent* getprotobyname(const char* Name);
  static hostent* gethostbyname(const char* Name);

  static SOCKET socket(int Af, int Type, int Protocol);
  static int shutdown(SOCKET S, int How);
  static int setsockopt(SOCKET S, int Level, int OptName, const char* OptVal, int OptLen);
  static int getsockopt(SOCKET S, int Level, int OptName, char* OptVal, int* OptLen);
  static int sendto(SOCKET S, const char* Buf, int Len, int Flags, const sockaddr* To, int ToLen);
  static int send(SOCKET S, const char* Buf, int Len, int Flags);
  static int listen(SOCKET S, int Backlog);
  static int ioctlsocket(SOCKET S, long Cmd, u_long* Arg);
  static int getsockname(SOCKET S, sockaddr* Name, int* NameLen);
  static int getpeername(SOCKET S, sockaddr* Name, int* NameLen);
  static int connect(SOCKET S, const sockaddr* Name, int NameLen);
  static int closesocket(SOCKET S);
  static int bind(SOCKET S, const sockaddr* Name, int NameLen);
  static SOCKET accept(SOCKET S, sockaddr* Addr, int* AddrLen);
  static int recv(SOCKET S, char* Buf, int Len, int Flags);
  static int recvfrom(SOCKET S, char* Buf, int Len, int Flags, sockaddr* From, int* FromLen);

  static u_short ntohs(u_short NetShort);
  static u_short htons(u_short HostShort);
  static char* inet_ntoa(in_addr In);
  static unsigned long inet_addr(const char* Cp);

  static int WSAIoctl(SOCKET S, DWORD IoControlCode, void* InBuffer, DWORD InBufferLen, void* OutBuffer,
                      DWORD OutBufferLen, DWORD* BytesReturned, void* Overlapped, void* CompletionRoutine);
};

// Loads and starts "wsock32.dll" when needed; an empty Name only does that and
// returns null. Throws ESocketException when a step fails.
FARPROC WinsockEntryPoint(const std::string& Name);
// The same for "ws2_32.dll", which gets no start-up call of its own.
FARPROC Winsock2EntryPoint(const std::string& Name);
// Cleans up and unloads when no socket (and no counted call) is alive.
void UnloadWinsock();

void AddWinsockUser();
void RemoveWinsockUser();
// Drops one user and unloads Winsock when none is left (a socket's
// destruction, the reply of a lookup that outlived its socket).
void ReleaseWinsockUser();
int LiveSocketCount();

// getsockopt and inet_ntoa with Winsock held loaded for the call.
int CountedGetSockOpt(SOCKET S, int Level, int OptName, char* OptVal, int* OptLen);
std::string CountedInetNtoa(in_addr Addr);

// Version requested from WSAStartup; changeable only while unloaded.
BYTE WinsockReqVerLow();
BYTE WinsockReqVerHigh();
void SetWinsockReqVer(BYTE Low, BYTE High);

// State of the binding, for diagnostics and tests.
bool WinsockLoaded();
bool Winsock2Loaded();
HMODULE WinsockModule();
int WinsockStartupCount();
int WinsockResolveCount();
WORD WinsockStartedVersion();
