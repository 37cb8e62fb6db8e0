#pragma once

#include <string>

#include <windows.h>

// The current date in the platform's short date format and the time in its
// long time format (user default locale). fullYear false drops the 7th and
// 8th characters; withSeparators false drops the dots and puts the year
// first; withColons false drops the colons.
std::string GetDateText(bool withSeparators, bool fullYear);
std::string GetTimeText(bool withColons);
// GetDateText(true, true) + " " + GetTimeText(true) of one moment: the last
// detection or update as the status tab shows it.
std::string DateTimeText();

// A given moment (null: now) in the platform's short date format and in its
// long time format, for a locale.
std::string DateText(const SYSTEMTIME* time, LCID locale);
std::string TimeText(const SYSTEMTIME* time, LCID locale);

// Date and time of a given moment, as DateTimeText gives them for now.
std::string DateTimeText(const SYSTEMTIME& time, LCID locale);
