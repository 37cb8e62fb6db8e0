#include "core/exception_log.h"

#include "core/log.h"
#include "core/settings.h"

std::string ExceptionMessage(const std::exception& e)
{
  return e.what();
}

void LogCaughtException(const std::string& placeLine, const std::exception& e)
{
  LogMessage(placeLine, 20);
  LogMessage("Alert!   " + ExceptionMessage(e), 30);
  ++ExceptionCount;
}
