#include <string>

#include <gtest/gtest.h>

namespace {

// Window texts, log lines and the wire all carry Windows-1252 bytes; the
// sources are UTF-8 and the compiler converts their literals.
TEST(CharsetTest, LiteralsAreWindows1252Bytes)
{
  const std::string text = "Prüfen";
  EXPECT_EQ(std::string("\x50\x72\xFC\x66\x65\x6E"), text);
  EXPECT_EQ(std::string("\xDC\x62\x65\x72\x70\x72\xFC\x66\x65\x6E"), std::string("Überprüfen"));
}

}  // namespace
