#include <winsock2.h>

#include "tests/support/udp_receiver.h"

#include <stdexcept>

namespace {

void StartWinsockOnce()
{
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

int BoundPort(SOCKET s)
{
  sockaddr_in address{};
  int length = sizeof address;
  getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  return ntohs(address.sin_port);
}

}  // namespace

TUdpReceiver::TUdpReceiver(const char* address, int port)
{
  StartWinsockOnce();
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET)
    throw std::runtime_error("socket failed");
  const BOOL yes = TRUE;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&yes), sizeof yes);
  sockaddr_in bound{};
  bound.sin_family = AF_INET;
  bound.sin_addr.s_addr = inet_addr(address);
  bound.sin_port = htons(static_cast<u_short>(port));
  if (bind(s, reinterpret_cast<const sockaddr*>(&bound), sizeof bound) != 0) {
    const int code = WSAGetLastError();
    closesocket(s);
    throw std::runtime_error("bind to UDP " + std::string(address) + ":" + std::to_string(port) +
                             " failed: " + std::to_string(code));
  }
  socket_ = s;
  port_ = BoundPort(s);
}

TUdpReceiver::~TUdpReceiver()
{
  closesocket(socket_);
}

std::optional<std::string> TUdpReceiver::Receive(std::chrono::milliseconds timeout)
{
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket_, &readable);
  timeval wait{static_cast<long>(timeout.count() / 1000), static_cast<long>(timeout.count() % 1000 * 1000)};
  if (select(0, &readable, nullptr, nullptr, &wait) != 1)
    return std::nullopt;
  std::string buffer(65536, '\0');
  const int received = recv(socket_, buffer.data(), static_cast<int>(buffer.size()), 0);
  if (received < 0)
    return std::nullopt;
  buffer.resize(static_cast<std::size_t>(received));
  return buffer;
}

std::optional<std::string> TUdpReceiver::ReceiveWith(const std::string& marker, std::chrono::milliseconds timeout)
{
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      return std::nullopt;
    auto datagram = Receive(left);
    if (datagram && datagram->find(marker) != std::string::npos)
      return datagram;
  }
}

std::vector<std::string> TUdpReceiver::WaitFor(std::size_t count, int timeoutMs)
{
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (received_.size() < count) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
      break;
    if (auto datagram = Receive(left))
      received_.push_back(*datagram);
  }
  return received_;
}

int TUdpReceiver::FreePort()
{
  StartWinsockOnce();
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int port = BoundPort(s);
  closesocket(s);
  return port;
}
