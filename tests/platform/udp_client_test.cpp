#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include <windows.h>

#include "platform/udp_client.h"
#include "tests/support/message_pump.h"
#include "tests/support/udp_receiver.h"

using namespace std::chrono_literals;

namespace {

TEST(UdpClientTest, SendsOneTextAsOneDatagramToHostAndPort)
{
  const int port = TUdpReceiver::FreePort();
  TUdpReceiver receiver("0.0.0.0", port);
  TUdpClient client(nullptr);
  client.SetHost("127.0.0.1");
  client.SetPort(port);
  client.Send("Korvalind;abc;0123456789abcdefghij");
  client.Send(std::string("with\0zero\xFC", 10));
  EXPECT_EQ("Korvalind;abc;0123456789abcdefghij", receiver.Receive(3s).value_or("(nothing)"));
  EXPECT_EQ(std::string("with\0zero\xFC", 10), receiver.Receive(3s).value_or("(nothing)"));
}

TEST(UdpClientTest, ResolvesHostNames)
{
  const int port = TUdpReceiver::FreePort();
  TUdpReceiver receiver("0.0.0.0", port);
  TUdpClient client(nullptr);
  client.SendTo("localhost", port, "by name");
  EXPECT_EQ("by name", receiver.Receive(3s).value_or("(nothing)"));
  EXPECT_THROW(client.SendTo("no-such-host.invalid", port, "x"), EUdpException);
}

TEST(UdpClientTest, WithoutAHostNothingIsSent)
{
  TUdpClient client(nullptr);
  client.SetPort(900);
  client.SetActive(true);
  EXPECT_NO_THROW(client.Send("announce"));
  EXPECT_TRUE(client.Active());
  client.SetActive(false);
  EXPECT_FALSE(client.Active());
}

TEST(UdpClientTest, BroadcastNeedsThePermission)
{
  const int port = TUdpReceiver::FreePort();
  TUdpReceiver receiver("0.0.0.0", port);
  TUdpClient client(nullptr);
  client.SetActive(true);
  try {
    client.Broadcast("refused", port);
    FAIL() << "broadcast without permission";
  } catch (const EUdpException& e) {
    EXPECT_EQ(0u, e.Message().find("Error ")) << e.Message();
    EXPECT_NE(std::string::npos, e.Message().find("in function sendto")) << e.Message();
  }
  client.SetBroadcastEnabled(true);
  client.Broadcast("to everyone", port);
  EXPECT_EQ("to everyone", receiver.Receive(3s).value_or("(nothing)"));
}

TEST(UdpClientTest, BadPortRaises)
{
  TUdpClient client(nullptr);
  EXPECT_THROW(client.SendTo("127.0.0.1", 0, "x"), EUdpException);
  EXPECT_THROW(client.SendTo("127.0.0.1", 70000, "x"), EUdpException);
}

TEST(UdpServerTest, InactiveUntilActivatedThenDeliversOnThisThread)
{
  const int port = TUdpReceiver::FreePort();
  TUdpServer server(nullptr);
  server.SetDefaultPort(port);
  EXPECT_FALSE(server.Active());

  std::vector<std::string> received;
  std::string peer;
  const DWORD thread = GetCurrentThreadId();
  server.OnUDPRead = [&](TObject* sender, const std::string& data, TUdpBinding* binding) {
    EXPECT_EQ(&server, sender);
    EXPECT_EQ(thread, GetCurrentThreadId());
    received.push_back(data);
    peer = binding->PeerIP;
    EXPECT_EQ(port, binding->Port);
  };

  TUdpClient client(nullptr);
  client.SendTo("127.0.0.1", port, "too early");  // nobody listens yet
  server.SetActive(true);
  ASSERT_TRUE(server.Active());
  client.SendTo("127.0.0.1", port, "first");
  client.SendTo("127.0.0.1", port, "second");
  EXPECT_TRUE(PumpMessagesUntil([&] { return received.size() >= 2; }, 3s));
  EXPECT_EQ((std::vector<std::string>{"first", "second"}), received);
  EXPECT_EQ("127.0.0.1", peer);

  server.SetActive(false);
  client.SendTo("127.0.0.1", port, "after");
  PumpMessagesFor(200ms);
  EXPECT_EQ(2u, received.size());
}

TEST(UdpServerTest, APortInUseRaises)
{
  const int port = TUdpReceiver::FreePort();
  TUdpServer first(nullptr);
  first.SetDefaultPort(port);
  first.SetActive(true);
  TUdpServer second(nullptr);
  second.SetDefaultPort(port);
  EXPECT_THROW(second.SetActive(true), EUdpException);
  EXPECT_FALSE(second.Active());
}

}  // namespace
