#include "core/integer_text.h"

#include "platform/text_to_int.h"

std::string IntToText(std::int32_t value)
{
  return std::to_string(value);
}

std::int32_t TextToIntOrOne(const std::string& text)
{
  if (text.empty())
    return 1;
  int value = 0;
  if (!TryTextToInt(text, value))
    throw EConvertError("'" + text + "' ist kein g\xFCltiger Integerwert");
  return value;
}
