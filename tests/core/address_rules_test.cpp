#include <gtest/gtest.h>

#include "core/korvalind_functions.h"

namespace {

TEST(IsIPAddressTest, FourGroupsOfOneToThreeDigitsWithoutRangeCheck)
{
  for (const char* text : {"1.2.3.4", "300.1.1.1", "999.999.999.999", "010.001.000.255", "0.0.0.0", "127.0.0.1"})
    EXPECT_TRUE(IsIPAddress(text)) << text;
  for (const char* text : {"", "1.2.3", "1.2.3.4.5", "1.2.3.4 ", " 1.2.3.4", "1.2.3.4\r", "1.2.3.4\n", "1234.1.1.1",
                           "1..2.3", "a.b.c.d", "1.2.3.4x", "1,2,3,4"})
    EXPECT_FALSE(IsIPAddress(text)) << "'" << text << "'";
}

TEST(IsPrivateIPTest, TenAnd172Dot16To31And192Dot168Only)
{
  for (const char* text : {"10.0.0.1", "10.999.1.1", "172.16.0.1", "172.20.5.5", "172.31.255.255", "192.168.1.1"})
    EXPECT_TRUE(IsPrivateIP(text)) << text;
  for (const char* text : {"172.15.0.1", "172.32.0.1", "127.0.0.9", "169.254.1.1", "192.169.0.1", "110.0.0.1",
                           "1.10.0.0", "10.0.0.1 ", "203.0.113.7", ""})
    EXPECT_FALSE(IsPrivateIP(text)) << "'" << text << "'";
}

}  // namespace
