#include "service/stop_client.h"

#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/settings.h"

void StopClient()
{
  LogMessage(">>>>>", LogLow);
  LogMessage(">>>>>  " + IdentText + " terminated.", LogLow);
  LogMessage(">>>>>", LogLow);
  if (KorvalindC == nullptr)
    return;
  KorvalindC->TimerMyIP->SetEnabled(false);
  KorvalindC->TimerSetIP->SetEnabled(false);
  KorvalindC->TimerHeartBeat->SetEnabled(false);
}
