// The desktop client's start-up: the single-instance guard first, then the
// client data module, the main window and the procedures module, in this
// order, and the message loop.
#include <windows.h>

#include "core/korvalind_c.h"
#include "core/korvalind_proc.h"
#include "desktop/main_form.h"
#include "desktop/single_instance.h"
#include "platform/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
  // Nothing of the program may exist before the guard has run: a second
  // instance ends inside it.
  SingleInstanceMutex();

  TApplication application;
  application.Initialize();
  // A failure that no handler caught (a settings file that cannot be
  // written, say) is shown to the user, not swallowed.
  application.OnException = [&application](TObject*, const std::exception& e) { application.ShowException(e); };
  // The data module exists, its creation handler run, before the main
  // window's creation handler starts the core.
  application.CreateForm<TKorvalindC>();
  application.CreateForm<TMainForm>();
  application.CreateForm<TKorvalindProc>();
  application.Run();
  return 0;
}
