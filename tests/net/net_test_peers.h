#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "net/net_socket.h"

// Peers for the socket layer's tests: plain blocking Windows Sockets on
// loopback, each on a thread of its own.

// Starts Windows Sockets for the test program's own peers (not for the layer
// under test, which loads its own).
void StartPeerWinsock();

// A TCP listener on 127.0.0.1 with a free port; each accepted connection runs
// Session on the listener's thread.
class TPeerServer {
public:
  using TSession = std::function<void(SOCKET client)>;
  explicit TPeerServer(TSession Session, const char* address = "127.0.0.1");
  ~TPeerServer();

  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  int Accepted() const { return accepted_.load(); }
  // Waits until the sessions so far have ended.
  bool WaitSessions(int count, int timeoutMs);

private:
  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  TSession session_;
  std::atomic<int> accepted_{0};
  std::atomic<int> finished_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A port on 127.0.0.1 on which nobody listens.
int UnusedTcpPort();

// 127.0.0.1:port.
sockaddr_in LoopbackAddress(int port);

// A peer session that sends Text, then reads until the client closes.
TPeerServer::TSession SendsThenReads(const std::string& Text);

// A TCP listener on 127.0.0.1 that never accepts, so no thread of its own
// opens or closes a handle while a test runs. Connections to it complete in
// its backlog. A full one (backlog 0, its one place taken) makes the system
// drop new handshakes: connects to it stay pending.
class TIdleListener {
public:
  explicit TIdleListener(bool full = false);
  ~TIdleListener();
  int Port() const { return port_; }

private:
  SOCKET listener_ = INVALID_SOCKET;
  SOCKET filler_ = INVALID_SOCKET;
  int port_ = 0;
};

// A plain blocking connection to 127.0.0.1:port, made outside the component;
// INVALID_SOCKET when refused.
SOCKET RawConnection(int port);

// Reads until the peer closes or count bytes arrived.
std::string ReadAll(SOCKET s, std::size_t count = static_cast<std::size_t>(-1));
bool SendAll(SOCKET s, const std::string& data);

// A scripted SOCKS 5 relay's side of a negotiation without authentication:
// reads the method offer and a request of requestSize bytes, answers both
// (the request with reply) and returns what the client sent.
std::string GrantSocks5(SOCKET c, std::size_t requestSize, const std::string& reply);
// The size of a SOCKS 5 request for 127.0.0.1.
constexpr std::size_t kSocks5LoopbackRequestSize = 7 + 9;

// Driving the socket under test.

// Assigns protocol, address and port and connects: UDP is connected when this
// returns, TCP later in the message loop.
void ConnectTcp(TNetSocket& s, int port, const std::string& addr = "127.0.0.1");
void ConnectUdp(TNetSocket& s, const std::string& addr = "127.0.0.1", int port = 9);
// Connects over TCP and pumps messages until the connection is up.
bool ConnectAndWait(TNetSocket& s, int port);
void ListenOn(TNetSocket& s, const std::string& proto, const std::string& addr, const std::string& port);
// Connects to addr:port through the SOCKS relay on 127.0.0.1:relayPort.
void ConnectViaRelay(TNetSocket& s, int relayPort, const std::string& level, const std::string& addr = "127.0.0.1",
                     const std::string& port = "4321");
// User name and password for the relay.
void UseSocksAccount(TNetSocket& s, const std::string& user, const std::string& password);
// Reads what waits, as the client core does.
std::string ReadWaiting(TNetSocket& s);
// The message of the ESocketException that action throws.
std::string ThrownText(const std::function<void()>& action);
// A select notification for the socket's handle, as Winsock posts it.
TSocketMessage SelectMessage(const TNetSocket& s, long events);
