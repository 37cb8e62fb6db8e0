#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// A plain blocking UDP receiver for the tests, bound to address:port (port 0:
// a free one) and shared with other receivers of the same port, so broadcasts
// reach all of them.
class TUdpReceiver {
public:
  explicit TUdpReceiver(const char* address, int port = 0);
  ~TUdpReceiver();
  TUdpReceiver(const TUdpReceiver&) = delete;
  TUdpReceiver& operator=(const TUdpReceiver&) = delete;

  int Port() const { return port_; }
  // The next datagram, or none when nothing arrives in time.
  std::optional<std::string> Receive(std::chrono::milliseconds timeout);
  // The next datagram that holds marker, skipping others (a shared port may
  // carry other tests' datagrams).
  std::optional<std::string> ReceiveWith(const std::string& marker, std::chrono::milliseconds timeout);
  // Waits until count datagrams came through WaitFor in all, or the time is
  // up; returns all of them so far.
  std::vector<std::string> WaitFor(std::size_t count, int timeoutMs);

  // A UDP port that was free a moment ago.
  static int FreePort();

private:
  std::uintptr_t socket_;
  int port_ = 0;
  std::vector<std::string> received_;
};
