#include <cstdlib>

#include "core/address_rules.h"
#include "core/endpoint_hosts.h"
#include "core/exception_log.h"
#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/random_source.h"
#include "core/settings.h"
#include "net/net_socket.h"

namespace {

// The first address of a lookup that succeeded, or empty: a lookup that
// reports success without any address counts as failed, and so does the
// answer 0.0.0.0, which some DNS filters give for a name they block.
std::string FirstAddress(TNetSocket* socket, std::uint16_t errCode)
{
  if (errCode != 0 || socket->DnsResultList().empty() || socket->DnsResultList().front() == "0.0.0.0")
    return {};
  return socket->DnsResultList().front();
}

// The endpoints are looked up again in an hour, or after a failed lookup in a
// minute.
constexpr unsigned ResolvedRefreshInterval = 3600000;
constexpr unsigned FailedLookupRetryInterval = 60000;

// The error code a lookup that never started is handled with.
constexpr std::uint16_t LookupNotStarted = 0xFFFF;

void ScheduleNextResolution(TTimer* timerDNS, bool succeeded)
{
  timerDNS->SetInterval(succeeded ? ResolvedRefreshInterval : FailedLookupRetryInterval);
  timerDNS->SetEnabled(true);
}

}  // namespace

void TKorvalindC::TimerTimerDNS(TObject*)
{
  LogMessage("Debug    ..... DNS ", LogDebug);
  TimerDNS->SetEnabled(false);
  // A lookup that cannot start reports itself through the socket's error
  // handler, which would ask for this tick again within a second, for ever.
  resolvingEndpoints_ = true;
  struct TResolving {
    bool& flag;
    ~TResolving() { flag = false; }
  } const resolving{resolvingEndpoints_};
  try {
    // The heartbeat endpoint is resolved only while the cycles are healthy.
    if (UpdateErrorCount == 0 && DetectErrorCount == 0) {
      LogMessage(">>>>>    DNS Lookup heartbeat", LogHigh);
      // Replaces a lookup the heartbeat tick started; this one sets the timer.
      ownHeartBeatLookup_ = false;
      StartLookup(SHeartBeat, EndpointHosts().HeartBeat, &TKorvalindC::SHeartBeatDnsLookupDone);
    }
    const int host = UpdateHostNumber(UpdateErrorCount);
    LogMessage(host == 1 ? ">>>>>    DNS Lookup setIP" : ">>>>>    DNS Lookup setIP" + std::to_string(host), LogHigh);
    StartLookup(SSetIP, EndpointHosts().Update[host - 1], &TKorvalindC::SSetIPDnsLookupDone);
    LogMessage(">>>>>    DNS Lookup myIP", LogHigh);
    StartLookup(SMyIP, EndpointHosts().Detect, &TKorvalindC::SMyIPDnsLookupDone);
  } catch (const std::exception& e) {
    LogCaughtException("Alert!   DNSTimer Exception", e);
  }
  // Only a lookup-done event re-arms this timer: when no lookup started at
  // all, none comes, and the endpoints would never be resolved again.
  if (!TimerDNS->Enabled() && !EndpointLookupPending())
    ScheduleNextResolution(TimerDNS, false);
}

bool TKorvalindC::EndpointLookupPending() const
{
  // The heartbeat tick's own lookup re-arms nothing.
  return (SHeartBeat->LookupHandle() != nullptr && !ownHeartBeatLookup_) || SSetIP->LookupHandle() != nullptr ||
         SMyIP->LookupHandle() != nullptr;
}

// A lookup the system gives no handle for is reported through the socket's
// error handler only, and no lookup-done event follows: without this the
// endpoint would get no fallback address and the lookups no next run.
void TKorvalindC::StartLookup(TNetSocket* socket, const std::string& host,
                              void (TKorvalindC::*done)(TObject*, std::uint16_t))
{
  const unsigned doneBefore = lookupsDone_;
  socket->DnsLookup(host);
  if (socket->LookupHandle() == nullptr && lookupsDone_ == doneBefore)
    (this->*done)(socket, LookupNotStarted);
}

void TKorvalindC::RequestEndpointResolution()
{
  if (resolvingEndpoints_)
    return;
  // The interval alone would not do: after a reply without a resolution
  // order the timer is off, and the client would stay with a dead host.
  TimerDNS->SetInterval(ResolveSoonInterval);
  TimerDNS->SetEnabled(true);
}

// The update and detection endpoints are never left without an address: a
// failed lookup draws one of the first `drawn` fallback addresses.
void TKorvalindC::StoreLookupResult(TNetSocket* socket, std::uint16_t errCode, const char* name,
                                    const std::string* fallbacks, int drawn, std::string& endpoint)
{
  const std::string address = FirstAddress(socket, errCode);
  if (address.empty()) {
    ++DNSProblemCount;
    endpoint = fallbacks[RandomBelow(drawn)];
    LogMessage(std::string(">>>>>    DNS Lookup fail (") + name + ")! Using: " + endpoint, LogNormal);
  } else {
    DNSProblemCount = 0;
    endpoint = address;
    LogMessage(std::string(">>>>>    DNS Lookup success (") + name + ")! [" + address + "]", LogNormal);
  }
  ScheduleNextResolution(TimerDNS, !address.empty());
}

void TKorvalindC::SMyIPDnsLookupDone(TObject*, std::uint16_t ErrCode)
{
  ++lookupsDone_;
  LogMessage("Debug    ..... myIP DNS lookup done", LogDebug);
  StoreLookupResult(SMyIP, ErrCode, "MyIP", DetectFallbackIPs, 2, DetectServerIP);
}

void TKorvalindC::SSetIPDnsLookupDone(TObject*, std::uint16_t ErrCode)
{
  ++lookupsDone_;
  LogMessage("Debug    ..... setIP DNS lookup done", LogDebug);
  StoreLookupResult(SSetIP, ErrCode, "SetIP", UpdateFallbackIPs, 4, UpdateServerIP);
}

void TKorvalindC::SHeartBeatDnsLookupDone(TObject*, std::uint16_t ErrCode)
{
  ++lookupsDone_;
  const bool own = ownHeartBeatLookup_;
  ownHeartBeatLookup_ = false;
  LogMessage("Debug    ..... HeatBeat DNS lookup done", LogDebug);
  const std::string address = FirstAddress(SHeartBeat, ErrCode);
  if (address.empty()) {
    ++DNSProblemCount;
    LogMessage(">>>>>    DNS Lookup fail (HeartBeat)!", LogNormal);
    // No fallback list: keep a usable older address, else stay idle.
    if (!IsIPAddress(HeartBeatServerIP))
      HeartBeatServerIP = "0.0.0.0";
  } else {
    DNSProblemCount = 0;
    HeartBeatServerIP = address;
    LogMessage(">>>>>    DNS Lookup success (HeartBeat)! [" + address + "]", LogNormal);
  }
  // The heartbeat tick's own lookup is no endpoint resolution: the next one
  // stays as it was.
  if (!own)
    ScheduleNextResolution(TimerDNS, !address.empty());
}
