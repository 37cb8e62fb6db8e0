#include <gtest/gtest.h>

#include <string>

#include "core/reply_value.h"

namespace {

TEST(GetReplyValueTest, Cases)
{
  const std::string reply = "IP:203.0.113.7 DT:HA SI:1800 MI:120";
  const struct {
    const char* key;
    std::string reply;
    const char* expected;
  } cases[] = {
      {"IP", reply, "203.0.113.7"},
      {"DT", reply, "HA"},
      {"SI", reply, "1800"},
      {"MI", reply, "120"},
      {"HB", reply, ""},
      {"ip", reply, ""},  // case-sensitive
      {"IP", "IP: DT:HA", ""},
      {"K", "K:abc:def", "a"},
      // the search also finds the key at the end of a longer key
      {"IP", "MIP:198.51.100.1 IP:203.0.113.7", "198.51.100.1"},
      {"SI", "IP:1.2.3.4 SI:1800\r\n", "1800"},
      {"MESS", "IP:1.2.3.4 MESS:Hallo Welt\r\n", "Hallo Welt"},
      {"MESS", "IP:1.2.3.4 MESS:Hallo Welt SI:60", "Hallo Welt"},
      {"SI", "IP:1.2.3.4 SI:", ""},
      // a line feed or tab before a key separates as a blank does
      {"IP", "IP:1.2.3.4\nSI:600", "1.2.3.4"},
      {"SI", "IP:1.2.3.4\nSI:600", "600"},
      {"DT", "IP:1.2.3.4 DT:PA\tSI:600", "PA"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, GetReplyValue(c.key, c.reply)) << c.key << " in '" << c.reply << "'";
}

}  // namespace
