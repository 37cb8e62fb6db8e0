#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/component.h"
#include "platform/exception.h"

class THiddenWindow;

// A failed socket call: "Error <code> in function <call>".
class EUdpException : public Exception {
public:
  using Exception::Exception;
};

// Sends texts as single UDP datagrams over Winsock.
class TUdpClient : public TComponent {
public:
  explicit TUdpClient(TComponent* owner);
  ~TUdpClient() override;

  const std::string& Host() const { return host_; }
  void SetHost(const std::string& value) { host_ = value; }
  int Port() const { return port_; }
  void SetPort(int value) { port_ = value; }

  // Permission to send to broadcast addresses (off by default, as in Winsock).
  bool BroadcastEnabled() const { return broadcastEnabled_; }
  void SetBroadcastEnabled(bool value);

  // Active opens the socket, inactive closes it; sending opens it as needed.
  bool Active() const { return socket_ != InvalidSocket; }
  void SetActive(bool value);

  // One datagram with the text to Host:Port. With no Host nothing is sent:
  // a client that was never given a destination stays quiet.
  void Send(const std::string& data);
  // One datagram to the given host (name or dotted quad) and port.
  void SendTo(const std::string& host, int port, const std::string& data);
  // The address that reaches every host of the local network.
  static constexpr const char* LimitedBroadcastAddress = "255.255.255.255";
  // One datagram to a broadcast address (an empty one: the limited broadcast
  // address) and port; needs BroadcastEnabled.
  void Broadcast(const std::string& data, int port, const std::string& address = LimitedBroadcastAddress);

private:
  static constexpr std::uintptr_t InvalidSocket = ~static_cast<std::uintptr_t>(0);

  void Open();
  void Close();

  std::string host_;
  int port_ = 0;
  bool broadcastEnabled_ = false;
  bool winsockStarted_ = false;
  std::uintptr_t socket_ = InvalidSocket;
};

// The sender and receiver of one datagram that a TUdpServer received.
class TUdpBinding {
public:
  std::string IP;  // the server's own address
  int Port = 0;
  std::string PeerIP;
  int PeerPort = 0;
};

// Receives UDP datagrams on DefaultPort (all local addresses) while active;
// each one runs OnUDPRead on the thread that created the server. Inactive
// until activated.
class TUdpServer : public TComponent {
public:
  using TUDPReadEvent = std::function<void(TObject* Sender, const std::string& AData, TUdpBinding* ABinding)>;

  explicit TUdpServer(TComponent* owner);
  ~TUdpServer() override;

  int DefaultPort() const { return defaultPort_; }
  // Takes effect at the next activation.
  void SetDefaultPort(int value) { defaultPort_ = value; }

  bool Active() const { return socket_ != InvalidSocket; }
  // Binds 0.0.0.0:DefaultPort; a port in use raises EUdpException.
  void SetActive(bool value);

  TUDPReadEvent OnUDPRead;

private:
  static constexpr std::uintptr_t InvalidSocket = ~static_cast<std::uintptr_t>(0);

  void Close();
  void ReadPending();

  int defaultPort_ = 0;
  bool winsockStarted_ = false;
  std::uintptr_t socket_ = InvalidSocket;
  std::unique_ptr<THiddenWindow> window_;
};
