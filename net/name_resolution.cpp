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

std::uint32_t NetSocketResolveHost(const std::string& Host)
{
  if (Host.empty() || Host.size() > 256)
    throw ESocketException("NetSocketResolveHost: '" + Host + "' Invalid Hostname.");
  const std::string trimmed = TrimText(Host);
  if (IsDottedQuad(trimmed)) {
    const unsigned long value = Winsock::inet_addr(trimmed.c_str());
    if (value == INADDR_NONE && trimmed != "255.255.255.255")
      throw ESocketException("NetSocketResolveHost: '" + Host + "' Invalid IP address.");
    return static_cast<std::uint32_t>(value);
  }
  const hostent* entry = Winsock::gethostbyname(trimmed.c_str());
  std::uint32_t address = 0;
  if (!FirstHostAddress(entry, address)) {
    const int code = entry == nullptr ? Winsock::WSAGetLastError() : WSANO_DATA;
    throw ESocketException(Formatted("NetSocketResolveHost: Cannot convert host address '%s', Error #%d", Host, code));
  }
  return address;
}

bool FirstHostAddress(const hostent* Entry, std::uint32_t& Address)
{
  // An entry without any address is as good as none: never read a first entry
  // that is not there.
  if (Entry == nullptr || Entry->h_addr_list == nullptr || Entry->h_addr_list[0] == nullptr || Entry->h_length < 4)
    return false;
  std::memcpy(&Address, Entry->h_addr_list[0], 4);
  return true;
}

std::uint16_t NetSocketResolvePort(const std::string& Port, const std::string& Proto)
{
  if (Port.empty() || Port.size() >= 32)
    throw ESocketException("NetSocketResolvePort: Invalid Port.");
  if (Proto.empty() || Proto.size() >= 32)
    throw ESocketException("NetSocketResolvePort: Invalid Proto.");
  if (IsAsciiDigit(Port[0]))
    return static_cast<std::uint16_t>(ParseDecimal(Port) & 0xFFFFu);
  const std::string port = TrimText(Port);
  const std::string proto = TrimText(Proto);
  const servent* entry = Winsock::getservbyname(port.c_str(), proto.empty() ? nullptr : proto.c_str());
  if (entry == nullptr)
    throw ESocketException(
        Formatted("NetSocketResolvePort: Cannot convert port '%s', Error #%d", Port, Winsock::WSAGetLastError()));
  return Winsock::ntohs(static_cast<u_short>(entry->s_port));
}

int NetSocketResolveProto(const std::string& Proto)
{
  if (Proto.empty() || Proto.size() >= 32)
    throw ESocketException("NetSocketResolveProto: Invalid Protocol.");
  if (IsAsciiDigit(Proto[0]))
    return static_cast<int>(ParseDecimal(Proto) & 0x7FFFFFFFu);
  const std::string proto = LowerAscii(TrimText(Proto));
  if (proto == "tcp")
    return IPPROTO_TCP;
  if (proto == "udp")
    return IPPROTO_UDP;
  if (proto == "raw")
    return IPPROTO_RAW;
  const protoent* entry = Winsock::getprotobyname(proto.c_str());
  if (entry == nullptr)
    throw ESocketException(
        Formatted("NetSocketResolveProto: Cannot convert protocol '%s', Error #%d", proto, Winsock::WSAGetLastError()));
  return entry->p_proto;
}
