#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/settings.h"

// These only log and count (once per attempt, whatever else reported its
// failure); the next tick of the cycle closes and reconnects the socket, and
// a background exception aborts it (CanClose stays True).

void TKorvalindC::SMyIPError(TObject*)
{
  LogMessage("Alert!   myIP-Error", 20);
  RequestEndpointResolution();
  detectionExchange_->CountFailure();
}

void TKorvalindC::SSetIPError(TObject*)
{
  LogMessage("Alert!   setIP-Error", 20);
  RequestEndpointResolution();
  updateExchange_->CountFailure();
}

void TKorvalindC::SMyIPBgException(TObject*, Exception&, bool& CanClose)
{
  LogMessage("Alert!   myIP-BG-Error", 20);
  detectionExchange_->CountFailure();
  CanClose = true;
}

void TKorvalindC::SSetIPBgException(TObject*, Exception&, bool& CanClose)
{
  LogMessage("Alert!   setIP-BG-Error", 20);
  RequestEndpointResolution();
  updateExchange_->CountFailure();
  CanClose = true;
}

void TKorvalindC::SHeartBeatBgException(TObject*, Exception&, bool& CanClose)
{
  LogMessage("Alert!   HeartBeat-BG-Error", 20);
  CanClose = true;
}

void TKorvalindC::SHeartBeatError(TObject*)
{
  LogMessage("Alert!   HeartBeat-Error", 20);
}

void TKorvalindC::SMyIPSocksError(TObject*, int, const std::string& Msg)
{
  LogMessage("Alert!   myIP-Socket-Error", 20);
  LogMessage("Alert!   " + Msg, 30);
  RequestEndpointResolution();
  detectionExchange_->CountFailure();
}

void TKorvalindC::SSetIPSocksError(TObject*, int, const std::string& Msg)
{
  LogMessage("Alert!   setIP-Socket-Error", 20);
  LogMessage("Alert!   " + Msg, 30);
  RequestEndpointResolution();
  updateExchange_->CountFailure();
}
