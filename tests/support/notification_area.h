#pragma once

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

// The runs on a display set KORVALIND_NOTIFICATION_AREA=required: there Wine's
// notification area answers, so a shell request it refuses is a fault, not a
// missing shell.
inline bool NotificationAreaRequired()
{
  const char* value = std::getenv("KORVALIND_NOTIFICATION_AREA");
  return value != nullptr && std::string(value) == "required";
}

// Skips the test where no notification area answers, fails it where one must.
#define SKIP_OR_FAIL_WITHOUT_NOTIFICATION_AREA()                        \
  do {                                                                  \
    if (NotificationAreaRequired())                                     \
      FAIL() << "the notification area of this display did not answer"; \
    GTEST_SKIP() << "no notification area on this display";             \
  } while (false)
