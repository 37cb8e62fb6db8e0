#pragma once

#include <cstdint>
#include <string>

#include "platform/exception.h"

// The platform's run-time conversion error.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// Four groups of one to three digits joined by dots, nothing around them; no
// range check ("999.999.999.999" passes).
bool IsIPAddress(const std::string& text);
// 10.x, 172.16.x to 172.31.x and 192.168.x, by text; loopback and
// link-local are not private here.
bool IsPrivateIP(const std::string& text);

std::string IntToText(std::int32_t value);
// Empty text gives 1; otherwise the platform's strict signed 32-bit conversion,
// throwing EConvertError "'<text>' ist kein gültiger Integerwert".
std::int32_t TextToIntOrOne(const std::string& text);

// Every byte shifted by one random amount from 1 to 25 (modulo 256). A shift
// that would turn a byte into a line feed is drawn again, as the scrambled
// request is sent as one line.
std::string ScrambleRequest(const std::string& text);
// count letters drawn from "a" to "y".
std::string RandomLetters(std::uint8_t count);
// Replaces every occurrence of searched, searching the whole text again after
// each replacement, so occurrences a replacement makes go as well; a
// replacement longer than searched goes once from left to right instead, as
// rescanning it might never end.
std::string ReplaceAll(const std::string& text, const std::string& searched, const std::string& replacement);
// The value of key in an update reply of key:value items separated by blanks
// (or any characters of code 32 or less).
std::string GetReplyValue(const std::string& key, const std::string& reply);

// The running system's version as it reports it to this program (Win32
// only); known is false when it could not be read.
struct TRunningVersion {
  bool known = false;
  std::uint32_t platformId = 0, major = 0, minor = 0;
  std::string servicePack;
};
const TRunningVersion& RunningVersion();

// The operating-system text of the update request, such as
// "(5.1) - Windows XP Service Pack 3" (Win32 only).
std::string GetOSVersionText();
// The same from given version data.
std::string FormatOSVersionText(std::uint32_t platformId, std::uint32_t major, std::uint32_t minor,
                                const std::string& servicePack);
