#include "core/date_time_text.h"

namespace {

std::string RemoveAll(std::string text, char c)
{
  std::erase(text, c);
  return text;
}

}  // namespace

std::string DateText(const SYSTEMTIME* time, LCID locale)
{
  char buffer[128];
  const int length = GetDateFormatA(locale, DATE_SHORTDATE, time, nullptr, buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, static_cast<std::size_t>(length - 1)) : std::string();
}

std::string TimeText(const SYSTEMTIME* time, LCID locale)
{
  char buffer[128];
  const int length = GetTimeFormatA(locale, 0, time, nullptr, buffer, sizeof buffer);
  return length > 0 ? std::string(buffer, static_cast<std::size_t>(length - 1)) : std::string();
}

std::string DateTimeText(const SYSTEMTIME& time, LCID locale)
{
  return DateText(&time, locale) + " " + TimeText(&time, locale);
}

std::string GetDateText(bool withSeparators, bool fullYear, const SYSTEMTIME* time, LCID locale)
{
  std::string date = DateText(time, locale);
  if (!fullYear && date.size() >= 8)
    date.erase(6, 2);
  if (!withSeparators) {
    date = RemoveAll(date, '.');
    if (date.size() == 8)
      date = date.substr(4, 4) + date.substr(2, 2) + date.substr(0, 2);
    else if (date.size() == 6)
      date = date.substr(4, 2) + date.substr(2, 2) + date.substr(0, 2);
  }
  return date;
}

std::string GetTimeText(bool withColons, const SYSTEMTIME* time, LCID locale)
{
  const std::string text = TimeText(time, locale);
  return withColons ? text : RemoveAll(text, ':');
}

std::string DateTimeText()
{
  // One reading of the clock, so date and time agree across midnight.
  SYSTEMTIME now;
  GetLocalTime(&now);
  return DateTimeText(now, LOCALE_USER_DEFAULT);
}
