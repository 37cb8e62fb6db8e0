#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstddef>
#include <functional>
#include <string>

#include "net/net_socket.h"
#include "tests/support/loopback_server.h"

// Peers and drivers for the socket layer's tests.

// A peer session that sends text, then reads until the client closes; what it
// read goes to received, when given (read it once the session has ended).
TPeerServer::TSession SendsThenReads(const std::string& text, std::string* received = nullptr);

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
