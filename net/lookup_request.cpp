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

void AdoptOrphanLookups(HWND window, TLookupRequests requests)
{
  std::lock_guard guard(Orphans.Lock);
  auto& list = Orphans.Windows[window];
  for (auto& request : requests)
    list.push_back(std::move(request));
}

bool HandleOrphanLookupReply(HWND window, UINT msg, WPARAM wParam)
{
  if (msg != WM_SOCKET_HOST_LOOKUP && msg != WM_SOCKET_ADDR_LOOKUP)
    return false;
  std::unique_ptr<TLookupRequest> done;
  bool last = false;
  {
    std::lock_guard guard(Orphans.Lock);
    auto found = Orphans.Windows.find(window);
    if (found != Orphans.Windows.end()) {
      auto& list = found->second;
      for (auto it = list.begin(); it != list.end(); ++it) {
        if (reinterpret_cast<WPARAM>((*it)->Handle) == wParam) {
          done = std::move(*it);
          list.erase(it);
          break;
        }
      }
      if (done && list.empty()) {
        Orphans.Windows.erase(found);
        last = true;
      }
    }
  }
  if (!done)
    return false;
  done.reset();
  if (last) {
    DestroySocketWindow(window);
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
