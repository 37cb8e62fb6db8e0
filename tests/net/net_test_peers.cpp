#include "tests/net/net_test_peers.h"

#include <chrono>

void StartPeerWinsock()
{
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

namespace {

int BoundPort(SOCKET s)
{
  sockaddr_in addr{};
  int len = sizeof(addr);
  getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

}  // namespace

TPeerServer::TPeerServer(TSession Session, const char* address) : session_(std::move(Session))
{
  StartPeerWinsock();
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = inet_addr(address);
  bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  listen(listener_, 8);
  port_ = BoundPort(listener_);
  thread_ = std::thread([this] {
    for (;;) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(listener_, &set);
      timeval tv{0, 50000};
      if (stop_)
        return;
      if (select(0, &set, nullptr, nullptr, &tv) <= 0)
        continue;
      SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET)
        continue;
      ++accepted_;
      if (session_)
        session_(client);
      closesocket(client);
      ++finished_;
    }
  });
}

TPeerServer::~TPeerServer()
{
  stop_ = true;
  thread_.join();
  closesocket(listener_);
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

TUdpReceiver::TUdpReceiver(const char* address, int port)
{
  StartPeerWinsock();
  InitializeCriticalSection(&lock_);
  socket_ = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  BOOL on = TRUE;
  setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&on), sizeof(on));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = inet_addr(address);
  bind(socket_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  port_ = BoundPort(socket_);
  thread_ = std::thread([this] {
    std::string buffer(65536, '\0');
    while (!stop_) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(socket_, &set);
      timeval tv{0, 20000};
      if (select(0, &set, nullptr, nullptr, &tv) <= 0)
        continue;
      const int n = recv(socket_, buffer.data(), static_cast<int>(buffer.size()), 0);
      if (n < 0)
        continue;
      EnterCriticalSection(&lock_);
      datagrams_.emplace_back(buffer.data(), static_cast<std::size_t>(n));
      LeaveCriticalSection(&lock_);
    }
  });
}

TUdpReceiver::~TUdpReceiver()
{
  stop_ = true;
  thread_.join();
  closesocket(socket_);
  DeleteCriticalSection(&lock_);
}

std::vector<std::string> TUdpReceiver::WaitFor(std::size_t count, int timeoutMs)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    EnterCriticalSection(&lock_);
    std::vector<std::string> copy = datagrams_;
    LeaveCriticalSection(&lock_);
    if (copy.size() >= count || std::chrono::steady_clock::now() > deadline)
      return copy;
    Sleep(5);
  }
}

int UnusedTcpPort()
{
  StartPeerWinsock();
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = inet_addr("127.0.0.1");
  bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  const int port = BoundPort(s);
  closesocket(s);
  return port;
}

std::string ReadAll(SOCKET s, std::size_t count)
{
  std::string result;
  char buffer[65536];
  while (result.size() < count) {
    const std::size_t want = std::min(sizeof(buffer), count - result.size());
    const int n = recv(s, buffer, static_cast<int>(want), 0);
    if (n <= 0)
      break;
    result.append(buffer, static_cast<std::size_t>(n));
  }
  return result;
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
