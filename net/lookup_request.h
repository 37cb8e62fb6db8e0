#pragma once

#include <windows.h>

#include <memory>
#include <vector>

// One asynchronous host lookup: its request handle and the buffer into which
// Windows Sockets writes the answer. A buffer belongs to its request until the
// request's reply message has arrived, because a cancel may not cancel: the
// reply can still come, and still write into the buffer, after the socket has
// moved on to another lookup or is gone.
struct TLookupRequest {
  static constexpr int kBufferSize = 1025;  // MAXGETHOSTSTRUCT + 1

  HANDLE Handle = nullptr;
  alignas(8) char Buffer[kBufferSize] = {};
};

using TLookupRequests = std::vector<std::unique_ptr<TLookupRequest>>;

// Takes over the pending requests of a socket that is being destroyed, with its
// hidden window, which stays until the last of their replies has arrived.
void AdoptOrphanLookups(HWND window, TLookupRequests requests);
// Handles a lookup reply that reached a window without a socket; true when it
// belonged to an adopted request.
bool HandleOrphanLookupReply(HWND window, UINT msg, WPARAM wParam);
int PendingOrphanLookupCount();
