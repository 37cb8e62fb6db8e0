#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/settings.h"

// These only log and count (once per attempt, whatever else reported its
// failure); the next tick of the cycle closes and reconnects the socket, and
// a background exception aborts it (CanClose stays True).

void TKorvalindC::SMyIPError(TObject*)
{
  LogMessage("Alert!   myIP-Error", LogNormal);
  RequestEndpointResolution();
  detectionExchange_->CountFailure();
}

void TKorvalindC::SSetIPError(TObject*)
{
  LogMessage("Alert!   setIP-Error", LogNormal);
  RequestEndpointResolution();
  updateExchange_->CountFailure();
}

void TKorvalindC::SMyIPBgException(TObject*, Exception&, bool& CanClose)
{
  LogMessage("Alert!   myIP-BG-Error", LogNormal);
  detectionExchange_->CountFailure();
  CanClose = true;
}

void TKorvalindC::SSetIPBgException(TObject*, Exception&, bool& CanClose)
{
  LogMessage("Alert!   setIP-BG-Error", LogNormal);
  RequestEndpointResolution();
  updateExchange_->CountFailure();
  CanClose = true;
}

void TKorvalindC::SHeartBeatBgException(TObject*, Exception&, bool& CanClose)
{
  LogMessage("Alert!   HeartBeat-BG-Error", LogNormal);
  CanClose = true;
}

void TKorvalindC::SHeartBeatError(TObject*)
{
  LogMessage("Alert!   HeartBeat-Error", LogNormal);
}

void TKorvalindC::SMyIPSocksError(TObject*, int, const std::string& Msg)
{
  LogMessage("Alert!   myIP-Socket-Error", LogNormal);
  LogMessage("Alert!   " + Msg, LogHigh);
  RequestEndpointResolution();
  detectionExchange_->CountFailure();
}

void TKorvalindC::SSetIPSocksError(TObject*, int, const std::string& Msg)
{
  LogMessage("Alert!   setIP-Socket-Error", LogNormal);
  LogMessage("Alert!   " + Msg, LogHigh);
  RequestEndpointResolution();
  updateExchange_->CountFailure();
}
