#include "tests/core/loopback_peer.h"

namespace {

sockaddr_in LoopbackAddress(const char* address, int port)
{
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = inet_addr(address);
  return addr;
}

// A listening socket, or INVALID_SOCKET.
SOCKET Listen(const char* address, int port, int backlog)
{
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  // Earlier sessions on the same address and port may still linger.
  const BOOL reuse = TRUE;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof(reuse));
  const sockaddr_in addr = LoopbackAddress(address, port);
  if (bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0 || listen(s, backlog) != 0) {
    closesocket(s);
    return INVALID_SOCKET;
  }
  return s;
}

}  // namespace

TLoopbackPeer::TLoopbackPeer(const char* address, int port, TSession Session) : session_(std::move(Session))
{
  listener_ = Listen(address, port, 8);
  if (listener_ == INVALID_SOCKET)
    return;
  thread_ = std::thread([this] {
    while (!stop_) {
      fd_set set;
      FD_ZERO(&set);
      FD_SET(listener_, &set);
      timeval tv{0, 20000};
      if (select(0, &set, nullptr, nullptr, &tv) <= 0)
        continue;
      SOCKET client = accept(listener_, nullptr, nullptr);
      if (client == INVALID_SOCKET)
        continue;
      ++accepted_;
      // A session waiting for a client that never ends it must not hang the test.
      const DWORD timeoutMs = 10000;
      setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs), sizeof(timeoutMs));
      if (session_(client) == TPeerEnd::Reset) {
        linger hard{1, 0};
        setsockopt(client, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof(hard));
      }
      closesocket(client);
    }
  });
}

TLoopbackPeer::~TLoopbackPeer()
{
  stop_ = true;
  if (thread_.joinable())
    thread_.join();
  if (listener_ != INVALID_SOCKET)
    closesocket(listener_);
}

TStalledListener::TStalledListener(const char* address, int port)
{
  listener_ = Listen(address, port, 0);
  if (listener_ == INVALID_SOCKET)
    return;
  // Connections of its own fill the queue until the system answers one no more.
  const sockaddr_in addr = LoopbackAddress(address, port);
  for (int i = 0; i < 64 && !stalled_; ++i) {
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
    // One that is answered completes at once on loopback, however loaded the
    // machine; an unanswered one stays so, as the retries meet the same queue.
    timeval wait{1, 0};
    stalled_ = select(0, nullptr, &done, &failed, &wait) == 0;
  }
}

TStalledListener::~TStalledListener()
{
  for (SOCKET filler : fillers_)
    closesocket(filler);
  if (listener_ != INVALID_SOCKET)
    closesocket(listener_);
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
