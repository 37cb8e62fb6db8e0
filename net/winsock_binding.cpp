#include "net/winsock_binding.h"

#include <atomic>
#include <mutex>
#include <string>

#include "net/socket_exception.h"
#include "platform/critical_section.h"

namespace {

enum TEntry {
  eWSAStartup,
  eWSACleanup,
  eWSASetLastError,
  eWSAGetLastError,
  eWSACancelAsyncRequest,
  eWSAAsyncGetHostByName,
  eWSAAsyncGetHostByAddr,
  eWSAAsyncSelect,
  egetservbyname,
  egetprotobyname,
  egethostbyname,
  esocket,
  eshutdown,
  esetsockopt,
  egetsockopt,
  esendto,
  esend,
  elisten,
  eioctlsocket,
  egetsockname,
  egetpeername,
  econnect,
  eclosesocket,
  ebind,
  eaccept,
  erecv,
  erecvfrom,
  entohs,
  ehtons,
  einet_ntoa,
  einet_addr,
  eWSAIoctl,
  eEntryCount
};

// Owns the process-wide state; its destruction is the unit's finalization.
struct TWinsockState {
  TCriticalSection Lock;
  HMODULE Library = nullptr;
  HMODULE Library2 = nullptr;
  WSADATA Data{};
  BYTE ReqVerLow = 1;
  BYTE ReqVerHigh = 1;
  int LiveCount = 0;
  int StartupCount = 0;
  int ResolveCount = 0;
  WORD StartedVersion = 0;
  std::atomic<FARPROC> Cache[eEntryCount];

  TWinsockState()
  {
    for (auto& entry : Cache)
      entry.store(nullptr, std::memory_order_relaxed);
  }
  ~TWinsockState()
  {
    if (LiveCount < 1)
      UnloadWinsock();
  }
};

TWinsockState State;

// Only the system folder: a wsock32.dll planted in the current folder or next
// to the program must never be the one that is loaded.
HMODULE LoadSystemLibrary(const char* name)
{
  char folder[MAX_PATH];
  const UINT len = GetSystemDirectoryA(folder, MAX_PATH);
  if (len == 0 || len >= MAX_PATH)
    return nullptr;
  std::string path(folder, len);
  if (path.back() != '\\')
    path += '\\';
  path += name;
  return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

template <class F>
F Entry(TEntry which, const char* name)
{
  FARPROC proc = State.Cache[which].load(std::memory_order_acquire);
  if (proc == nullptr) {
    // Resolve and store under the lock, so an unload in between cannot leave
    // an address of the freed library in the cache.
    std::lock_guard guard(State.Lock);
    proc = State.Cache[which].load(std::memory_order_acquire);
    if (proc == nullptr) {
      proc = which == eWSAIoctl ? Winsock2EntryPoint(name) : WinsockEntryPoint(name);
      State.Cache[which].store(proc, std::memory_order_release);
    }
  }
  return reinterpret_cast<F>(reinterpret_cast<void*>(proc));
}

}  // namespace

FARPROC WinsockEntryPoint(const std::string& name)
{
  std::lock_guard guard(State.Lock);
  if (State.Library == nullptr) {
    HMODULE module = LoadSystemLibrary("wsock32.dll");
    if (module == nullptr)
      throw ESocketException("Unable to load wsock32.dll Error #" + std::to_string(GetLastError()));
    State.Library = module;
    const WORD version = MAKEWORD(State.ReqVerLow, State.ReqVerHigh);
    ++State.StartupCount;
    const int code = Winsock::WSAStartup(version, &State.Data);
    if (code != 0) {
      char text[64];
      wsprintfA(text, "%s: WSAStartup error #%d", "wsock32.dll", code);
      throw ESocketException(text);
    }
    State.StartedVersion = version;
  }
  if (name.empty())
    return nullptr;
  FARPROC proc = GetProcAddress(State.Library, name.c_str());
  if (proc == nullptr)
    throw ESocketException("Procedure " + name + " not found in wsock32.dll Error #" + std::to_string(GetLastError()));
  ++State.ResolveCount;
  return proc;
}

FARPROC Winsock2EntryPoint(const std::string& name)
{
  std::lock_guard guard(State.Lock);
  if (State.Library2 == nullptr) {
    if (State.Library == nullptr)
      WinsockEntryPoint("");
    HMODULE module = LoadSystemLibrary("ws2_32.dll");
    if (module == nullptr)
      throw ESocketException("Unable to load ws2_32.dll Error #" + std::to_string(GetLastError()));
    State.Library2 = module;
  }
  if (name.empty())
    return nullptr;
  FARPROC proc = GetProcAddress(State.Library2, name.c_str());
  if (proc == nullptr)
    throw ESocketException("Procedure " + name + " not found in ws2_32.dll Error #" + std::to_string(GetLastError()));
  ++State.ResolveCount;
  return proc;
}

void UnloadWinsock()
{
  std::lock_guard guard(State.Lock);
  if (State.Library == nullptr || State.LiveCount != 0)
    return;
  Winsock::WSACleanup();
  if (State.Library2 != nullptr) {
    FreeLibrary(State.Library2);
    State.Library2 = nullptr;
    State.Cache[eWSAIoctl].store(nullptr);
  }
  FreeLibrary(State.Library);
  State.Library = nullptr;
  State.StartedVersion = 0;
  for (auto& entry : State.Cache)
    entry.store(nullptr);
}

void AddWinsockUser()
{
  std::lock_guard guard(State.Lock);
  ++State.LiveCount;
}

void RemoveWinsockUser()
{
  std::lock_guard guard(State.Lock);
  --State.LiveCount;
}

void ReleaseWinsockUser()
{
  std::lock_guard guard(State.Lock);
  --State.LiveCount;
  if (State.LiveCount < 1)
    UnloadWinsock();
}

int LiveSocketCount()
{
  std::lock_guard guard(State.Lock);
  return State.LiveCount;
}

int CountedGetSockOpt(SOCKET s, int level, int optName, char* optVal, int* optLen)
{
  AddWinsockUser();
  try {
    const int result = Winsock::getsockopt(s, level, optName, optVal, optLen);
    RemoveWinsockUser();
    return result;
  } catch (...) {
    RemoveWinsockUser();
    throw;
  }
}

std::string CountedInetNtoa(in_addr addr)
{
  AddWinsockUser();
  try {
    const char* text = Winsock::inet_ntoa(addr);
    std::string result = text != nullptr ? text : "";
    RemoveWinsockUser();
    return result;
  } catch (...) {
    RemoveWinsockUser();
    throw;
  }
}

BYTE WinsockReqVerLow()
{
  return State.ReqVerLow;
}

BYTE WinsockReqVerHigh()
{
  return State.ReqVerHigh;
}

void SetWinsockReqVer(BYTE low, BYTE high)
{
  std::lock_guard guard(State.Lock);
  State.ReqVerLow = low;
  State.ReqVerHigh = high;
}

bool WinsockLoaded()
{
  std::lock_guard guard(State.Lock);
  return State.Library != nullptr;
}

bool Winsock2Loaded()
{
  std::lock_guard guard(State.Lock);
  return State.Library2 != nullptr;
}

HMODULE WinsockModule()
{
  std::lock_guard guard(State.Lock);
  return State.Library;
}

int WinsockStartupCount()
{
  std::lock_guard guard(State.Lock);
  return State.StartupCount;
}

int WinsockResolveCount()
{
  std::lock_guard guard(State.Lock);
  return State.ResolveCount;
}

WORD WinsockStartedVersion()
{
  std::lock_guard guard(State.Lock);
  return State.StartedVersion;
}

#define KORVALIND_WINSOCK_CALL(name, ret, params, args) \
  ret Winsock::name params                              \
  {                                                     \
    using TProc = ret(WINAPI*) params;                  \
    return Entry<TProc>(e##name, #name) args;           \
  }

KORVALIND_WINSOCK_CALL(WSAStartup, int, (WORD versionRequested, LPWSADATA data), (versionRequested, data))
KORVALIND_WINSOCK_CALL(WSACleanup, int, (), ())
KORVALIND_WINSOCK_CALL(WSAGetLastError, int, (), ())
KORVALIND_WINSOCK_CALL(WSACancelAsyncRequest, int, (HANDLE asyncTaskHandle), (asyncTaskHandle))
KORVALIND_WINSOCK_CALL(WSAAsyncGetHostByName, HANDLE, (HWND window, u_int msg, const char* name, char* buf, int bufLen),
                       (window, msg, name, buf, bufLen))
KORVALIND_WINSOCK_CALL(WSAAsyncGetHostByAddr, HANDLE,
                       (HWND window, u_int msg, const char* addr, int len, int type, char* buf, int bufLen),
                       (window, msg, addr, len, type, buf, bufLen))
KORVALIND_WINSOCK_CALL(WSAAsyncSelect, int, (SOCKET s, HWND window, u_int msg, long event), (s, window, msg, event))
KORVALIND_WINSOCK_CALL(getservbyname, servent*, (const char* name, const char* proto), (name, proto))
KORVALIND_WINSOCK_CALL(getprotobyname, protoent*, (const char* name), (name))
KORVALIND_WINSOCK_CALL(gethostbyname, hostent*, (const char* name), (name))
KORVALIND_WINSOCK_CALL(socket, SOCKET, (int af, int type, int protocol), (af, type, protocol))
KORVALIND_WINSOCK_CALL(shutdown, int, (SOCKET s, int how), (s, how))
KORVALIND_WINSOCK_CALL(setsockopt, int, (SOCKET s, int level, int optName, const char* optVal, int optLen),
                       (s, level, optName, optVal, optLen))
KORVALIND_WINSOCK_CALL(getsockopt, int, (SOCKET s, int level, int optName, char* optVal, int* optLen),
                       (s, level, optName, optVal, optLen))
KORVALIND_WINSOCK_CALL(sendto, int, (SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int toLen),
                       (s, buf, len, flags, to, toLen))
KORVALIND_WINSOCK_CALL(send, int, (SOCKET s, const char* buf, int len, int flags), (s, buf, len, flags))
KORVALIND_WINSOCK_CALL(listen, int, (SOCKET s, int backlog), (s, backlog))
KORVALIND_WINSOCK_CALL(ioctlsocket, int, (SOCKET s, long cmd, u_long* arg), (s, cmd, arg))
KORVALIND_WINSOCK_CALL(getsockname, int, (SOCKET s, sockaddr* name, int* nameLen), (s, name, nameLen))
KORVALIND_WINSOCK_CALL(getpeername, int, (SOCKET s, sockaddr* name, int* nameLen), (s, name, nameLen))
KORVALIND_WINSOCK_CALL(connect, int, (SOCKET s, const sockaddr* name, int nameLen), (s, name, nameLen))
KORVALIND_WINSOCK_CALL(closesocket, int, (SOCKET s), (s))
KORVALIND_WINSOCK_CALL(bind, int, (SOCKET s, const sockaddr* name, int nameLen), (s, name, nameLen))
KORVALIND_WINSOCK_CALL(accept, SOCKET, (SOCKET s, sockaddr* addr, int* addrLen), (s, addr, addrLen))
KORVALIND_WINSOCK_CALL(recv, int, (SOCKET s, char* buf, int len, int flags), (s, buf, len, flags))
KORVALIND_WINSOCK_CALL(recvfrom, int, (SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromLen),
                       (s, buf, len, flags, from, fromLen))
KORVALIND_WINSOCK_CALL(ntohs, u_short, (u_short netShort), (netShort))
KORVALIND_WINSOCK_CALL(htons, u_short, (u_short hostShort), (hostShort))
KORVALIND_WINSOCK_CALL(inet_ntoa, char*, (in_addr in), (in))
KORVALIND_WINSOCK_CALL(inet_addr, unsigned long, (const char* cp), (cp))
KORVALIND_WINSOCK_CALL(WSAIoctl, int,
                       (SOCKET s, DWORD ioControlCode, void* inBuffer, DWORD inBufferLen, void* outBuffer,
                        DWORD outBufferLen, DWORD* bytesReturned, void* overlapped, void* completionRoutine),
                       (s, ioControlCode, inBuffer, inBufferLen, outBuffer, outBufferLen, bytesReturned, overlapped,
                        completionRoutine))

void Winsock::WSASetLastError(int error)
{
  using TProc = void(WINAPI*)(int);
  Entry<TProc>(eWSASetLastError, "WSASetLastError")(error);
}
