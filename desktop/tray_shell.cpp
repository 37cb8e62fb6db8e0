#include "desktop/tray_shell.h"

namespace {

TTrayShell RealTrayShell()
{
  TTrayShell shell;
  shell.NotifyIcon = [](DWORD message, NOTIFYICONDATAA* data) { return Shell_NotifyIconA(message, data); };
  shell.GetCursorPos = [](POINT* point) { return ::GetCursorPos(point); };
  shell.GetAsyncKeyState = [](int virtualKey) { return ::GetAsyncKeyState(virtualKey); };
  shell.GetDoubleClickTime = [] { return ::GetDoubleClickTime(); };
  return shell;
}

}  // namespace

TTrayShell& TrayShell()
{
  static TTrayShell shell = RealTrayShell();
  return shell;
}

void ResetTrayShell()
{
  TrayShell() = RealTrayShell();
}
