// The desktop client's start-up: the single-instance guard first, then the
// client data module and the procedures module, and the message loop.
#include <windows.h>

#include "core/korvalind_c.h"
#include "core/korvalind_proc.h"
#include "core/settings.h"
#include "desktop/single_instance.h"
#include "platform/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
  // Nothing of the program may exist before the guard has run: a second
  // instance ends inside it.
  SingleInstanceMutex();

  TApplication application;
  application.Initialize();
  application.CreateForm<TKorvalindC>();
  application.CreateForm<TKorvalindProc>();
  ModeName = "GUI";
  StartClient("W");
  application.Run();
  return 0;
}
