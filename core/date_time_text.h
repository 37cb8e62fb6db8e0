#pragma once

#include <string>

#include <windows.h>

// The date in the platform's short date format and the time in its long time
// format, of now in the user default locale unless given. fullYear false
// drops the 7th and 8th characters; withSeparators false drops the dots and
// puts the year first; withColons false drops the colons.
std::string GetDateText(bool withSeparators, bool fullYear, const SYSTEMTIME* time = nullptr,
                        LCID locale = LOCALE_USER_DEFAULT);
std::string GetTimeText(bool withColons, const SYSTEMTIME* time = nullptr, LCID locale = LOCALE_USER_DEFAULT);
// GetDateText(true, true) + " " + GetTimeText(true) of one moment: the last
// detection or update as the status tab shows it.
std::string DateTimeText();

// A given moment (null: now) in the platform's short date format and in its
// long time format, for a locale.
std::string DateText(const SYSTEMTIME* time, LCID locale);
std::string TimeText(const SYSTEMTIME* time, LCID locale);

// Date and time of a given moment, as DateTimeText gives them for now.
std::string DateTimeText(const SYSTEMTIME& time, LCID locale);
