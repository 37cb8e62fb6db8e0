// The desktop client's system parts and nothing of its own: a main window with
// a tab control and a status bar (common controls), a tray icon (shell), one
// socket in asynchronous-select mode, a version-resource query and a 100 ms
// window timer. The footprint benchmark measures the client against it, so the
// gap is what the client's own code adds.
#include <winsock2.h>
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "footprint_system_parts.h"

namespace {

const UINT kSocketMessage = WM_APP + 1;
const UINT kTrayMessage = WM_APP + 2;
const UINT_PTR kStatusTimer = 1;
const UINT kStatusInterval = 100;
const int kTabCount = 4;
const UINT kTrayIconId = 1;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateMainWindow(HINSTANCE instance)
{
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "FootprintMinimalDesktop";
  if (!RegisterClassA(&windowClass))
    return nullptr;
  return CreateWindowExA(0, windowClass.lpszClassName, "footprint_minimal_desktop", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                         CW_USEDEFAULT, 480, 400, nullptr, nullptr, instance, nullptr);
}

bool AddCommonControls(HWND window, HINSTANCE instance)
{
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TAB_CLASSES | ICC_BAR_CLASSES};
  if (!InitCommonControlsEx(&controls))
    return false;
  HWND tabs = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 480, 340, window,
                              nullptr, instance, nullptr);
  HWND status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, window,
                                nullptr, instance, nullptr);
  if (!tabs || !status)
    return false;
  char caption[] = "Tab";
  for (int i = 0; i < kTabCount; ++i) {
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption;
    SendMessageA(tabs, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
  return true;
}

NOTIFYICONDATAA TrayIconData(HWND window)
{
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = kTrayIconId;
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = kTrayMessage;
  data.hIcon = LoadIconA(nullptr, IDI_APPLICATION);
  lstrcpynA(data.szTip, "footprint_minimal_desktop", sizeof data.szTip);
  return data;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
  if (!QueryOwnVersionResource())
    return 1;
  HWND window = CreateMainWindow(instance);
  if (!window || !AddCommonControls(window, instance))
    return 1;
  ShowWindow(window, SW_SHOWNORMAL);
  UpdateWindow(window);
  // Without a taskbar (Wine's null driver) the icon is refused, as the
  // client's is; the shell's parts are loaded all the same.
  NOTIFYICONDATAA tray = TrayIconData(window);
  Shell_NotifyIconA(NIM_ADD, &tray);
  SOCKET handle = OpenAsyncSocket(window, kSocketMessage);
  if (handle == INVALID_SOCKET || !SetTimer(window, kStatusTimer, kStatusInterval, nullptr))
    return 1;

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  Shell_NotifyIconA(NIM_DELETE, &tray);
  closesocket(handle);
  WSACleanup();
  return static_cast<int>(message.wParam);
}
