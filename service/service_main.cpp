#include <windows.h>

#include "core/korvalind_c.h"
#include "core/korvalind_proc.h"
#include "platform/service/service_application.h"
#include "service/korvalind_daemon.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
  TServiceApplication application;
  application.Initialize();
  application.CreateForm<TKorvalindDaemon>();
  // Created on the main thread, which owns the core's timers and sockets:
  // the endpoint lookups start with the message loop, before the service is
  // started.
  application.CreateForm<TKorvalindC>();
  application.CreateForm<TKorvalindProc>();
  application.Run();
  return application.ExitCode();
}
