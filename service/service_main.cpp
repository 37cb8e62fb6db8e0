#include <windows.h>

#include "platform/application.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
  TApplication application;
  application.Initialize();
  return 0;
}
