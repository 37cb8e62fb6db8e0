#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/udp_client.h"

#include <vector>

#include "platform/application.h"
#include "platform/hidden_window.h"

namespace {

constexpr UINT WM_UDP_READ = WM_APP + 0x55;

[[noreturn]] void RaiseSocketError(const char* call, int code)
{
  throw EUdpException("Error " + std::to_string(code) + " in function " + call);
}

bool StartWinsock()
{
  WSADATA data;
  const int code = WSAStartup(MAKEWORD(2, 2), &data);
  if (code != 0)
    RaiseSocketError("WSAStartup", code);
  return true;
}

sockaddr_in ResolveIPv4(const std::string& host, int port)
{
  if (port <= 0 || port > 65535)
    throw EUdpException("UDP port " + std::to_string(port) + " is not valid");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) == 1)
    return address;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int code = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (code != 0 || found == nullptr)
    RaiseSocketError("getaddrinfo", code != 0 ? code : WSAHOST_NOT_FOUND);
  address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return address;
}

std::string AddressText(const in_addr& address)
{
  char text[INET_ADDRSTRLEN] = {};
  inet_ntop(AF_INET, &address, text, sizeof text);
  return text;
}

}  // namespace

TUdpClient::TUdpClient(TComponent* owner) : TComponent(owner)
{
  winsockStarted_ = StartWinsock();
}

TUdpClient::~TUdpClient()
{
  Close();
  if (winsockStarted_)
    WSACleanup();
}

void TUdpClient::SetBroadcastEnabled(bool value)
{
  if (socket_ != InvalidSocket) {
    const BOOL flag = value ? TRUE : FALSE;
    if (setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&flag), sizeof flag) != 0)
      RaiseSocketError("setsockopt", WSAGetLastError());
  }
  broadcastEnabled_ = value;
}

void TUdpClient::SetActive(bool value)
{
  if (value)
    Open();
  else
    Close();
}

void TUdpClient::Open()
{
  if (socket_ != InvalidSocket)
    return;
  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET)
    RaiseSocketError("socket", WSAGetLastError());
  socket_ = s;
  if (broadcastEnabled_) {
    try {
      SetBroadcastEnabled(true);
    } catch (...) {
      Close();
      throw;
    }
  }
}

void TUdpClient::Close()
{
  if (socket_ != InvalidSocket) {
    closesocket(socket_);
    socket_ = InvalidSocket;
  }
}

void TUdpClient::Send(const std::string& data)
{
  if (host_.empty())
    return;
  SendTo(host_, port_, data);
}

void TUdpClient::SendTo(const std::string& host, int port, const std::string& data)
{
  const sockaddr_in address = ResolveIPv4(host, port);
  Open();
  const int sent = sendto(socket_, data.data(), static_cast<int>(data.size()), 0,
                          reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (sent == SOCKET_ERROR)
    RaiseSocketError("sendto", WSAGetLastError());
}

void TUdpClient::Broadcast(const std::string& data, int port, const std::string& address)
{
  SendTo(address.empty() ? std::string(LimitedBroadcastAddress) : address, port, data);
}

TUdpServer::TUdpServer(TComponent* owner) : TComponent(owner)
{
  winsockStarted_ = StartWinsock();
}

TUdpServer::~TUdpServer()
{
  Close();
  if (winsockStarted_)
    WSACleanup();
}

void TUdpServer::SetActive(bool value)
{
  if (!value) {
    Close();
    return;
  }
  if (socket_ != InvalidSocket)
    return;
  if (defaultPort_ < 0 || defaultPort_ > 65535)
    throw EUdpException("UDP port " + std::to_string(defaultPort_) + " is not valid");
  if (!window_)
    window_ = std::make_unique<THiddenWindow>([this](UINT message, WPARAM, LPARAM, LRESULT& result) {
      if (message != WM_UDP_READ)
        return false;
      ReadPending();
      result = 0;
      return true;
    });

  const SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  if (s == INVALID_SOCKET)
    RaiseSocketError("socket", WSAGetLastError());
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = htons(static_cast<u_short>(defaultPort_));
  if (bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int code = WSAGetLastError();
    closesocket(s);
    RaiseSocketError("bind", code);
  }
  if (WSAAsyncSelect(s, window_->Handle(), WM_UDP_READ, FD_READ) != 0) {
    const int code = WSAGetLastError();
    closesocket(s);
    RaiseSocketError("WSAAsyncSelect", code);
  }
  socket_ = s;
}

void TUdpServer::Close()
{
  if (socket_ != InvalidSocket) {
    closesocket(socket_);
    socket_ = InvalidSocket;
  }
}

void TUdpServer::ReadPending()
{
  std::vector<char> buffer(65536);
  // One notification may stand for several datagrams; the socket is
  // non-blocking since WSAAsyncSelect.
  while (socket_ != InvalidSocket) {
    sockaddr_in peer{};
    int peerLength = sizeof peer;
    const int received = recvfrom(socket_, buffer.data(), static_cast<int>(buffer.size()), 0,
                                  reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (received == SOCKET_ERROR)
      return;  // WSAEWOULDBLOCK: nothing left; other errors end with the next datagram
    sockaddr_in local{};
    int localLength = sizeof local;
    getsockname(socket_, reinterpret_cast<sockaddr*>(&local), &localLength);
    TUdpBinding binding;
    binding.IP = AddressText(local.sin_addr);
    binding.Port = ntohs(local.sin_port);
    binding.PeerIP = AddressText(peer.sin_addr);
    binding.PeerPort = ntohs(peer.sin_port);
    if (OnUDPRead) {
      try {
        OnUDPRead(this, std::string(buffer.data(), static_cast<std::size_t>(received)), &binding);
      } catch (...) {
        ReportCurrentException(this);
      }
    }
  }
}
