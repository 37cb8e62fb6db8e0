#include "tests/support/loopback_server.h"

#include <algorithm>
#include <chrono>

namespace {

constexpr int SessionQueue = 8;
constexpr int IdleQueue = 64;
// A full listener's queue: the system answers about one connection more.
constexpr int FullQueue = 0;
// Bounds the connections a full listener makes of its own before it gives up.
constexpr int MaxFillers = 64;
constexpr long AcceptPollMicroseconds = 20000;
// How long a full listener's own connection waits to be answered.
constexpr long AnswerWaitSeconds = 1;
constexpr std::size_t ReadChunk = 65536;

int BoundPort(SOCKET s)
{
  sockaddr_in addr{};
  int len = sizeof(addr);
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

// A listening socket, or INVALID_SOCKET.
SOCKET Listen(const char* address, int port, int queue)
{
  StartPeerWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (port != FreePort) {
    // Earlier sessions on the same address and port may still linger.
    const BOOL reuse = TRUE;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
  }
  const sockaddr_in addr = LoopbackAddress(port, address);
  if (bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 || listen(s, queue) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

}  // namespace

void StartPeerWinsock()
{
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

sockaddr_in LoopbackAddress(int port, const char* address)
{
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = inet_addr(address);
  return addr;
}

TPeerServer::TPeerServer(const char* address, int port, TSession session, DWORD readTimeoutMs)
    : readTimeoutMs_(readTimeoutMs), session_(std::move(session))
{
  listener_ = Listen(address, port, SessionQueue);
  if (listener_ == INVALID_SOCKET)
    return;
  port_ = BoundPort(listener_);
  thread_ = std::thread([this] { Serve(); });
}

TPeerServer::~TPeerServer()
{
  stop_ = true;
  if (thread_.joinable())
    thread_.join();
  if (listener_ != INVALID_SOCKET)
    closesocket(listener_);
}

void TPeerServer::Serve()
{
  while (!stop_) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(listener_, &set);
    timeval poll{0, AcceptPollMicroseconds};
    if (select(0, &set, nullptr, nullptr, &poll) <= 0)
      continue;
    SOCKET client = accept(listener_, nullptr, nullptr);
    if (client == INVALID_SOCKET)
      continue;
    ++accepted_;
    if (readTimeoutMs_ != NoReadTimeout)
      setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&readTimeoutMs_),
                 sizeof(readTimeoutMs_));
    if (session_ && session_(client) == TPeerEnd::Reset) {
      linger hard{1, 0};
      setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
    }
    closesocket(client);
    ++finished_;
  }
}

bool TPeerServer::WaitSessions(int count, int timeoutMs)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (finished_.load() < count) {
    if (std::chrono::steady_clock::now() > deadline)
      return false;
    Sleep(5);
  }
  return true;
}

TIdleListener::TIdleListener(bool full)
{
  Open("127.0.0.1", FreePort, full);
}

TIdleListener::TIdleListener(const char* address, int port)
{
  Open(address, port, true);
}

void TIdleListener::Open(const char* address, int port, bool full)
{
  listener_ = Listen(address, port, full ? FullQueue : IdleQueue);
  if (listener_ == INVALID_SOCKET)
    return;
  port_ = BoundPort(listener_);
  if (full)
    Fill(address);
}

void TIdleListener::Fill(const char* address)
{
  const sockaddr_in addr = LoopbackAddress(port_, address);
  for (int i = 0; i < MaxFillers && !stalled_; ++i) {
    SOCKET filler = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    u_long nonBlocking = 1;
    ioctlsocket(filler, static_cast<long>(FIONBIO), &nonBlocking);
    fillers_.push_back(filler);
    connect(filler, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
    fd_set done, failed;
    FD_ZERO(&done);
    FD_SET(filler, &done);
    FD_ZERO(&failed);
    FD_SET(filler, &failed);
    // However loaded the machine, an answered one completes within the wait;
    // an unanswered one stays so, as the retries meet the same queue.
    timeval wait{AnswerWaitSeconds, 0};
    stalled_ = select(0, nullptr, &done, &failed, &wait) == 0;
  }
}

TIdleListener::~TIdleListener()
{
  for (SOCKET filler : fillers_)
    closesocket(filler);
  if (listener_ != INVALID_SOCKET)
    closesocket(listener_);
}

int UnusedTcpPort()
{
  StartPeerWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const sockaddr_in addr = LoopbackAddress(FreePort);
  bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
  const int port = BoundPort(s);
  closesocket(s);
  return port;
}

SOCKET RawConnection(int port)
{
  StartPeerWinsock();
  SOCKET raw = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  const sockaddr_in addr = LoopbackAddress(port);
  if (connect(raw, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0)
    return raw;
  closesocket(raw);
  return INVALID_SOCKET;
}

std::string ReadAll(SOCKET s, std::size_t count)
{
  std::string result;
  char buffer[ReadChunk];
  while (result.size() < count) {
    const std::size_t want = std::min(sizeof(buffer), count - result.size());
    const int n = recv(s, buffer, static_cast<int>(want), 0);
    if (n <= 0)
      break;
    result.append(buffer, static_cast<std::size_t>(n));
  }
  return result;
}

std::string ReadLine(SOCKET client)
{
  std::string line;
  char c;
  while (recv(client, &c, 1, 0) == 1) {
    line += c;
    if (c == '\n')
      break;
  }
  return line;
}

bool SendAll(SOCKET s, const std::string& data)
{
  std::size_t done = 0;
  while (done < data.size()) {
    const int n = send(s, data.data() + done, static_cast<int>(data.size() - done), 0);
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}
