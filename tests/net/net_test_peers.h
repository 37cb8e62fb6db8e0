#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

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

// A UDP receiver bound to address:port (port 0: a free one), collecting the
// datagrams it gets.
class TUdpReceiver {
public:
  explicit TUdpReceiver(const char* address, int port = 0);
  ~TUdpReceiver();

  int Port() const { return port_; }
  // Waits until count datagrams arrived; returns a copy of all so far.
  std::vector<std::string> WaitFor(std::size_t count, int timeoutMs);

private:
  SOCKET socket_ = INVALID_SOCKET;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  CRITICAL_SECTION lock_;
  std::vector<std::string> datagrams_;
  std::thread thread_;
};

// A port on 127.0.0.1 on which nobody listens.
int UnusedTcpPort();

// Reads until the peer closes or count bytes arrived.
std::string ReadAll(SOCKET s, std::size_t count = static_cast<std::size_t>(-1));
bool SendAll(SOCKET s, const std::string& data);
