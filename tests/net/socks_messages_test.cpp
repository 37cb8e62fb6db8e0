#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "net/socks_messages.h"

// The bytes of each message are asserted on the wire (socks_test.cpp); here
// only the bounds of the buffer they are built in.
TEST(SocksMessage, AWriteThatDoesNotFitSpoilsTheMessageAndWritesNothing)
{
  const std::string full(TSocksMessage::kCapacity, 'x');
  const struct {
    const char* name;
    std::function<void(TSocksMessage&)> write;
    int length;
    bool spoiled;
  } cases[] = {
      {"exactly full", [&](TSocksMessage& m) { m.Text(full); }, TSocksMessage::kCapacity, false},
      {"one byte more", [&](TSocksMessage& m) { m.Text(full).Byte(1); }, TSocksMessage::kCapacity, true},
      {"a port that half fits", [&](TSocksMessage& m) { m.Text(full.substr(1)).Port(0x1234); },
       TSocksMessage::kCapacity - 1, true},
      {"nothing after a spoiling write", [&](TSocksMessage& m) { m.Text(full + "y").Byte(1); }, 0, true},
      {"a counted text and its length byte", [&](TSocksMessage& m) { m.CountedText(full.substr(1)); },
       TSocksMessage::kCapacity, false},
      {"a counted text one byte too long", [&](TSocksMessage& m) { m.CountedText(full); }, 0, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TSocksMessage message;
    c.write(message);
    EXPECT_EQ(message.Length(), c.length);
    EXPECT_EQ(message.Spoiled(), c.spoiled);
  }
}
