#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

// How a session of the peer ends: an orderly close, or a reset (SO_LINGER 0).
enum class TPeerEnd { Close, Reset };

// A TCP server of the test's own on a fixed loopback address and port (the
// core always connects to port 900 or 901 of an endpoint address). Each
// accepted connection runs Session on the server's thread, which then ends
// the connection as Session says.
class TLoopbackPeer {
public:
  using TSession = std::function<TPeerEnd(SOCKET client)>;
  TLoopbackPeer(const char* address, int port, TSession Session);
  ~TLoopbackPeer();

  bool Listening() const { return listener_ != INVALID_SOCKET; }
  int Accepted() const { return accepted_.load(); }

private:
  SOCKET listener_ = INVALID_SOCKET;
  TSession session_;
  std::atomic<int> accepted_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A listener on a fixed loopback address and port that accepts nothing and
// whose queue of connections waiting to be accepted is full: the system drops
// further connection attempts, so a connect to it never completes (as with a
// host that drops them).
class TStalledListener {
public:
  TStalledListener(const char* address, int port);
  ~TStalledListener();

  // The queue is full: the last connection of the listener's own stayed unanswered.
  bool Stalled() const { return stalled_; }

private:
  SOCKET listener_ = INVALID_SOCKET;
  std::vector<SOCKET> fillers_;
  bool stalled_ = false;
};

// Reads up to and including the first line feed (or until the peer closes).
std::string ReadLine(SOCKET client);
