#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <concepts>
#include <cstddef>
#include <functional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

// Peers of the test program's own on loopback: plain blocking Windows Sockets,
// each server on a thread of its own.

// Starts Windows Sockets for the test program's own peers (not for the code
// under test, which loads its own).
void StartPeerWinsock();

// Port 0 asks the system for a free one.
inline constexpr int FreePort = 0;

// address:port.
sockaddr_in LoopbackAddress(int port, const char* address = "127.0.0.1");

// How a session of a server ends: an orderly close, or a reset (SO_LINGER 0).
enum class TPeerEnd { Close, Reset };

// A TCP server on loopback. Each accepted connection runs the session on the
// server's thread, which then ends the connection as the session says; a
// session that returns nothing ends it with an orderly close.
class TPeerServer {
public:
  using TSession = std::function<TPeerEnd(SOCKET client)>;

  // On a free port of address.
  template <std::invocable<SOCKET> Session>
  explicit TPeerServer(Session session, const char* address = "127.0.0.1")
      : TPeerServer(address, FreePort, Ending(std::move(session)), NoReadTimeout)
  {}
  // On a fixed address and port, where the client core connects (900 or 901).
  // The core keeps a connection as long as its own timers say, so a session's
  // reads give up after a while there: a client that never closes cannot hang
  // the test.
  template <std::invocable<SOCKET> Session>
  TPeerServer(const char* address, int port, Session session)
      : TPeerServer(address, port, Ending(std::move(session)), CoreSessionReadTimeoutMs)
  {}
  ~TPeerServer();
  TPeerServer(const TPeerServer&) = delete;
  TPeerServer& operator=(const TPeerServer&) = delete;

  bool Listening() const { return listener_ != INVALID_SOCKET; }
  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  int Accepted() const { return accepted_.load(); }
  // Waits until the sessions so far have ended.
  bool WaitSessions(int count, int timeoutMs);

private:
  static constexpr DWORD NoReadTimeout = 0;
  static constexpr DWORD CoreSessionReadTimeoutMs = 10000;

  TPeerServer(const char* address, int port, TSession session, DWORD readTimeoutMs);
  void Serve();

  template <typename Session>
  static TSession Ending(Session session)
  {
    if constexpr (std::is_void_v<std::invoke_result_t<Session&, SOCKET>>)
      return [session = std::move(session)](SOCKET client) mutable {
        session(client);
        return TPeerEnd::Close;
      };
    else
      return TSession(std::move(session));
  }

  SOCKET listener_ = INVALID_SOCKET;
  int port_ = 0;
  DWORD readTimeoutMs_ = NoReadTimeout;
  TSession session_;
  std::atomic<int> accepted_{0};
  std::atomic<int> finished_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A TCP listener that never accepts, so no thread of its own opens or closes a
// handle while a test runs. Connections to an open one complete in its queue.
// A full one has its queue taken by connections of its own until the system
// answers one no more: it then drops further handshakes, so a connect to it
// stays pending (as with a host that drops them).
class TIdleListener {
public:
  // On a free port of 127.0.0.1.
  explicit TIdleListener(bool full = false);
  // A full one on a fixed address and port, where the client core connects.
  TIdleListener(const char* address, int port);
  ~TIdleListener();
  TIdleListener(const TIdleListener&) = delete;
  TIdleListener& operator=(const TIdleListener&) = delete;

  int Port() const { return port_; }
  // A full one's queue is full: the last connection of its own stayed unanswered.
  bool Stalled() const { return stalled_; }

private:
  void Open(const char* address, int port, bool full);
  void Fill(const char* address);

  SOCKET listener_ = INVALID_SOCKET;
  std::vector<SOCKET> fillers_;
  int port_ = 0;
  bool stalled_ = false;
};

// A port on 127.0.0.1 on which nobody listens.
int UnusedTcpPort();

// A plain blocking connection to 127.0.0.1:port, made outside the code under
// test; INVALID_SOCKET when refused.
SOCKET RawConnection(int port);

// Reads until the peer closes or count bytes arrived.
std::string ReadAll(SOCKET s, std::size_t count = static_cast<std::size_t>(-1));
// Reads up to and including the first line feed (or until the peer closes).
std::string ReadLine(SOCKET client);
bool SendAll(SOCKET s, const std::string& data);
