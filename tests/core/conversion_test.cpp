#include <gtest/gtest.h>

#include "core/korvalind_functions.h"
#include "platform/ini_file.h"

namespace {

// The reply code converts with TextToIntOrOne, the ini file with the
// platform's TryTextToInt; both stand for the one platform conversion and
// must agree on every text.
TEST(ConversionTest, TextToIntOrOneAgreesWithThePlatformConversion)
{
  for (const char* text : {"0", "1800", " 42", "  -7", "+3", "-", "+", "12a", "12 ", "0x10", "2147483647",
                           "2147483648", "-2147483648", "-2147483649", "99999999999", "\t5", "1.5", "00012"}) {
    int platform = 0;
    const bool converts = TryTextToInt(text, platform);
    if (converts)
      EXPECT_EQ(platform, TextToIntOrOne(text)) << "'" << text << "'";
    else
      EXPECT_THROW(TextToIntOrOne(text), EConvertError) << "'" << text << "'";
  }
}

}  // namespace
