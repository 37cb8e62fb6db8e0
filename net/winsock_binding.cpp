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

FARPROC WinsockEntryPoint(const std::string& Name)
{
  std::lock_guard guard(State.Lock);
  if (State.Library == nullptr) {
    HMODULE module = LoadSystemLibrary("wsock32.dll");
    if (module == nullptr)
      throw ESocketException("Unable to load wsock32.dll Error #" + std::to_string(GetLastError()));
    State.Library = module;
    const WORD version = static_cast<WORD>(State.ReqVerLow | (State.ReqVerHigh << 8));
    ++State.StartupCount;
    const int code = Winsock::WSAStartup(version, &State.Data);
    if (code != 0) {
      char text[64];
      wsprintfA(text, "%s: WSAStartup error #%d", "wsock32.dll", code);
      throw ESocketException(text);
    }
    State.StartedVersion = version;
  }
  if (Name.empty())
    return nullptr;
  FARPROC proc = GetProcAddress(State.Library, Name.c_str());
  if (proc == nullptr)
    throw ESocketException("Procedure " + Name + " not found in wsock32.dll Error #" + std::to_string(GetLastError()));
  ++State.ResolveCount;
  return proc;
}

FARPROC Winsock2EntryPoint(const std::string& Name)
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
  if (Name.empty())
    return nullptr;
  FARPROC proc = GetProcAddress(State.Library2, Name.c_str());
  if (proc == nullptr)
    throw ESocketException("Procedure " + Name + " not found in ws2_32.dll Error #" + std::to_string(GetLastError()));
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

int CountedGetSockOpt(SOCKET S, int Level, int OptName, char* OptVal, int* OptLen)
{
  AddWinsockUser();
  try {
    const int result = Winsock::getsockopt(S, Level, OptName, OptVal, OptLen);
    RemoveWinsockUser();
    return result;
  } catch (...) {
    RemoveWinsockUser();
    throw;
  }
}

std::string CountedInetNtoa(in_addr Addr)
{
  AddWinsockUser();
  try {
    const char* text = Winsock::inet_ntoa(Addr);
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

void SetWinsockReqVer(BYTE Low, BYTE High)
{
  std::lock_guard guard(State.Lock);
  State.ReqVerLow = Low;
  State.ReqVerHigh = High;
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

KORVALIND_WINSOCK_CALL(WSAStartup, int, (WORD VersionRequested, LPWSADATA Data), (VersionRequested, Data))
KORVALIND_WINSOCK_CALL(WSACleanup, int, (), ())
KORVALIND_WINSOCK_CALL(WSAGetLastError, int, (), ())
KORVALIND_WINSOCK_CALL(WSACancelAsyncRequest, int, (HANDLE AsyncTaskHandle), (AsyncTaskHandle))
KORVALIND_WINSOCK_CALL(WSAAsyncGetHostByName, HANDLE, (HWND Window, u_int Msg, const char* Name, char* Buf, int BufLen),
                       (Window, Msg, Name, Buf, BufLen))
KORVALIND_WINSOCK_CALL(WSAAsyncGetHostByAddr, HANDLE,
                       (HWND Window, u_int Msg, const char* Addr, int Len, int Type, char* Buf, int BufLen),
                       (Window, Msg, Addr, Len, Type, Buf, BufLen))
KORVALIND_WINSOCK_CALL(WSAAsyncSelect, int, (SOCKET S, HWND Window, u_int Msg, long Event), (S, Window, Msg, Event))
KORVALIND_WINSOCK_CALL(getservbyname, servent*, (const char* Name, const char* Proto), (Name, Proto))
KORVALIND_WINSOCK_CALL(getprotobyname, protoent*, (const char* Name), (Name))
KORVALIND_WINSOCK_CALL(gethostbyname, hostent*, (const char* Name), (Name))
KORVALIND_WINSOCK_CALL(socket, SOCKET, (int Af, int Type, int Protocol), (Af, Type, Protocol))
KORVALIND_WINSOCK_CALL(shutdown, int, (SOCKET S, int How), (S, How))
KORVALIND_WINSOCK_CALL(setsockopt, int, (SOCKET S, int Level, int OptName, const char* OptVal, int OptLen),
                       (S, Level, OptName, OptVal, OptLen))
KORVALIND_WINSOCK_CALL(getsockopt, int, (SOCKET S, int Level, int OptName, char* OptVal, int* OptLen),
                       (S, Level, OptName, OptVal, OptLen))
KORVALIND_WINSOCK_CALL(sendto, int, (SOCKET S, const char* Buf, int Len, int Flags, const sockaddr* To, int ToLen),
                       (S, Buf, Len, Flags, To, ToLen))
KORVALIND_WINSOCK_CALL(send, int, (SOCKET S, const char* Buf, int Len, int Flags), (S, Buf, Len, Flags))
KORVALIND_WINSOCK_CALL(listen, int, (SOCKET S, int Backlog), (S, Backlog))
KORVALIND_WINSOCK_CALL(ioctlsocket, int, (SOCKET S, long Cmd, u_long* Arg), (S, Cmd, Arg))
KORVALIND_WINSOCK_CALL(getsockname, int, (SOCKET S, sockaddr* Name, int* NameLen), (S, Name, NameLen))
KORVALIND_WINSOCK_CALL(getpeername, int, (SOCKET S, sockaddr* Name, int* NameLen), (S, Name, NameLen))
KORVALIND_WINSOCK_CALL(connect, int, (SOCKET S, const sockaddr* Name, int NameLen), (S, Name, NameLen))
KORVALIND_WINSOCK_CALL(closesocket, int, (SOCKET S), (S))
KORVALIND_WINSOCK_CALL(bind, int, (SOCKET S, const sockaddr* Name, int NameLen), (S, Name, NameLen))
KORVALIND_WINSOCK_CALL(accept, SOCKET, (SOCKET S, sockaddr* Addr, int* AddrLen), (S, Addr, AddrLen))
KORVALIND_WINSOCK_CALL(recv, int, (SOCKET S, char* Buf, int Len, int Flags), (S, Buf, Len, Flags))
KORVALIND_WINSOCK_CALL(recvfrom, int, (SOCKET S, char* Buf, int Len, int Flags, sockaddr* From, int* FromLen),
                       (S, Buf, Len, Flags, From, FromLen))
KORVALIND_WINSOCK_CALL(ntohs, u_short, (u_short NetShort), (NetShort))
KORVALIND_WINSOCK_CALL(htons, u_short, (u_short HostShort), (HostShort))
KORVALIND_WINSOCK_CALL(inet_ntoa, char*, (in_addr In), (In))
KORVALIND_WINSOCK_CALL(inet_addr, unsigned long, (const char* Cp), (Cp))
KORVALIND_WINSOCK_CALL(WSAIoctl, int,
                       (SOCKET S, DWORD IoControlCode, void* InBuffer, DWORD InBufferLen, void* OutBuffer,
                        DWORD OutBufferLen, DWORD* BytesReturned, void* Overlapped, void* CompletionRoutine),
                       (S, IoControlCode, InBuffer, InBufferLen, OutBuffer, OutBufferLen, BytesReturned, Overlapped,
                        CompletionRoutine))

void Winsock::WSASetLastError(int Error)
{
  using TProc = void(WINAPI*)(int);
  Entry<TProc>(eWSASetLastError, "WSASetLastError")(Error);
}
