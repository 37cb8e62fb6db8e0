#include "core/exception_log.h"

#include "core/log.h"
#include "core/settings.h"

void LogCaughtException(const std::string& placeLine, const std::exception& e)
{
  LogMessage(placeLine, LogNormal);
  LogMessage(std::string("Alert!   ") + e.what(), LogHigh);
  ++ExceptionCount;
}
