#include <gtest/gtest.h>

#include <string>

#include "net/address_text.h"
#include "net/winsock_error_text.h"
#include "platform/ascii_text.h"

TEST(AddressText, DottedQuadTable)
{
  struct {
    const char* text;
    bool expected;
  } cases[] = {
      {"0.0.0.0", true},
      {"127.0.0.1", true},
      {"255.255.255.255", true},
      {"010.1.1.1", true},
      {"  1.2.3.4  ", true},
      {"1.2.3.4 ", true},
      {"256.1.1.1", false},
      {"1.2.3.256", false},
      {"1..2.3", false},
      {".1.2.3", false},
      {"1.2.3.4x", false},
      {"1.2.3", false},
      {"1.2.3.4.5", false},
      {"1.2.3.", false},
      {"", false},
      {"   ", false},
      {"1.2.3.4 x", false},
      {"a.b.c.d", false},
      // Parts that would wrap round to a small number in 32 bits.
      {"4294967297.0.0.1", false},
      {"1.2.3.4294967297", false},
      {"1.2.3.99999999999999999999999", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(IsDottedQuad(c.text), c.expected) << '"' << c.text << '"';
}

TEST(AddressText, ParseDecimalTable)
{
  struct {
    const char* text;
    std::uint32_t expected;
  } cases[] = {
      {"900", 900},
      {"  901", 901},
      {"70000", 70000},
      {"12ab", 12},
      {"", 0},
      {"   ", 0},
      {"x1", 0},
      {"-5", 0},
      {"\t5", 0},
      {"4294967295", 4294967295u},
      // Saturates instead of overflowing.
      {"4294967296", 4294967295u},
      {"99999999999999999999", 4294967295u},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ParseDecimal(c.text), c.expected) << '"' << c.text << '"';
}

TEST(AddressText, TrimRemovesBlanksAndControlCharactersLowerTextOnlyLetters)
{
  EXPECT_EQ(TrimText("  900 "), "900");
  EXPECT_EQ(TrimText("\t\r\nudp\r\n"), "udp");
  EXPECT_EQ(TrimText("   "), "");
  EXPECT_EQ(TrimText("a b"), "a b");
  EXPECT_EQ(LowerAscii("RAW_Icmp 4A\xC4"), "raw_icmp 4a\xC4");
}

TEST(WinsockErrorText, KnownAndUnknownCodes)
{
  struct {
    int code;
    const char* text;
  } cases[] = {
      {0, "No Error"},
      {10035, "Operation would block"},
      {10054, "Connection reset by peer"},
      {10057, "Socket is not connected"},
      {10059, "Too many references: can't splice"},
      {10061, "Connection refused"},
      {10093, "WinSock not initialized"},
      {11001, "Host not found"},
      {11004, "No Data"},
      {10072, "Not a WinSock error"},
      {-1, "Not a WinSock error"},
      {11005, "Not a WinSock error"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WinsockErrorText(c.code), c.text) << c.code;
}
