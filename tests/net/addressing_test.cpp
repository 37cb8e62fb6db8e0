#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "net/name_resolution.h"
#include "net/net_socket.h"
#include "net/winsock_binding.h"
#include "tests/net/event_recorder.h"
#include "tests/net/net_test_peers.h"
#include "tests/support/message_pump.h"

namespace {

std::string Dotted(std::uint32_t networkOrder)
{
  const auto* b = reinterpret_cast<const unsigned char*>(&networkOrder);
  return std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." + std::to_string(b[3]);
}

}  // namespace

TEST(Addressing, NewSocketDefaults)
{
  TNetSocket s(nullptr);
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.Proto(), "tcp");
  EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
  EXPECT_EQ(s.LocalPort(), "0");
  EXPECT_EQ(s.FlushTimeout, 60);
  EXPECT_EQ(s.ListenBacklog, 5);
  EXPECT_EQ(s.MultiCastIpTTL, 1);
  EXPECT_EQ(s.LingerOnOff, wsLingerOn);
  EXPECT_EQ(s.LingerTimeout, 0);
  EXPECT_TRUE(s.DnsResultList().empty());
  EXPECT_EQ(s.SendBlockSize(), 1460);
  EXPECT_EQ(s.SocksLevel(), "5");
  EXPECT_EQ(s.LineLimit, 65536);
  EXPECT_EQ(s.LineEnd, "\r\n");
  EXPECT_FALSE(s.LineMode());
  EXPECT_EQ(s.SocketHandle(), INVALID_SOCKET);
  EXPECT_FALSE(WinsockLoaded());
}

TEST(Addressing, SettersStoreTrimmedTextsExceptLocalOnes)
{
  TNetSocket s(nullptr);
  s.AssignPort(" 900 ");
  EXPECT_EQ(s.Port(), "900");
  s.AssignAddr("\t127.0.0.1 ");
  EXPECT_EQ(s.Addr(), "127.0.0.1");
  s.AssignProto(" UDP ");
  EXPECT_EQ(s.Proto(), "UDP");
  s.AssignLocalPort(" 80");
  EXPECT_EQ(s.LocalPort(), " 80");
  s.AssignLocalAddr("");
  EXPECT_EQ(s.LocalAddr(), "0.0.0.0");
}

TEST(Addressing, SettersRefuseUnlessClosedWithTheirTexts)
{
  TNetSocket s(nullptr);
  ConnectUdp(s);
  ASSERT_EQ(s.State(), wsConnected);
  struct {
    std::function<void()> set;
    const char* text;
  } cases[] = {
      {[&] { s.AssignAddr("127.0.0.2"); }, "Cannot change Addr if not closed"},
      {[&] { s.AssignPort("10"); }, "Cannot change Port if not closed"},
      {[&] { s.AssignProto("tcp"); }, "Cannot change Proto if not closed"},
      {[&] { s.AssignLocalPort("1234"); }, "Cannot change LocalPort if not closed"},
      {[&] { s.AssignLocalAddr("127.0.0.1"); }, "Cannot change LocalAddr if not closed"},
      {[&] { s.AssignSocksLevel("4"); }, "Can't change socks level if not closed"},
      {[&] { s.AssignSocksServer("relay"); }, "Can't change socks server if not closed"},
      {[&] { s.AssignSocksPort("1080"); }, "Can't change socks port if not closed"},
      {[&] { s.Connect(); }, "Connect: Socket already in use"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ThrownText(c.set), c.text);
  // The same texts again are no change and report nothing.
  EXPECT_NO_THROW(s.AssignAddr("127.0.0.1"));
  EXPECT_NO_THROW(s.AssignPort("9"));
  EXPECT_NO_THROW(s.AssignProto("udp"));
  EXPECT_EQ(s.Addr(), "127.0.0.1");
  EXPECT_EQ(s.Port(), "9");

  // With an OnError handler the handler runs instead and nothing changes.
  int errors = 0;
  s.OnError = [&](TObject*) { ++errors; };
  s.AssignAddr("127.0.0.3");
  s.AssignLocalPort("77");
  EXPECT_EQ(errors, 2);
  EXPECT_EQ(s.Addr(), "127.0.0.1");
  EXPECT_EQ(s.LocalPort() == "77", false);
  s.CloseConnection();
}

TEST(Addressing, CloseRestoresDefaultsAndAddrPortMustBeAssignedAgain)
{
  TNetSocket s(nullptr);
  s.FlushTimeout = 10;
  s.LingerOnOff = wsLingerNoSet;
  s.MultiCastIpTTL = 4;
  ConnectUdp(s);
  ASSERT_EQ(s.State(), wsConnected);
  s.CloseConnection();
  EXPECT_EQ(s.State(), wsClosed);
  EXPECT_EQ(s.FlushTimeout, 60);
  EXPECT_EQ(s.Proto(), "tcp");
  EXPECT_EQ(s.LingerOnOff, wsLingerOn);
  EXPECT_EQ(s.LocalPort(), "0");
  EXPECT_EQ(s.MultiCastIpTTL, 4);  // not one of the defaults a close restores
  EXPECT_EQ(s.Addr(), "127.0.0.1");
  EXPECT_EQ(ThrownText([&] { s.Connect(); }), "Connect: No Port Specified");
  s.AssignPort("9");
  EXPECT_EQ(ThrownText([&] { s.Connect(); }), "Connect: No IP Address Specified");
  s.AssignProto("");
  s.AssignAddr("127.0.0.1");
  EXPECT_EQ(ThrownText([&] { s.Connect(); }), "Connect: No Protocol Specified");
  s.AssignProto("udp");
  s.Connect();
  EXPECT_EQ(s.State(), wsConnected);
}

TEST(Addressing, ConnectReportsResolutionFailuresWithoutCreatingASocket)
{
  TNetSocket s(nullptr);
  s.AssignAddr("no-such-host.invalid");
  s.AssignPort("900");
  EXPECT_EQ(ThrownText([&] { s.Connect(); }),
            "connect: NetSocketResolveHost: Cannot convert host address 'no-such-host.invalid', Error #11001");
  EXPECT_EQ(s.SocketHandle(), INVALID_SOCKET);
  EXPECT_EQ(s.State(), wsClosed);
  s.AssignAddr("127.0.0.1");
  s.AssignPort("");
  s.AssignPort("nosuchservice");
  EXPECT_EQ(ThrownText([&] {
              s.Connect();
            }).rfind("connect: NetSocketResolvePort: Cannot convert port 'nosuchservice', Error #", 0),
            0u);
  EXPECT_EQ(s.SocketHandle(), INVALID_SOCKET);
}

TEST(Addressing, ResolvePortTable)
{
  TNetSocket keep(nullptr);
  EXPECT_EQ(NetSocketResolvePort("900", "tcp"), 900);
  EXPECT_EQ(NetSocketResolvePort("70000", "tcp"), 4464);
  EXPECT_EQ(NetSocketResolvePort("4294967296", "tcp"), 65535);  // saturated, never wrapped
  EXPECT_EQ(NetSocketResolvePort("http", "tcp"), 80);
  EXPECT_EQ(ThrownText([] { NetSocketResolvePort("", "tcp"); }), "NetSocketResolvePort: Invalid Port.");
  EXPECT_EQ(ThrownText([] { NetSocketResolvePort(std::string(32, '1'), "tcp"); }),
            "NetSocketResolvePort: Invalid Port.");
  EXPECT_EQ(ThrownText([] { NetSocketResolvePort("900", ""); }), "NetSocketResolvePort: Invalid Proto.");
  // A leading blank makes it a service name, not a number.
  EXPECT_EQ(ThrownText([] {
              NetSocketResolvePort(" 80", "tcp");
            }).rfind("NetSocketResolvePort: Cannot convert port ' 80', Error #", 0),
            0u);
}

TEST(Addressing, ResolveProtoTable)
{
  TNetSocket keep(nullptr);
  EXPECT_EQ(NetSocketResolveProto(" UDP "), 17);
  EXPECT_EQ(NetSocketResolveProto("17"), 17);
  EXPECT_EQ(NetSocketResolveProto("tcp"), 6);
  EXPECT_EQ(NetSocketResolveProto("Raw"), 255);
  EXPECT_EQ(NetSocketResolveProto("icmp"), 1);
  EXPECT_EQ(ThrownText([] { NetSocketResolveProto(""); }), "NetSocketResolveProto: Invalid Protocol.");
  EXPECT_EQ(ThrownText([] {
              NetSocketResolveProto(" NoSuchProto ");
            }).rfind("NetSocketResolveProto: Cannot convert protocol 'nosuchproto', Error #", 0),
            0u);
}

TEST(Addressing, ResolveHostTable)
{
  TNetSocket keep(nullptr);
  EXPECT_EQ(NetSocketResolveHost("255.255.255.255"), 0xFFFFFFFFu);
  EXPECT_EQ(Dotted(NetSocketResolveHost(" 127.0.0.1 ")), "127.0.0.1");  // trimmed before converting
  EXPECT_EQ(Dotted(NetSocketResolveHost("010.0.0.1")), "8.0.0.1");      // inet_addr reads octal
  EXPECT_EQ(Dotted(NetSocketResolveHost("localhost")), "127.0.0.1");
  EXPECT_EQ(Dotted(NetSocketResolveHost("multi.korvalind.test")), "127.0.0.41");
  const std::string tooLong(257, 'a');
  EXPECT_EQ(ThrownText([&] { NetSocketResolveHost(tooLong); }),
            "NetSocketResolveHost: '" + tooLong + "' Invalid Hostname.");
  EXPECT_EQ(ThrownText([] { NetSocketResolveHost(""); }), "NetSocketResolveHost: '' Invalid Hostname.");
  // Not a dotted quad: goes to the resolver, which knows no such name.
  EXPECT_EQ(ThrownText([] { NetSocketResolveHost("1.2.3.256"); }),
            "NetSocketResolveHost: Cannot convert host address '1.2.3.256', Error #11001");
  EXPECT_EQ(ThrownText([] { NetSocketResolveHost("09.1.1.1"); }),
            "NetSocketResolveHost: '09.1.1.1' Invalid IP address.");
}

TEST(Addressing, HostEntryWithoutAddressesIsNotFound)
{
  char* noAddresses[] = {nullptr};
  hostent entry{};
  entry.h_length = 4;
  entry.h_addr_list = noAddresses;
  std::uint32_t address = 7;
  EXPECT_FALSE(FirstHostAddress(&entry, address));
  EXPECT_FALSE(FirstHostAddress(nullptr, address));
  entry.h_addr_list = nullptr;
  EXPECT_FALSE(FirstHostAddress(&entry, address));
  char one[4] = {127, 0, 0, 5};
  char* oneAddress[] = {one, nullptr};
  entry.h_addr_list = oneAddress;
  ASSERT_TRUE(FirstHostAddress(&entry, address));
  EXPECT_EQ(Dotted(address), "127.0.0.5");
}

TEST(Addressing, AddressQueriesAnswerOnlyInTheirStates)
{
  TNetSocket s(nullptr);
  EXPECT_EQ(s.PeerAddr(), "error");
  EXPECT_EQ(s.PeerPort(), "error");
  EXPECT_EQ(s.ReadLocalAddr(), "error");
  EXPECT_EQ(s.ReadLocalPort(), "error");
  sockaddr_in name{};
  EXPECT_EQ(s.ReadPeerName(reinterpret_cast<sockaddr*>(&name), sizeof(name)), SOCKET_ERROR);
  ConnectUdp(s, "127.0.0.1", 4000);
  EXPECT_EQ(s.ReadLocalAddr(), "0.0.0.0");
  EXPECT_NE(s.ReadLocalPort(), "error");
  EXPECT_EQ(s.LocalPort(), s.ReadLocalPort());  // BindSocket shows the port the system chose
  s.CloseConnection();
}

TEST(Addressing, SendFlagsRefuseOtherValues)
{
  TNetSocket s(nullptr);
  EXPECT_EQ(s.SendFlags(), wsSendNormal);
  s.SetSendFlags(wsSendUrgent);
  EXPECT_EQ(s.SendFlags(), wsSendUrgent);
  EXPECT_EQ(ThrownText([&] { s.SetSendFlags(static_cast<TSocketSendFlags>(7)); }), "Invalid SendFlags");
  EXPECT_EQ(s.SendFlags(), wsSendUrgent);
}

TEST(Addressing, OnChangeStateThatClosesDuringConnectIsReported)
{
  TNetSocket s(nullptr);
  s.AssignAddr("127.0.0.1");
  s.AssignPort("9");
  s.AssignProto("udp");
  s.OnChangeState = [&](TObject*, TSocketState, TSocketState n) {
    if (n == wsOpened)
      s.CloseConnection();
  };
  EXPECT_EQ(ThrownText([&] { s.Connect(); }),
            "Error 10022 in function Connect (Invalid operation in OnChangeState)\r\nInvalid argument");
  EXPECT_EQ(s.LastError(), 10022);
}

TEST(Addressing, TcpIsBoundBeforeConnectOnlyWithALocalPortOrAddress)
{
  TPeerServer peer([](SOCKET c) { ReadAll(c); });
  TNetSocket plain(nullptr);
  ConnectTcp(plain, peer.Port());
  EXPECT_EQ(plain.LocalPort(), "0");  // not bound by the layer: the text stays
  plain.CloseConnection();

  const std::string chosen = std::to_string(UnusedTcpPort());
  TNetSocket bound(nullptr);
  bound.AssignLocalAddr("127.0.0.1");
  bound.AssignLocalPort(chosen);
  ConnectTcp(bound, peer.Port());
  EXPECT_EQ(bound.LocalPort(), chosen);
  ASSERT_TRUE(PumpMessagesUntil([&] { return bound.State() == wsConnected; }, std::chrono::milliseconds(20000)));
  EXPECT_EQ(bound.ReadLocalPort(), chosen);
  EXPECT_EQ(bound.ReadLocalAddr(), "127.0.0.1");
  bound.CloseConnection();
  EXPECT_EQ(bound.LocalPort(), "0");  // a close restores the default
}
