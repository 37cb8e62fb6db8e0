#include "core/endpoint_hosts.h"
#include "core/exception_log.h"
#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/settings.h"
#include "net/net_socket.h"
#include "platform/udp_client.h"

void TKorvalindC::TimerHeartBeatTimer(TObject*)
{
  if (!PassCycleGate(TCycle::HeartBeat))
    return;
  try {
    if (HeartBeatServerIP == "0.0.0.0") {
      LookUpHeartBeatHost();
      return;
    }
    // One datagram with the token alone; the socket sends it at once, so it
    // can be closed right after.
    SHeartBeat->AssignProto("udp");
    SHeartBeat->AssignAddr(HeartBeatServerIP);
    SHeartBeat->AssignPort("910");
    SHeartBeat->Connect();
    SHeartBeat->SendText(HeartBeatToken);
    SHeartBeat->CloseConnection();
    LogMessage("Debug    HeartBeat: [" + HeartBeatToken + "]", LogDebug);
    // The broadcast client has no host, so the announce line goes nowhere.
    UDPBroadCastClient->Send("Korvalind;" + SessionCode + ";" + HeartBeatToken);
  } catch (const std::exception& e) {
    LogCaughtException("Alert!   HeartBeatTimer Exception", e);
  }
}

namespace {

// A heartbeat host name that keeps failing costs one lookup a quarter of an
// hour.
constexpr std::chrono::minutes HeartBeatLookupInterval{15};

}  // namespace

// The endpoint tick looks the heartbeat host up only while nothing fails, and
// a reply switches that tick off: a heartbeat granted after a failed start
// would otherwise never get its address. The quarter of an hour counts
// between these lookups only, so the first comes at once.
void TKorvalindC::LookUpHeartBeatHost()
{
  const auto now = std::chrono::steady_clock::now();
  if (SHeartBeat->LookupHandle() != nullptr ||
      (heartBeatLookupAt_ && now - *heartBeatLookupAt_ < HeartBeatLookupInterval))
    return;
  heartBeatLookupAt_ = now;
  LogMessage(">>>>>    DNS Lookup heartbeat", LogHigh);
  ownHeartBeatLookup_ = true;
  StartLookup(SHeartBeat, EndpointHosts().HeartBeat, &TKorvalindC::SHeartBeatDnsLookupDone);
}
