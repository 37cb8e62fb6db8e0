#include "net/socks_messages.h"

#include <cstring>
#include <iterator>

namespace {

constexpr std::size_t kLongestCountedText = 255;

// SOCKS 4 reply codes of a refusal.
constexpr unsigned char kSocks4Rejected = 91;
constexpr unsigned char kSocks4NoIdentd = 92;
constexpr unsigned char kSocks4UserMismatch = 93;

constexpr unsigned char kSocks4AMarker[4] = {0, 0, 0, 1};

// Empty when the request as built fits; else what its texts are (two texts:
// together) and how many bytes of them would fit: the room the same request
// leaves with its texts empty.
std::string TooLong(const TSocksMessage& built, const TSocksMessage& bare, std::size_t textBytes,
                    const std::string& what, bool together = false)
{
  if (!built.Spoiled())
    return std::string();
  const int room = TSocksMessage::kCapacity - bare.Length();
  return "socks request too long: " + what + " of " + std::to_string(textBytes) + " bytes" +
         (together ? " together" : "") + ", at most " + std::to_string(room) + " fit";
}

std::string Unassigned(unsigned char replyCode)
{
  return "unassigned error #" + std::to_string(replyCode);
}

}  // namespace

TSocksMessage& TSocksMessage::Byte(unsigned char value)
{
  return Bytes(&value, 1);
}

TSocksMessage& TSocksMessage::Port(std::uint16_t value)
{
  const unsigned char bytes[2] = {static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)};
  return Bytes(bytes, sizeof(bytes));
}

TSocksMessage& TSocksMessage::Bytes(const void* data, std::size_t count)
{
  if (spoiled_ || count > static_cast<std::size_t>(kCapacity - length_)) {
    spoiled_ = true;
    return *this;
  }
  if (count > 0)
    std::memcpy(bytes_ + length_, data, count);
  length_ += static_cast<int>(count);
  return *this;
}

TSocksMessage& TSocksMessage::CountedText(const std::string& text)
{
  // Length byte and text fit together or not at all.
  if (text.size() > kLongestCountedText || text.size() >= static_cast<std::size_t>(kCapacity - length_)) {
    spoiled_ = true;
    return *this;
  }
  return Byte(static_cast<unsigned char>(text.size())).Text(text);
}

TSocksMessage Socks5MethodSelection(unsigned char method)
{
  TSocksMessage message;
  message.Byte(kSocks5Version).Byte(1).Byte(method);
  return message;
}

TSocksMessage Socks5Credentials(const std::string& user, const std::string& password)
{
  TSocksMessage message;
  message.Byte(kCredentialsVersion).CountedText(user).CountedText(password);
  return message;
}

TSocksMessage Socks4ConnectRequest(std::uint16_t port, std::uint32_t address, const std::string& user)
{
  TSocksMessage message;
  message.Byte(kSocks4Version).Byte(kSocksConnectCommand).Port(port).Bytes(&address, sizeof(address));
  message.Text(user).Byte(0);
  return message;
}

TSocksMessage Socks4AConnectRequest(std::uint16_t port, const std::string& user, const std::string& host)
{
  TSocksMessage message;
  message.Byte(kSocks4Version).Byte(kSocksConnectCommand).Port(port).Bytes(kSocks4AMarker, sizeof(kSocks4AMarker));
  message.Text(user).Byte(0).Text(host).Byte(0);
  return message;
}

TSocksMessage Socks5ConnectRequest(const std::string& host, std::uint16_t port)
{
  TSocksMessage message;
  message.Byte(kSocks5Version).Byte(kSocksConnectCommand).Byte(0).Byte(kSocks5AddressName);
  message.CountedText(host).Port(port);
  return message;
}

std::string OversizedSocks4Request(const std::string& user)
{
  return TooLong(Socks4ConnectRequest(0, 0, user), Socks4ConnectRequest(0, 0, ""), user.size(), "user code");
}

std::string OversizedSocks4ARequest(const std::string& user, const std::string& host)
{
  return TooLong(Socks4AConnectRequest(0, user, host), Socks4AConnectRequest(0, "", ""), user.size() + host.size(),
                 "user code and host name", true);
}

std::string OversizedSocks5Request(const std::string& host)
{
  return TooLong(Socks5ConnectRequest(host, 0), Socks5ConnectRequest("", 0), host.size(), "host name");
}

std::string OversizedSocks5Credentials(const std::string& user, const std::string& password)
{
  return TooLong(Socks5Credentials(user, password), Socks5Credentials("", ""), user.size() + password.size(),
                 "user code and password", true);
}

TSocksRefusal Socks4Refusal(unsigned char replyCode)
{
  switch (replyCode) {
  case kSocks4Rejected: return {SocksRequestRejected, "request rejected or failed"};
  case kSocks4NoIdentd: return {SocksConnectionRefused, "connection refused"};
  case kSocks4UserMismatch: return {SocksAuthenticationFailed, "authentification failed"};
  default: return {SocksUnassignedError, Unassigned(replyCode)};
  }
}

TSocksRefusal Socks5Refusal(unsigned char replyCode)
{
  // Reply codes 1 to 8 in order.
  static const TSocksRefusal kRefusals[] = {
      {SocksGeneralFailure, "general SOCKS server failure"},
      {SocksConnectionNotAllowed, "connection not allowed by ruleset"},
      {SocksNetworkUnreachable, "network unreachable"},
      {SocksHostUnreachable, "host unreachable"},
      {SocksConnectionRefused, "connection refused"},
      {SocksTtlExpired, "time to live expired"},
      {SocksCommandNotSupported, "command not supported"},
      {SocksAddressTypeNotSupported, "address type not supported"},
  };
  if (replyCode >= 1 && replyCode <= std::size(kRefusals))
    return kRefusals[replyCode - 1];
  return {SocksUnassignedError, Unassigned(replyCode)};
}
