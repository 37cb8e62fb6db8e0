#include "tests/net/net_test_peers.h"

#include <chrono>
#include <utility>

#include "tests/support/message_pump.h"

TPeerServer::TSession SendsThenReads(const std::string& text, std::string* received)
{
  return [text, received](SOCKET c) {
    SendAll(c, text);
    std::string read = ReadAll(c);
    if (received != nullptr)
      *received = std::move(read);
    return TPeerEnd::Close;
  };
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
