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
