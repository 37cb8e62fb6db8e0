#include "core/address_history.h"
#include "core/address_rules.h"
#include "core/date_time_text.h"
#include "core/exception_log.h"
#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/settings.h"
#include "net/net_socket.h"

namespace {

// The failed detections that ask for a resolution: the third, then every
// thirtieth after it (about a quarter of an hour at the one-minute interval).
constexpr int DetectionFailuresBeforeResolution = 3;
constexpr int DetectionFailuresBetweenResolutions = 30;

}  // namespace

const TExchangeTexts TKorvalindC::DetectionTexts = {
    "myIP",
    "Debug    ..... myIP data available",
    "Debug    myIP could not be detected (a)",
    "Debug    myIP could not be detected (socket connect)",
    LogDebug,
    "Debug    myIP could not be detected (no reply)",
    "Debug    myIP could not be detected (b)",
    "Alert!   myIP DataAvailable Exception",
};

void TKorvalindC::ResolveAfterDetectionFailures()
{
  const int beyond = DetectErrorCount - DetectionFailuresBeforeResolution;
  if (beyond >= 0 && beyond % DetectionFailuresBetweenResolutions == 0)
    RequestEndpointResolution();
}

void TKorvalindC::TimerMyIPTimer(TObject*)
{
  TimerMyIP->SetInterval(NextTickInterval);
  if (!PassCycleGate(TCycle::Detection))
    return;
  detectionExchange_->Start(DetectServerIP, "901");
}

void TKorvalindC::SMyIPSessionConnected(TObject*, std::uint16_t ErrCode)
{
  LogMessage("Debug    ..... myIP session connected", LogDebug);
  if (ErrCode != 0) {
    detectionExchange_->FailConnect();
    return;
  }
  // Set before sending: a reset can end the session inside SendText.
  detectionExchange_->AwaitReply();
  LogMessage("Debug    myIP socket connect", LogDebug);
  SMyIP->SendText("AuthCode=" + ClientAuthCode + "&Session=" + SessionCode + "\r\n");
}

void TKorvalindC::SMyIPDataAvailable(TObject*, std::uint16_t ErrCode)
{
  detectionExchange_->ReceiveReply(ErrCode);
}

void TKorvalindC::SMyIPSessionClosed(TObject*, std::uint16_t ErrCode)
{
  detectionExchange_->EndSession(ErrCode);
}

void TKorvalindC::ProcessDetectionReply(const std::string& reply)
{
  detectionExchange_->ProcessReply(reply);
}

void TKorvalindC::HandleDetectionReply(const std::string& received)
{
  // The last character is the server's line end, whatever it is.
  const std::string reply = received.empty() ? received : received.substr(0, received.size() - 1);
  if (reply.size() < 7 || reply.size() > 17) {
    LogMessage("Debug    myIP could not be detected (c)", LogDebug);
    detectionExchange_->CountFailure();
    return;
  }
  if (!IsIPAddress(reply)) {
    LogMessage("Debug    myIP could not be detected (d)", LogDebug);
    detectionExchange_->CountFailure();
    return;
  }
  DetectedIP = reply;
  LastDetectTime = DateTimeText();
  LogMessage(">>>>>    myIP detected [" + DetectedIP + "]", LogHigh);
  if (ApplyDetectedAddress(DetectedIP))
    return;  // the update comes early; detection tries again on NextTickInterval
  TimerMyIP->SetEnabled(false);
  TimerMyIP->SetInterval(static_cast<unsigned>(MyIPInterval));
  TimerMyIP->SetEnabled(true);
}
