#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "net/socks_error_codes.h"

// The SOCKS 4, 4A and 5 messages as they go on the wire. Numbers of more than
// one byte are big-endian.

constexpr unsigned char kSocks4Version = 4;
constexpr unsigned char kSocks4ReplyVersion = 0;
constexpr unsigned char kSocks4Granted = 90;
constexpr unsigned char kSocks5Version = 5;
constexpr unsigned char kSocksConnectCommand = 1;
// The SOCKS 5 methods this client offers.
constexpr unsigned char kSocks5NoAuthentication = 0;
constexpr unsigned char kSocks5UserPassword = 2;
// The user/password sub-negotiation.
constexpr unsigned char kCredentialsVersion = 1;
constexpr unsigned char kCredentialsAccepted = 0;
// SOCKS 5 address types and the success reply code.
constexpr unsigned char kSocks5AddressIPv4 = 1;
constexpr unsigned char kSocks5AddressName = 3;
constexpr unsigned char kSocks5Succeeded = 0;

// One message of ours, built in a fixed buffer on the stack: the negotiation
// allocates nothing. Every write is checked against the room left; one that
// does not fit writes nothing and spoils the message, which is then never
// sent, so nothing goes out cut short.
class TSocksMessage {
public:
  static constexpr int kCapacity = 128;

  TSocksMessage& Byte(unsigned char value);
  TSocksMessage& Port(std::uint16_t value);
  TSocksMessage& Bytes(const void* data, std::size_t count);
  TSocksMessage& Text(const std::string& text) { return Bytes(text.data(), text.size()); }
  // A length byte, then the text; a text of more than 255 bytes spoils it.
  TSocksMessage& CountedText(const std::string& text);

  bool Spoiled() const { return spoiled_; }
  const unsigned char* Data() const { return bytes_; }
  int Length() const { return length_; }

private:
  unsigned char bytes_[kCapacity] = {};
  int length_ = 0;
  bool spoiled_ = false;
};

// Method selection, one method offered:
// VER 5 | NMETHODS 1 | METHOD
TSocksMessage Socks5MethodSelection(unsigned char method);

// User name and password:
// VER 1 | ULEN | UNAME (ULEN) | PLEN | PASSWD (PLEN)
TSocksMessage Socks5Credentials(const std::string& user, const std::string& password);

// SOCKS 4 connect request; the address in network order:
// VN 4 | CD 1 | DSTPORT (2) | DSTIP (4) | USERID | 0
TSocksMessage Socks4ConnectRequest(std::uint16_t port, std::uint32_t address, const std::string& user);

// SOCKS 4A connect request, the relay resolves the name:
// VN 4 | CD 1 | DSTPORT (2) | 0 0 0 1 | USERID | 0 | HOST | 0
TSocksMessage Socks4AConnectRequest(std::uint16_t port, const std::string& user, const std::string& host);

// SOCKS 5 connect request, the destination always sent as a name:
// VER 5 | CMD 1 | RSV 0 | ATYP 3 | LEN | HOST (LEN) | DSTPORT (2)
TSocksMessage Socks5ConnectRequest(const std::string& host, std::uint16_t port);

// What keeps a request from fitting the message buffer, as a text, or empty
// when it fits.
std::string OversizedSocks4Request(const std::string& user);
std::string OversizedSocks4ARequest(const std::string& user, const std::string& host);
std::string OversizedSocks5Request(const std::string& host);
std::string OversizedSocks5Credentials(const std::string& user, const std::string& password);

// What a refused request means.
struct TSocksRefusal {
  TSocksError Code;
  std::string Text;
};
TSocksRefusal Socks4Refusal(unsigned char replyCode);
TSocksRefusal Socks5Refusal(unsigned char replyCode);
