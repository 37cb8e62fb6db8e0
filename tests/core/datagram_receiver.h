#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

// A plain blocking UDP receiver on 0.0.0.0:port for the tests, shared with
// other receivers of the same port (broadcasts reach all of them).
class TDatagramReceiver {
public:
  explicit TDatagramReceiver(int port);
  ~TDatagramReceiver();
  TDatagramReceiver(const TDatagramReceiver&) = delete;
  TDatagramReceiver& operator=(const TDatagramReceiver&) = delete;

  // The next datagram, or none when nothing arrives in time.
  std::optional<std::string> Receive(std::chrono::milliseconds timeout);
  // The next datagram that holds marker, skipping others (a shared port may
  // carry other tests' datagrams).
  std::optional<std::string> ReceiveWith(const std::string& marker, std::chrono::milliseconds timeout);

  // A UDP port that was free a moment ago.
  static int FreePort();

private:
  std::uintptr_t socket_;
};
