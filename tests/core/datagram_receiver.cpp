#include <winsock2.h>

#include "tests/core/datagram_receiver.h"

#include <stdexcept>
#include <vector>

namespace {

struct TWinsock {
  TWinsock()
  {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~TWinsock() { WSACleanup(); }
};

void StartWinsockOnce()
{
  static TWinsock winsock;
}

}  // namespace

TDatagramReceiver::TDatagramReceiver(int port)
{
  StartWinsockOnce();
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET)
    throw std::runtime_error("socket failed");
  const BOOL yes = TRUE;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<u_short>(port));
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int code = WSAGetLastError();
    closesocket(s);
    throw std::runtime_error("bind to UDP port " + std::to_string(port) + " failed: " + std::to_string(code));
  }
  socket_ = s;
}

TDatagramReceiver::~TDatagramReceiver()
{
  closesocket(socket_);
}

std::optional<std::string> TDatagramReceiver::Receive(std::chrono::milliseconds timeout)
{
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket_, &readable);
  timeval wait{static_cast<long>(timeout.count() / 1000), static_cast<long>(timeout.count() % 1000 * 1000)};
  if (select(0, &readable, nullptr, nullptr, &wait) != 1)
    return std::nullopt;
  std::vector<char> buffer(65536);
  const int received = recv(socket_, buffer.data(), static_cast<int>(buffer.size()), 0);
  if (received < 0)
    return std::nullopt;
  return std::string(buffer.data(), static_cast<std::size_t>(received));
}

std::optional<std::string> TDatagramReceiver::ReceiveWith(const std::string& marker, std::chrono::milliseconds timeout)
{
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return std::nullopt;
    auto datagram = Receive(left);
    if (datagram && datagram->find(marker) != std::string::npos)
      return datagram;
  }
}

int TDatagramReceiver::FreePort()
{
  StartWinsockOnce();
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  int length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(s);
  return ntohs(address.sin_port);
}
