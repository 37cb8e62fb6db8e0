#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "core/integer_text.h"
#include "platform/text_to_int.h"

namespace {

TEST(IntToTextTest, DecimalWithSignAndNoPadding)
{
  EXPECT_EQ("0", IntToText(0));
  EXPECT_EQ("1800", IntToText(1800));
  EXPECT_EQ("-1", IntToText(-1));
  EXPECT_EQ("2147483647", IntToText(INT32_MAX));
  EXPECT_EQ("-2147483648", IntToText(INT32_MIN));
}

TEST(TextToIntOrOneTest, EmptyGivesOneAndNumbersConvert)
{
  EXPECT_EQ(1, TextToIntOrOne(""));
  EXPECT_EQ(0, TextToIntOrOne("0"));
  EXPECT_EQ(1800, TextToIntOrOne("1800"));
  EXPECT_EQ(-5, TextToIntOrOne("  -5"));
  EXPECT_EQ(7, TextToIntOrOne("+7"));
  EXPECT_EQ(INT32_MIN, TextToIntOrOne("-2147483648"));
}

TEST(TextToIntOrOneTest, OtherTextThrowsTheConversionError)
{
  try {
    TextToIntOrOne("12a");
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ("'12a' ist kein g\xFCltiger Integerwert", e.Message());
  }
  for (const char* text : {"12 ", " ", "-", "0x10", "2147483648", "1e3", "12\r\n"})
    EXPECT_THROW(TextToIntOrOne(text), EConvertError) << "'" << text << "'";
}

}  // namespace
