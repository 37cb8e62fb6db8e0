#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "net/net_socket.h"
#include "net/winsock_binding.h"
#include "tests/net/event_recorder.h"
#include "tests/net/net_test_peers.h"
#include "tests/support/message_pump.h"

using namespace std::chrono_literals;

namespace {

void CollectDatagrams(TNetSocket& s, std::vector<std::string>& got)
{
  s.OnDataAvailable = [&s, &got](TObject*, std::uint16_t) {
    char buffer[512];
    sockaddr_in from{};
    int len = sizeof(from);
    const int n = s.ReceiveDatagram(buffer, sizeof(buffer), reinterpret_cast<sockaddr*>(&from), &len);
    if (n > 0)
      got.emplace_back(buffer, static_cast<std::size_t>(n));
  };
}

}  // namespace

TEST(Server, ListenAcceptDupAndDataBothWays)
{
  TNetSocket server(nullptr);
  TEventRecorder serverEvents;
  serverEvents.Attach(server);
  std::vector<std::unique_ptr<TNetSocket>> sessions;
  std::string serverGot;
  server.OnSessionAvailable = [&](TObject* sender, std::uint16_t err) {
    EXPECT_EQ(sender, &server);
    EXPECT_EQ(err, 0);
    const SOCKET h = server.Accept();
    ASSERT_NE(h, INVALID_SOCKET);
    EXPECT_EQ(server.AcceptedHandle(), h);
    auto session = std::make_unique<TNetSocket>(nullptr);
    TNetSocket* raw = session.get();
    raw->OnDataAvailable = [&, raw](TObject*, std::uint16_t) {
      serverGot += ReadWaiting(*raw);
      if (serverGot == "ping")
        raw->SendText("pong");
    };
    raw->Dup(h);
    EXPECT_EQ(raw->State(), wsConnected);
    EXPECT_EQ(raw->PeerAddr(), "127.0.0.1");
    sessions.push_back(std::move(session));
  };
  ListenOn(server, "tcp", "127.0.0.1", "0");
  EXPECT_EQ(serverEvents.Log, (std::vector<std::string>{"state 8->2", "state 2->7"}));
  const std::string port = server.ReadLocalPort();
  ASSERT_NE(port, "error");
  EXPECT_EQ(server.SelectMask(), 0x2B);

  TNetSocket client(nullptr);
  std::string clientGot;
  client.OnSessionConnected = [&](TObject*, std::uint16_t err) {
    if (err == 0)
      client.SendText("ping");
  };
  client.OnDataAvailable = [&](TObject*, std::uint16_t) { clientGot += ReadWaiting(client); };
  ConnectTcp(client, std::stoi(port));
  ASSERT_TRUE(PumpMessagesUntil([&] { return clientGot == "pong"; }, 20000ms));
  EXPECT_EQ(serverGot, "ping");
  ASSERT_EQ(sessions.size(), 1u);
  EXPECT_EQ(sessions[0]->PeerPort(), client.ReadLocalPort());
  // The peer's close reaches the accepted session.
  int closed = 0;
  sessions[0]->OnSessionClosed = [&](TObject*, std::uint16_t) { ++closed; };
  client.CloseConnection();
  ASSERT_TRUE(PumpMessagesUntil([&] { return closed == 1; }, 20000ms));
  EXPECT_EQ(sessions[0]->State(), wsClosed);
  EXPECT_EQ(server.State(), wsListening);
  server.CloseConnection();
  EXPECT_EQ(server.State(), wsClosed);
}

TEST(Server, BacklogHoldsConnectionsUntilTheyAreAccepted)
{
  StartPeerWinsock();
  TNetSocket server(nullptr);
  server.ListenBacklog = 3;
  ListenOn(server, "tcp", "127.0.0.1", "0");
  const int port = std::stoi(server.ReadLocalPort());
  std::vector<SOCKET> clients;
  for (int i = 0; i < 3; ++i) {
    SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(port));
    addr.sin_addr.s_addr = inet_addr("127.0.0.1");
    EXPECT_EQ(connect(c, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0) << i;
    clients.push_back(c);
  }
  std::vector<SOCKET> accepted;
  server.OnSessionAvailable = [&](TObject*, std::uint16_t) {
    const SOCKET h = server.Accept();
    if (h != INVALID_SOCKET)
      accepted.push_back(h);
  };
  EXPECT_TRUE(PumpMessagesUntil([&] { return accepted.size() == 3; }, 20000ms));
  for (SOCKET h : accepted)
    Winsock::closesocket(h);
  for (SOCKET c : clients)
    closesocket(c);
}

TEST(Server, RefusalsWithTheirTexts)
{
  TNetSocket s(nullptr);
  EXPECT_EQ(ThrownText([&] { s.Accept(); }), "Error 10022 in function not a listening socket\r\nInvalid argument");
  EXPECT_EQ(ThrownText([&] { s.Listen(); }), "Error 10022 in function listen: port not assigned\r\nInvalid argument");
  s.AssignPort("0");
  EXPECT_EQ(ThrownText([&] { s.Listen(); }),
            "Error 10022 in function listen: address not assigned\r\nInvalid argument");
  s.AssignAddr("127.0.0.1");
  s.AssignSocksServer("relay");
  EXPECT_EQ(ThrownText([&] { s.Listen(); }), "Listening is not supported thru socks server");
  s.AssignSocksServer("");
  s.AssignAddr("no-such-host.invalid");
  EXPECT_EQ(ThrownText([&] { s.Listen(); }),
            "listen: NetSocketResolveHost: Cannot convert host address 'no-such-host.invalid', Error #11001");
}

TEST(Server, BindFailureReportsAndLeavesNoHandle)
{
  TNetSocket first(nullptr);
  ListenOn(first, "tcp", "127.0.0.1", "0");
  const std::string port = first.ReadLocalPort();
  TNetSocket second(nullptr);
  int errors = 0;
  second.OnError = [&](TObject*) { ++errors; };
  ListenOn(second, "tcp", "127.0.0.1", port);
  EXPECT_EQ(errors, 1);
  EXPECT_EQ(second.LastError(), 10048);
  EXPECT_EQ(second.SocketHandle(), INVALID_SOCKET);
  EXPECT_EQ(second.State(), wsClosed);
}

TEST(Server, UdpListenReceivesDatagrams)
{
  TNetSocket s(nullptr);
  TEventRecorder events;
  events.Attach(s);
  std::vector<std::string> got;
  CollectDatagrams(s, got);
  ListenOn(s, "udp", "127.0.0.1", "0");
  EXPECT_EQ(events.Log, (std::vector<std::string>{"state 8->2", "state 2->7", "state 7->5", "connected 0"}));
  const int port = std::stoi(s.ReadLocalPort());
  TNetSocket sender(nullptr);
  ConnectUdp(sender, "127.0.0.1", port);
  sender.SendText("datagram");
  ASSERT_TRUE(PumpMessagesUntil([&] { return !got.empty(); }, 20000ms));
  EXPECT_EQ(got[0], "datagram");
}

TEST(Server, MulticastSendAndReceiveOnLoopback)
{
  TNetSocket receiver(nullptr);
  std::vector<std::string> got;
  CollectDatagrams(receiver, got);
  int errors = 0;
  receiver.OnError = [&](TObject*) { ++errors; };
  receiver.MultiCast = true;
  receiver.MultiCastAddrStr = "239.255.42.99";
  receiver.ReuseAddr = true;
  const int port = UnusedTcpPort();
  ListenOn(receiver, "udp", "0.0.0.0", std::to_string(port));
  ASSERT_EQ(errors, 0) << receiver.LastError();
  ASSERT_EQ(receiver.State(), wsConnected);

  TNetSocket sender(nullptr);
  sender.MultiCast = true;
  sender.MultiCastIpTTL = 2;
  sender.AssignLocalAddr("127.0.0.1");
  ConnectUdp(sender, "239.255.42.99", port);
  ASSERT_EQ(sender.State(), wsConnected);
  int ttl = 0;
  int len = sizeof(ttl);
  Winsock::getsockopt(sender.SocketHandle(), IPPROTO_IP, 3 /* IP_MULTICAST_TTL */, reinterpret_cast<char*>(&ttl), &len);
  EXPECT_EQ(ttl, 2);
  sender.SendText("to the group");
  ASSERT_TRUE(PumpMessagesUntil([&] { return !got.empty(); }, 20000ms));
  EXPECT_EQ(got[0], "to the group");
}

TEST(Server, ReceiveAllOnARawSocketReportsItsFailure)
{
  TNetSocket s(nullptr);
  TEventRecorder events;
  events.Attach(s);
  s.ComponentOptions.Include(wsoSIO_RCVALL);
  std::string message;
  try {
    ListenOn(s, "RAW_icmp", "127.0.0.1", "0");
  } catch (const ESocketException& e) {
    message = e.Message();
  }
  EXPECT_EQ(message, "Error 10045 in function WSAIoctl(SIO_RCVALL)\r\nOperation not supported on socket");
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.SocketHandle(), INVALID_SOCKET);
  EXPECT_EQ(events.Log, (std::vector<std::string>{"state 8->2", "state 2->8", "closed 0"}));

  // Without the option the raw socket listens.
  TNetSocket plain(nullptr);
  ListenOn(plain, "raw_icmp", "127.0.0.1", "0");
  EXPECT_EQ(plain.State(), wsConnected);
}
