#include "core/address_history.h"

#include "core/date_time_text.h"
#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/settings.h"

namespace {

void LogAddressChange(const std::string& address)
{
  LogMessage(">>>>>    IP-change detected [" + CurrentIP + "] -> [" + address + "]", LogLow);
}

void ShiftHistory(const std::string& address)
{
  OlderIP = PreviousIP;
  PreviousIP = CurrentIP;
  CurrentIP = address;
}

}  // namespace

bool ApplyDetectedAddress(const std::string& address)
{
  if (address == CurrentIP || address == PreviousIP || address == OlderIP)
    return false;
  LogAddressChange(address);
  ShiftHistory(address);
  KorvalindC->TimerSetIP->SetInterval(EarlyUpdateInterval);
  return true;
}

void ApplyReplyAddress(const std::string& address)
{
  DetectedIP = address;
  LastDetectTime = DateTimeText();
  if (address == CurrentIP)
    return;
  if (address != PreviousIP && address != OlderIP)
    LogAddressChange(address);
  ShiftHistory(address);
}
