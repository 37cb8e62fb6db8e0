#include "net/name_resolution.h"

#include <cstring>

#include "net/address_text.h"
#include "net/socket_exception.h"
#include "net/winsock_binding.h"
#include "platform/ascii_text.h"

namespace {

std::string Formatted(const char* format, const std::string& text, int code)
{
  // The texts are at most 256 characters here, the format adds little.
  std::string result(text.size() + 128, '\0');
  const int len = wsprintfA(result.data(), format, text.c_str(), code);
  result.resize(len > 0 ? static_cast<std::size_t>(len) : 0);
  return result;
}

}  // namespace

std::uint32_t NetSocketResolveHost(const std::string& host)
{
  if (host.empty() || host.size() > 256)
    throw ESocketException("NetSocketResolveHost: '" + host + "' Invalid Hostname.");
  const std::string trimmed = TrimText(host);
  if (IsDottedQuad(trimmed)) {
    const unsigned long value = Winsock::inet_addr(trimmed.c_str());
    if (value == INADDR_NONE && trimmed != "255.255.255.255")
      throw ESocketException("NetSocketResolveHost: '" + host + "' Invalid IP address.");
    return static_cast<std::uint32_t>(value);
  }
  const hostent* entry = Winsock::gethostbyname(trimmed.c_str());
  std::uint32_t address = 0;
  if (!FirstHostAddress(entry, address)) {
    const int code = entry == nullptr ? Winsock::WSAGetLastError() : WSANO_DATA;
    throw ESocketException(Formatted("NetSocketResolveHost: Cannot convert host address '%s', Error #%d", host, code));
  }
  return address;
}

bool FirstHostAddress(const hostent* entry, std::uint32_t& address)
{
  // An entry without any address is as good as none: never read a first entry
  // that is not there.
  if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_addr_list[0] == nullptr || entry->h_length < 4)
    return false;
  std::memcpy(&address, entry->h_addr_list[0], 4);
  return true;
}

std::uint16_t NetSocketResolvePort(const std::string& port, const std::string& proto)
{
  if (port.empty() || port.size() >= 32)
    throw ESocketException("NetSocketResolvePort: Invalid Port.");
  if (proto.empty() || proto.size() >= 32)
    throw ESocketException("NetSocketResolvePort: Invalid Proto.");
  if (IsAsciiDigit(port[0]))
    return static_cast<std::uint16_t>(ParseDecimal(port) & 0xFFFFu);
  const std::string trimmedPort = TrimText(port);
  const std::string trimmedProto = TrimText(proto);
  const servent* entry =
      Winsock::getservbyname(trimmedPort.c_str(), trimmedProto.empty() ? nullptr : trimmedProto.c_str());
  if (entry == nullptr)
    throw ESocketException(
        Formatted("NetSocketResolvePort: Cannot convert port '%s', Error #%d", port, Winsock::WSAGetLastError()));
  return Winsock::ntohs(static_cast<u_short>(entry->s_port));
}

int NetSocketResolveProto(const std::string& proto)
{
  if (proto.empty() || proto.size() >= 32)
    throw ESocketException("NetSocketResolveProto: Invalid Protocol.");
  if (IsAsciiDigit(proto[0]))
    return static_cast<int>(ParseDecimal(proto) & 0x7FFFFFFFu);
  const std::string name = LowerAscii(TrimText(proto));
  if (name == "tcp")
    return IPPROTO_TCP;
  if (name == "udp")
    return IPPROTO_UDP;
  if (name == "raw")
    return IPPROTO_RAW;
  const protoent* entry = Winsock::getprotobyname(name.c_str());
  if (entry == nullptr)
    throw ESocketException(
        Formatted("NetSocketResolveProto: Cannot convert protocol '%s', Error #%d", name, Winsock::WSAGetLastError()));
  return entry->p_proto;
}
