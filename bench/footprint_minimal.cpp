// The least a Win32 program can do and still live as the two clients do: one
// hidden window, a 100 ms window timer and a message loop. Whatever Wine costs
// such a program is the floor the footprint benchmark measures the clients
// against.
#include <windows.h>

namespace {

LRESULT CALLBACK MinimalWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = MinimalWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "FootprintMinimal";
  if (!RegisterClassA(&windowClass))
    return 1;
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "footprint_minimal", WS_OVERLAPPEDWINDOW, 0, 0, 0, 0,
                                nullptr, nullptr, instance, nullptr);
  if (!window || !SetTimer(window, 1, 100, nullptr))
    return 1;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0)
    DispatchMessageA(&message);
  return static_cast<int>(message.wParam);
}
