#pragma once

#include <cstdint>
#include <string>

struct hostent;

// Addressing texts to numbers. Names go to the system's (blocking) resolver;
// every failure raises ESocketException with its own text.

// IPv4 address in network byte order.
std::uint32_t NetSocketResolveHost(const std::string& host);
// Port number in host byte order.
std::uint16_t NetSocketResolvePort(const std::string& port, const std::string& proto);
int NetSocketResolveProto(const std::string& proto);

// The first IPv4 address of a host entry; false when the entry is missing or
// its address list is empty.
bool FirstHostAddress(const hostent* entry, std::uint32_t& address);
