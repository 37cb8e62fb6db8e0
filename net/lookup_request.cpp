#include "net/lookup_request.h"

#include <map>
#include <mutex>

#include "net/custom_net_socket.h"
#include "net/socket_window.h"
#include "net/winsock_binding.h"
#include "platform/critical_section.h"

namespace {

struct TOrphanRegistry {
  TCriticalSection Lock;
  std::map<HWND, TLookupRequests> Windows;
};

TOrphanRegistry Orphans;

}  // namespace

void AdoptOrphanLookups(HWND Window, TLookupRequests Requests)
{
  std::lock_guard guard(Orphans.Lock);
  auto& list = Orphans.Windows[Window];
  for (auto& request : Requests)
    list.push_back(std::move(request));
}

bool HandleOrphanLookupReply(HWND Window, UINT Msg, WPARAM WParam)
{
  if (Msg != WM_SOCKET_HOST_LOOKUP && Msg != WM_SOCKET_ADDR_LOOKUP)
    return false;
  std::unique_ptr<TLookupRequest> done;
  bool last = false;
  {
    std::lock_guard guard(Orphans.Lock);
    auto window = Orphans.Windows.find(Window);
    if (window != Orphans.Windows.end()) {
      auto& list = window->second;
      for (auto it = list.begin(); it != list.end(); ++it) {
        if (reinterpret_cast<WPARAM>((*it)->Handle) == WParam) {
          done = std::move(*it);
          list.erase(it);
          break;
        }
      }
      if (done && list.empty()) {
        Orphans.Windows.erase(window);
        last = true;
      }
    }
  }
  if (!done)
    return false;
  done.reset();
  if (last) {
    DestroySocketWindow(Window);
    if (SocketWindowCount() == 0)
      UnregisterSocketWindowClass();
  }
  // Each request held Winsock loaded; the last one gone may unload it.
  ReleaseWinsockUser();
  return true;
}

int PendingOrphanLookupCount()
{
  std::lock_guard guard(Orphans.Lock);
  int count = 0;
  for (const auto& [window, list] : Orphans.Windows)
    count += static_cast<int>(list.size());
  return count;
}
