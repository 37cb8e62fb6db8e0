#include "tests/core/loopback_peer.h"

TLoopbackPeer::TLoopbackPeer(const char* address, int port, TSession Session) : session_(std::move(Session))
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
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = inet_addr(address);
  if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(s, 8) != 0) {
    closesocket(s);
    return;
  }
  listener_ = s;
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
