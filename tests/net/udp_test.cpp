#include <gtest/gtest.h>

#include <string>

#include "net/net_socket.h"
#include "net/winsock_binding.h"
#include "tests/net/event_recorder.h"
#include "tests/net/net_test_peers.h"
#include "tests/support/message_pump.h"
#include "tests/support/udp_receiver.h"

using namespace std::chrono_literals;

namespace {

int BroadcastOption(TNetSocket& s)
{
  int value = 0;
  int len = sizeof(value);
  Winsock::getsockopt(s.SocketHandle(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<char*>(&value), &len);
  return value;
}

}  // namespace

TEST(Udp, EachHeartbeatOnOneComponentSendsExactlyOneDatagram)
{
  TUdpReceiver receiver("127.0.0.11");
  TNetSocket s(nullptr);
  TEventRecorder events;
  events.Attach(s);
  std::vector<std::string> beats;
  for (int i = 0; i < 3; ++i) {
    events.Log.clear();
    ConnectUdp(s, "127.0.0.11", receiver.Port());
    // Connected inside Connect, with OnSessionConnected before it returned.
    EXPECT_EQ(events.Log, (std::vector<std::string>{"state 8->1", "state 1->5", "connected 0"}));
    beats.push_back("KVHB 0123456789abc" + std::to_string(i) + "\n");
    EXPECT_EQ(s.SendText(beats.back()), 20);
    s.CloseConnection();
    EXPECT_EQ(s.State(), wsClosed);
  }
  ASSERT_EQ(receiver.WaitFor(3, 10000).size(), 3u);
  PumpMessagesFor(100ms);
  EXPECT_EQ(receiver.WaitFor(4, 300), beats);  // a fourth one would be here by now
}

TEST(Udp, BroadcastSwitchesTheOptionOnAndArrives)
{
  TUdpReceiver receiver("0.0.0.0");
  TNetSocket s(nullptr);
  ConnectUdp(s, "255.255.255.255", receiver.Port());
  ASSERT_EQ(s.State(), wsConnected);
  EXPECT_NE(BroadcastOption(s), 0);
  s.SendText("to everybody");
  const auto got = receiver.WaitFor(1, 10000);
  s.CloseConnection();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], "to everybody");

  TNetSocket plain(nullptr);
  ConnectUdp(plain, "127.0.0.1", receiver.Port());
  EXPECT_EQ(BroadcastOption(plain), 0);
  plain.CloseConnection();
}

TEST(Udp, LargeDatagramIsSentWhole)
{
  TUdpReceiver receiver("127.0.0.1");
  TNetSocket s(nullptr);
  ConnectUdp(s, "127.0.0.1", receiver.Port());
  std::string data(3000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<char>(i % 251);
  int handedOver = 0;
  s.OnSendData = [&](TObject*, int n) { handedOver = n; };
  EXPECT_EQ(s.Send(data.data(), static_cast<int>(data.size())), 3000);
  EXPECT_EQ(handedOver, 3000);
  EXPECT_TRUE(s.SendQueueEmpty());
  ASSERT_GE(receiver.WaitFor(1, 10000).size(), 1u);
  const auto got = receiver.WaitFor(2, 300);  // pieces of a split one would follow at once
  s.CloseConnection();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_TRUE(got[0] == data) << got[0].size();
}

TEST(Udp, DatagramsAreReceivedWithTheirSender)
{
  TNetSocket s(nullptr);
  std::string got;
  std::string from;
  s.OnDataAvailable = [&](TObject*, std::uint16_t) {
    char buffer[256];
    sockaddr_in sender{};
    int len = sizeof(sender);
    const int n = s.ReceiveDatagram(buffer, sizeof(buffer), reinterpret_cast<sockaddr*>(&sender), &len);
    if (n > 0) {
      got.assign(buffer, static_cast<std::size_t>(n));
      from = Winsock::inet_ntoa(sender.sin_addr);
    }
  };
  TUdpReceiver sink("127.0.0.1");
  ConnectUdp(s, "127.0.0.1", sink.Port());
  const int localPort = std::stoi(s.LocalPort());
  StartPeerWinsock();
  SOCKET peer = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<u_short>(localPort));
  to.sin_addr.s_addr = inet_addr("127.0.0.1");
  sendto(peer, "answer", 6, 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
  closesocket(peer);
  EXPECT_TRUE(PumpMessagesUntil([&] { return !got.empty(); }, 10000ms));
  EXPECT_EQ(got, "answer");
  EXPECT_EQ(from, "127.0.0.1");
  EXPECT_EQ(s.ReadCount(), 6);
  s.CloseConnection();
}

TEST(Udp, SendDatagramGoesToTheAddressGivenAndNoFurther)
{
  TUdpReceiver receiver("127.0.0.1");
  TUdpReceiver other("127.0.0.1");
  TNetSocket s(nullptr);
  ConnectUdp(s, "127.0.0.1", other.Port());
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = Winsock::htons(static_cast<u_short>(receiver.Port()));
  to.sin_addr.s_addr = Winsock::inet_addr("127.0.0.1");
  EXPECT_EQ(s.SendDatagram(reinterpret_cast<sockaddr*>(&to), sizeof(to), "direct", 6), 6);
  const auto got = receiver.WaitFor(1, 10000);
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0], "direct");
  // A length that does not cover an address is refused, not read past.
  EXPECT_EQ(s.SendDatagram(reinterpret_cast<sockaddr*>(&to), 4, "short", 5), SOCKET_ERROR);
  EXPECT_EQ(Winsock::WSAGetLastError(), WSAEFAULT);
  EXPECT_TRUE(other.WaitFor(1, 200).empty());
  s.CloseConnection();
}

TEST(Udp, ReadingThePeerAddressLeavesTheSocketOpen)
{
  // Winsock knows no peer of a datagram socket: the query fails with 10057,
  // which is not a lost connection.
  TUdpReceiver receiver("127.0.0.1");
  TNetSocket s(nullptr);
  TEventRecorder events;
  events.Attach(s);
  s.OnError = [&](TObject*) { events.Log.push_back("error " + std::to_string(s.LastError())); };
  ConnectUdp(s, "127.0.0.1", receiver.Port());
  events.Log.clear();
  EXPECT_EQ(s.PeerAddr(), "error");
  EXPECT_EQ(s.PeerPort(), "error");
  EXPECT_EQ(events.Log, (std::vector<std::string>{"error 10057", "error 10057"}));
  EXPECT_EQ(s.State(), wsConnected);
  EXPECT_EQ(s.SendText("still here"), 10);
  EXPECT_EQ(receiver.WaitFor(1, 10000), std::vector<std::string>{"still here"});
  s.CloseConnection();
}
