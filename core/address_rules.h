#pragma once

#include <string>

// Four groups of one to three digits joined by dots, nothing around them; no
// range check ("999.999.999.999" passes).
bool IsIPAddress(const std::string& text);
// 10.x, 172.16.x to 172.31.x and 192.168.x, by text; loopback and
// link-local are not private here.
bool IsPrivateIP(const std::string& text);
