// The service's system parts and nothing of its own: a process that the
// service control manager starts, laid out in threads as the service is (the
// control dispatcher on a thread of its own, a service thread that waits for
// the stop request), with a hidden window, one socket in asynchronous-select
// mode, a version-resource query and a window timer on the main thread. The
// timer ticks every 15 s, the service's most frequent tick when idle. The
// footprint benchmark measures the service against it, so the gap is what the
// service's own code adds.
#include <winsock2.h>
#include <windows.h>

#include <atomic>

#include "footprint_system_parts.h"

namespace {

char kServiceName[] = "FootprintMinimalService";
const UINT kSocketMessage = WM_APP + 1;
const UINT kControlMessage = WM_APP + 2;
const UINT_PTR kIdleTimer = 1;
const UINT kIdleInterval = 15000;
const DWORD kWaitHint = 5000;

DWORD mainThreadId = 0;
// Written by the service thread, read by the control handler on the
// dispatcher thread.
std::atomic<DWORD> serviceThreadId = 0;
SERVICE_STATUS_HANDLE statusHandle = nullptr;

void ReportStatus(DWORD state)
{
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
  status.dwWaitHint = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ? kWaitHint : 0;
  SetServiceStatus(statusHandle, &status);
}

void WINAPI ControlHandler(DWORD code)
{
  if (code == SERVICE_CONTROL_STOP || code == SERVICE_CONTROL_SHUTDOWN)
    PostThreadMessageA(serviceThreadId, kControlMessage, code, 0);
}

DWORD WINAPI ServiceThread(void*)
{
  // A thread has a message queue only once it asks for a message.
  MSG message;
  PeekMessageA(&message, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  serviceThreadId = GetCurrentThreadId();
  ReportStatus(SERVICE_RUNNING);
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.hwnd == nullptr && message.message == kControlMessage)
      break;
    DispatchMessageA(&message);
  }
  ReportStatus(SERVICE_STOP_PENDING);
  return 0;
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
  statusHandle = RegisterServiceCtrlHandlerA(kServiceName, ControlHandler);
  if (statusHandle == nullptr)
    return;
  ReportStatus(SERVICE_START_PENDING);
  HANDLE thread = CreateThread(nullptr, 0, ServiceThread, nullptr, 0, nullptr);
  if (thread != nullptr) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  ReportStatus(SERVICE_STOPPED);
}

DWORD WINAPI DispatcherThread(void*)
{
  SERVICE_TABLE_ENTRYA table[] = {{kServiceName, ServiceMain}, {nullptr, nullptr}};
  StartServiceCtrlDispatcherA(table);
  PostThreadMessageA(mainThreadId, WM_QUIT, 0, 0);
  return 0;
}

LRESULT CALLBACK HiddenWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateHiddenWindow(HINSTANCE instance)
{
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = HiddenWindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "FootprintMinimalService";
  if (!RegisterClassA(&windowClass))
    return nullptr;
  return CreateWindowExA(WS_EX_TOOLWINDOW, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                         instance, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
  if (!QueryOwnVersionResource())
    return 1;
  mainThreadId = GetCurrentThreadId();
  HWND window = CreateHiddenWindow(instance);
  if (!window)
    return 1;
  SOCKET handle = OpenAsyncSocket(window, kSocketMessage);
  if (handle == INVALID_SOCKET || !SetTimer(window, kIdleTimer, kIdleInterval, nullptr))
    return 1;
  HANDLE dispatcher = CreateThread(nullptr, 0, DispatcherThread, nullptr, 0, nullptr);
  if (dispatcher == nullptr)
    return 1;

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0)
    DispatchMessageA(&message);
  WaitForSingleObject(dispatcher, INFINITE);
  CloseHandle(dispatcher);
  closesocket(handle);
  WSACleanup();
  return 0;
}
