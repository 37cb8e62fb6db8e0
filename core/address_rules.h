#pragma once

#include <string>

// Four groups of one to three digits joined by dots, nothing around them, and
// no range check ("999.999.999.999" passes): the rule the service's replies
// and the cycle gate are held to. The socket layer's IsDottedQuad differs
// (parts up to 255, blanks around allowed) as it turns the text into an address.
bool IsIPAddress(const std::string& text);
// 10.x, 172.16.x to 172.31.x and 192.168.x, by text; loopback and
// link-local are not private here.
bool IsPrivateIP(const std::string& text);
