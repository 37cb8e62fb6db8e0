// Asynchronous host lookups: a name to its addresses, an address to its name.
// The answer comes as a message to the hidden window and is announced by
// OnDnsLookupDone.
#include "net/custom_net_socket.h"

#include <cstring>

#include "net/address_text.h"
#include "net/winsock_binding.h"

namespace {

// Every address of a host entry as dotted text, in the entry's order.
void CopyHostAddresses(const hostent* entry, std::vector<std::string>& list)
{
  if (entry == nullptr || entry->h_addr_list == nullptr || entry->h_length < 4)
    return;
  for (char** address = entry->h_addr_list; *address != nullptr; ++address) {
    in_addr in;
    std::memcpy(&in, *address, sizeof(in));
    list.push_back(CountedInetNtoa(in));
  }
}

}  // namespace

void TCustomNetSocket::DnsLookup(const std::string& hostName)
{
  if (hostName.empty()) {
    SignalError("DNS lookup: invalid host name.");
    NotifyDnsLookupDone(WSAEINVAL);
    return;
  }
  ForgetCurrentLookup();
  const std::string trimmed = TrimText(hostName);
  if (IsDottedQuad(trimmed)) {
    const unsigned long address = Winsock::inet_addr(trimmed.c_str());
    if (address != INADDR_NONE) {
      in_addr in;
      in.s_addr = address;
      dnsResult_ = Winsock::inet_ntoa(in);
      dnsResultList_.push_back(dnsResult_);
      NotifyDnsLookupDone(0);
      return;
    }
  }
  const bool started = StartLookup(hostName, "DnsLookup", [&](char* buffer, int size) {
    return Winsock::WSAAsyncGetHostByName(hiddenWindow_, WM_SOCKET_HOST_LOOKUP, hostName.c_str(), buffer, size);
  });
  if (started && lookupReplyEarly_) {
    lookupReplyEarly_ = false;
    HandleHostLookupDone(lookupEarlyMessage_);
  }
}

void TCustomNetSocket::ReverseDnsLookup(const std::string& hostAddr)
{
  if (hostAddr.empty() || hostAddr.size() > 256) {
    SignalError("ReverseDnsLookup: Invalid host name.");
    NotifyDnsLookupDone(WSAEINVAL);
    return;
  }
  ForgetCurrentLookup();
  const unsigned long address = Winsock::inet_addr(hostAddr.c_str());
  StartLookup(hostAddr, "ReverseDnsLookup", [&](char* buffer, int size) {
    return Winsock::WSAAsyncGetHostByAddr(hiddenWindow_, WM_SOCKET_ADDR_LOOKUP, reinterpret_cast<const char*>(&address),
                                          4, PF_INET, buffer, size);
  });
}

// The socket waits for the new lookup only. The old request stays pending
// with its own buffer (a cancel may not cancel), and its reply is ignored.
void TCustomNetSocket::ForgetCurrentLookup()
{
  if (lookupHandle_ != nullptr)
    Winsock::WSACancelAsyncRequest(lookupHandle_);
  lookupHandle_ = nullptr;
  dnsResult_.clear();
  dnsResultList_.clear();
}

// Winsock writes the answer into the request's buffer until the reply comes,
// so the buffer lives in the pending list, which also keeps Winsock loaded.
bool TCustomNetSocket::StartLookup(const std::string& name, const char* caller,
                                   const std::function<HANDLE(char* buffer, int size)>& makeRequest)
{
  if (hiddenWindow_ == nullptr)
    SignalError(std::string(caller) + ": Window not assigned");
  auto request = std::make_unique<TLookupRequest>();
  // A reply dispatched before the call returns its handle is kept for later.
  lookupReplyEarly_ = false;
  startingLookup_ = request.get();
  HANDLE handle = nullptr;
  try {
    handle = makeRequest(request->Buffer, TLookupRequest::kBufferSize);
  } catch (...) {
    startingLookup_ = nullptr;
    throw;
  }
  startingLookup_ = nullptr;
  if (handle == nullptr) {
    SignalErrorFmt("%s: can't start DNS lookup, error #%d", name.c_str(), Winsock::WSAGetLastError());
    return false;
  }
  request->Handle = handle;
  lookupHandle_ = handle;
  AddWinsockUser();
  lookups_.push_back(std::move(request));
  return true;
}

std::unique_ptr<TLookupRequest> TCustomNetSocket::TakeLookup(WPARAM handle)
{
  for (auto it = lookups_.begin(); it != lookups_.end(); ++it) {
    if (reinterpret_cast<WPARAM>((*it)->Handle) == handle) {
      std::unique_ptr<TLookupRequest> request = std::move(*it);
      lookups_.erase(it);
      ReleaseWinsockUser();
      return request;
    }
  }
  return nullptr;
}

// A replaced or cancelled request's buffer goes, its answer is not used.
bool TCustomNetSocket::EndCurrentLookup(const TLookupRequest& request)
{
  if (request.Handle != lookupHandle_)
    return false;
  lookupHandle_ = nullptr;
  return true;
}

void TCustomNetSocket::HandleHostLookupDone(TSocketMessage& message)
{
  std::unique_ptr<TLookupRequest> request = TakeLookup(message.WParam);
  if (!request) {
    // The reply of the request being started, before its handle is known.
    if (startingLookup_ != nullptr) {
      lookupEarlyMessage_ = message;
      lookupReplyEarly_ = true;
    }
    return;
  }
  if (!EndCurrentLookup(*request))
    return;
  std::uint16_t err = WSAGETASYNCERROR(message.LParam);
  if (err == 0) {
    CopyHostAddresses(reinterpret_cast<const hostent*>(request->Buffer), dnsResultList_);
    // Success without a single address is no answer at all.
    if (dnsResultList_.empty())
      err = WSANO_DATA;
    else
      dnsResult_ = dnsResultList_.front();
  }
  NotifyDnsLookupDone(err);
}

void TCustomNetSocket::HandleAddrLookupDone(TSocketMessage& message)
{
  std::unique_ptr<TLookupRequest> request = TakeLookup(message.WParam);
  if (!request || !EndCurrentLookup(*request))
    return;
  std::uint16_t err = WSAGETASYNCERROR(message.LParam);
  if (err == 0) {
    const auto* entry = reinterpret_cast<const hostent*>(request->Buffer);
    // Success without a name is no answer at all.
    if (entry->h_name == nullptr || entry->h_name[0] == '\0') {
      err = WSANO_DATA;
    } else {
      dnsResult_ = entry->h_name;
      dnsResultList_.clear();
      dnsResultList_.push_back(dnsResult_);
    }
  }
  NotifyDnsLookupDone(err);
}

void TCustomNetSocket::CancelLookup()
{
  if (lookupHandle_ == nullptr)
    return;
  // The request itself stays pending with its buffer until its reply (if any)
  // arrives; only the socket stops waiting for it.
  const int result = Winsock::WSACancelAsyncRequest(lookupHandle_);
  lookupHandle_ = nullptr;
  if (result != 0) {
    ReportSocketError("WSACancelAsyncRequest");
    return;
  }
  if (!destroying_)
    NotifyDnsLookupDone(WSAEINTR);
}
