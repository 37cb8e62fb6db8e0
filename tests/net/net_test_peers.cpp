#include "tests/net/net_test_peers.h"

#include <chrono>

#include "tests/support/message_pump.h"

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

sockaddr_in LoopbackAddress(int port)
{
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<u_short>(port));
  addr.sin_addr.s_addr = inet_addr("127.0.0.1");
  return addr;
}

TPeerServer::TSession SendsThenReads(const std::string& Text)
{
  return [Text](SOCKET c) {
    SendAll(c, Text);
    ReadAll(c);
  };
}

TIdleListener::TIdleListener(bool full)
{
  StartPeerWinsock();
  listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in addr = LoopbackAddress(0);
  bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
  listen(listener_, full ? 0 : 64);
  port_ = BoundPort(listener_);
  if (full)
    filler_ = RawConnection(port_);
}

TIdleListener::~TIdleListener()
{
  if (filler_ != INVALID_SOCKET)
    closesocket(filler_);
  closesocket(listener_);
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

std::string GrantSocks5(SOCKET c, std::size_t requestSize, const std::string& reply)
{
  std::string received = ReadAll(c, 3);
  SendAll(c, std::string("\x05\x00", 2));
  received += ReadAll(c, requestSize);
  SendAll(c, reply);
  return received;
}

namespace {

void ConnectTo(TNetSocket& s, const std::string& proto, const std::string& addr, int port)
{
  s.AssignProto(proto);
  s.AssignAddr(addr);
  s.AssignPort(std::to_string(port));
  s.Connect();
}

}  // namespace

void ConnectTcp(TNetSocket& s, int port, const std::string& addr)
{
  ConnectTo(s, "tcp", addr, port);
}

void ConnectUdp(TNetSocket& s, const std::string& addr, int port)
{
  ConnectTo(s, "udp", addr, port);
}

bool ConnectAndWait(TNetSocket& s, int port)
{
  ConnectTcp(s, port);
  return PumpMessagesUntil([&] { return s.State() == wsConnected; }, std::chrono::seconds(20));
}

void ListenOn(TNetSocket& s, const std::string& proto, const std::string& addr, const std::string& port)
{
  s.AssignProto(proto);
  s.AssignAddr(addr);
  s.AssignPort(port);
  s.Listen();
}

void ConnectViaRelay(TNetSocket& s, int relayPort, const std::string& level, const std::string& addr,
                     const std::string& port)
{
  s.AssignSocksServer("127.0.0.1");
  s.AssignSocksPort(std::to_string(relayPort));
  s.AssignSocksLevel(level);
  s.AssignAddr(addr);
  s.AssignPort(port);
  s.Connect();
}

void UseSocksAccount(TNetSocket& s, const std::string& user, const std::string& password)
{
  s.SocksUsercode = user;
  s.SocksPassword = password;
  s.SocksAuthentication = socksAuthenticateUsercode;
}

std::string ReadWaiting(TNetSocket& s)
{
  const int count = s.ReadRcvdCount();
  if (count <= 0)
    return std::string();
  std::string text(static_cast<std::size_t>(count), '\0');
  const int got = s.ReceiveData(text.data(), count);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return text;
}

std::string ThrownText(const std::function<void()>& action)
{
  try {
    action();
  } catch (const ESocketException& e) {
    return e.Message();
  }
  return "(nothing thrown)";
}

TSocketMessage SelectMessage(const TNetSocket& s, long events)
{
  TSocketMessage message;
  message.Msg = WM_SOCKET_SELECT;
  message.WParam = s.SocketHandle();
  message.LParam = WSAMAKESELECTREPLY(events, 0);
  return message;
}
