// A console host for the client core: runs it the way the service does
// (daemon mode, mode letter "D"), without the service control manager. The
// demo job and manual tests use it; the core writes its log beside this program.
#include <cstdio>

#include "core/korvalind_c.h"
#include "core/korvalind_proc.h"
#include "core/settings.h"
#include "platform/application.h"

int main()
{
  TApplication application;
  application.Title = "korvalind_host";
  application.Initialize();
  application.CreateForm<TKorvalindC>();
  application.CreateForm<TKorvalindProc>();
  DaemonMode = true;
  ModeName = "Daemon";
  StartClient("D");
  application.Run();
  return 0;
}
