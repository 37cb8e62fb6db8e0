#include "core/address_history.h"
#include "core/core_alerts.h"
#include "core/korvalind_c.h"
#include "core/korvalind_functions.h"
#include "core/log.h"
#include "core/reply_assembly.h"
#include "core/settings.h"
#include "net/net_socket.h"

namespace {

void LogAddressChange(const std::string& address)
{
  LogMessage(">>>>>    IP-change detected [" + CurrentIP + "] -> [" + address + "]", 10);
}

void ShiftHistory(const std::string& address)
{
  OlderIP = PreviousIP;
  PreviousIP = CurrentIP;
  CurrentIP = address;
}

void CountDetectionException(TExchangeState& exchange, const char* placeLine, const std::exception& e)
{
  LogCaughtException(placeLine, e);
  exchange.CountFailure(DetectErrorCount);
}

}  // namespace

bool ApplyDetectedAddress(const std::string& address)
{
  if (address == CurrentIP || address == PreviousIP || address == OlderIP)
    return false;
  LogAddressChange(address);
  ShiftHistory(address);
  KorvalindC->TimerSetIP->SetInterval(5000);
  return true;
}

void ApplyReplyAddress(const std::string& address)
{
  DetectedIP = address;
  LastDetectTime = DateTimeText();
  if (address == CurrentIP)
    return;
  if (address != PreviousIP && address != OlderIP)
    LogAddressChange(address);
  ShiftHistory(address);
}

void TKorvalindC::TimerMyIPTimer(TObject*)
{
  TimerMyIP->SetInterval(30000);
  if (!PassCycleGate(TCycle::Detection))
    return;
  try {
    // A reply still in pieces belongs to the session closed here: closing
    // must not make it look whole, nor count as the far side's doing.
    myIPReply_.clear();
    myIPExchange_.Begin();
    if (SMyIP->State() != wsClosed) {
      try {
        SMyIP->CloseConnection();
      } catch (const std::exception& e) {
        CountDetectionException(myIPExchange_, "Alert!   myIP socket closing Exception", e);
      }
    }
    try {
      SMyIP->AssignProto("tcp");
      SMyIP->AssignAddr(DetectServerIP);
      SMyIP->AssignPort("901");
      SMyIP->Connect();
    } catch (const std::exception& e) {
      CountDetectionException(myIPExchange_, "Alert!   myIP Exception 2", e);
    }
  } catch (const std::exception& e) {
    CountDetectionException(myIPExchange_, "Alert!   myIP Exception", e);
  }
}

void TKorvalindC::SMyIPSessionConnected(TObject*, std::uint16_t ErrCode)
{
  LogMessage("Debug    ..... myIP session connected", 40);
  if (ErrCode != 0) {
    LogMessage("Debug    myIP could not be detected (socket connect)", 40);
    myIPExchange_.CountFailure(DetectErrorCount);
    return;
  }
  // Set before sending: a reset can end the session inside SendText.
  myIPExchange_.AwaitReply();
  LogMessage("Debug    myIP socket connect", 40);
  SMyIP->SendText("AuthCode=" + ClientAuthCode + "&Session=" + SessionCode + "\r\n");
}

void TKorvalindC::SMyIPDataAvailable(TObject*, std::uint16_t ErrCode)
{
  LogMessage("Debug    ..... myIP data available", 40);
  if (ErrCode != 0) {
    LogMessage("Debug    myIP could not be detected (a)", 40);
    myIPExchange_.CountFailure(DetectErrorCount);
    return;
  }
  std::string reply;
  try {
    if (!CollectReplyBytes(*SMyIP, myIPReply_)) {
      FailDetectionWithoutReply();
      return;
    }
    if (!ReplyIsWhole(myIPReply_))
      return;  // the rest is still on its way
    reply = TakeReplyText(myIPReply_);
    myIPExchange_.Settle();
    SMyIP->CloseConnection();
  } catch (const std::exception& e) {
    CountDetectionException(myIPExchange_, "Alert!   myIP DataAvailable Exception", e);
    return;
  }
  ProcessDetectionReply(reply);
}

void TKorvalindC::SMyIPSessionClosed(TObject*, std::uint16_t ErrCode)
{
  const auto end = myIPExchange_.SessionClosed(ErrCode == 0, !myIPReply_.empty());
  if (end == TExchangeState::TEnd::WholeReply) {
    ProcessDetectionReply(TakeReplyText(myIPReply_));
    return;
  }
  myIPReply_.clear();
  if (end == TExchangeState::TEnd::Failure)
    FailDetectionWithoutReply();
}

// Nothing to read, or the session ended before the reply.
void TKorvalindC::FailDetectionWithoutReply()
{
  LogMessage("Debug    myIP could not be detected (b)", 40);
  myIPExchange_.CountFailure(DetectErrorCount);
}

void TKorvalindC::ProcessDetectionReply(const std::string& reply)
{
  try {
    HandleDetectionReply(reply);
  } catch (const std::exception& e) {
    CountDetectionException(myIPExchange_, "Alert!   myIP DataAvailable Exception", e);
  }
}

void TKorvalindC::HandleDetectionReply(const std::string& received)
{
  // The last character is the server's line end, whatever it is.
  const std::string reply = received.empty() ? received : received.substr(0, received.size() - 1);
  if (reply.size() < 7 || reply.size() > 17) {
    LogMessage("Debug    myIP could not be detected (c)", 40);
    myIPExchange_.CountFailure(DetectErrorCount);
    return;
  }
  if (!IsIPAddress(reply)) {
    LogMessage("Debug    myIP could not be detected (d)", 40);
    myIPExchange_.CountFailure(DetectErrorCount);
    return;
  }
  DetectedIP = reply;
  LastDetectTime = DateTimeText();
  LogMessage(">>>>>    myIP detected [" + DetectedIP + "]", 30);
  if (ApplyDetectedAddress(DetectedIP))
    return;  // the update comes early; detection retries in 30 s
  TimerMyIP->SetEnabled(false);
  TimerMyIP->SetInterval(static_cast<unsigned>(MyIPInterval));
  TimerMyIP->SetEnabled(true);
}
