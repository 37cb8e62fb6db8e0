// The desktop client's start-up: the single-instance guard first, then the
// client data module, the main window and the procedures module, in this
// order, and the message loop.
#include <windows.h>

#include "core/korvalind_c.h"
#include "core/korvalind_proc.h"
#include "core/settings.h"
#include "desktop/single_instance.h"
#include "platform/application.h"
#ifdef KORVALIND_MAIN_WINDOW
#include "desktop/main_form.h"
#endif

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
  // Nothing of the program may exist before the guard has run: a second
  // instance ends inside it.
  SingleInstanceMutex();

  TApplication application;
  application.Initialize();
  // The data module exists, its creation handler run, before the main
  // window's creation handler starts the core.
  application.CreateForm<TKorvalindC>();
#ifdef KORVALIND_MAIN_WINDOW
  application.CreateForm<TMainForm>();
#else
  // Without the window the core starts as the window's creation handler
  // would start it.
  ModeName = "GUI";
  StartClient("W");
#endif
  application.CreateForm<TKorvalindProc>();
  application.Run();
  return 0;
}
