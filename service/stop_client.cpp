#include "service/stop_client.h"

#include "core/korvalind_c.h"
#include "core/log.h"

void StopClient()
{
  LogBanner("terminated.");
  if (KorvalindC == nullptr)
    return;
  KorvalindC->TimerMyIP->SetEnabled(false);
  KorvalindC->TimerSetIP->SetEnabled(false);
  KorvalindC->TimerHeartBeat->SetEnabled(false);
}
