#include "net/socket_window.h"

#include <mutex>

#include "net/custom_net_socket.h"
#include "net/lookup_request.h"
#include "platform/critical_section.h"
#include "platform/window_class.h"

namespace {

const char* const kClassName = "XSocketWindowClass";

struct TWindowClassState {
  TCriticalSection Lock;
  WNDCLASSA Record{};
  int WindowCount = 0;
};

TWindowClassState ClassState;

HINSTANCE ModuleInstance()
{
  return GetModuleHandleA(nullptr);
}

}  // namespace

HWND CreateSocketWindow(TCustomNetSocket* owner)
{
  {
    std::lock_guard guard(ClassState.Lock);
    ClassState.Record.style = 0;
    ClassState.Record.lpfnWndProc = SocketWindowProc;
    ClassState.Record.cbClsExtra = 0;
    // One pointer-sized slot: a 4-byte slot would cut a 64-bit socket pointer.
    ClassState.Record.cbWndExtra = sizeof(LONG_PTR);
    ClassState.Record.hInstance = ModuleInstance();
    ClassState.Record.lpszClassName = kClassName;
    if (!EnsureWindowClass(ClassState.Record))
      return nullptr;
    ++ClassState.WindowCount;
  }
  HWND window = CreateWindowExA(WS_EX_TOOLWINDOW, kClassName, "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                ModuleInstance(), nullptr);
  if (window == nullptr) {
    std::lock_guard guard(ClassState.Lock);
    --ClassState.WindowCount;
    return nullptr;
  }
  if (owner != nullptr)
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(owner));
  return window;
}

void DetachSocketWindow(HWND window)
{
  SetWindowLongPtrA(window, 0, 0);
}

bool DestroySocketWindow(HWND window)
{
  SetWindowLongPtrA(window, 0, 0);
  if (!DestroyWindow(window))
    return false;
  std::lock_guard guard(ClassState.Lock);
  --ClassState.WindowCount;
  return true;
}

void UnregisterSocketWindowClass()
{
  std::lock_guard guard(ClassState.Lock);
  if (ClassState.WindowCount == 0)
    UnregisterClassA(kClassName, ModuleInstance());
}

bool SocketWindowClassRegistered()
{
  WNDCLASSA info;
  return GetClassInfoA(ModuleInstance(), kClassName, &info) != FALSE;
}

int SocketWindowCount()
{
  std::lock_guard guard(ClassState.Lock);
  return ClassState.WindowCount;
}

LRESULT CALLBACK SocketWindowProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam)
{
  auto* socket = reinterpret_cast<TCustomNetSocket*>(GetWindowLongPtrA(window, 0));
  // Only sockets ever go into the slot of this class; 0 once released. A
  // window without a socket may still wait for lookups its socket left behind.
  if (socket == nullptr) {
    if (HandleOrphanLookupReply(window, msg, wParam))
      return 0;
    return DefWindowProcA(window, msg, wParam, lParam);
  }
  TSocketMessage message;
  message.Msg = msg;
  message.WParam = wParam;
  message.LParam = lParam;
  // HandleWindowMessage routes every exception itself; this is the last guard,
  // nothing may unwind through the system's frames.
  try {
    socket->HandleWindowMessage(message);
  } catch (...) {
    return 0;
  }
  return message.Result;
}
