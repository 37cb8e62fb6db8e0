#include "core/exception_log.h"
#include "core/integer_text.h"
#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/md5.h"
#include "core/os_version_text.h"
#include "core/program_info.h"
#include "core/replace_all.h"
#include "core/request_scrambler.h"
#include "core/settings.h"
#include "net/net_socket.h"

namespace {

// Account=...&Domain=...&ec=..&ec2=..&ec3=..&DNSDiff=..&DNSProblem=..&build=..&os=..&lang=..
// Values go in as they are: the service reads them unescaped.
std::string BuildRequestBody()
{
  return "Account=" + AccountName + "&Domain=" + DomainName + "&ec=" + IntToText(UpdateErrorCount) +
         "&ec2=" + IntToText(DetectErrorCount) + "&ec3=" + IntToText(ExceptionCount) +
         "&DNSDiff=" + IntToText(DNSDiffCount) + "&DNSProblem=" + IntToText(DNSProblemCount) +
         "&build=" + ReplaceAll(GetVersionValue("FileVersion", ""), ".", "") + "&os=" + GetOSVersionText() +
         "&lang=" + RequestLanguage;
}

}  // namespace

void TKorvalindC::TimerSetIPTimer(TObject*)
{
  if (ModeName == "Daemon")
    LoadConfig();  // the service sees a configuration error cleared in the file before the gate
  TimerSetIP->SetInterval(NextTickInterval);
  if (!PassCycleGate(TCycle::Update))
    return;
  TimerDNSCheck->SetEnabled(false);
  TimerSetIP->SetInterval(NextTickInterval);
  updateExchange_->Start(UpdateServerIP, "900");
}

void TKorvalindC::SSetIPSessionConnected(TObject*, std::uint16_t ErrCode)
{
  LogMessage("Debug    ..... setIP session connected", LogDebug);
  if (ErrCode != 0) {
    // A host that refuses may be down for good: the next resolution picks
    // the update host by the new count.
    updateExchange_->FailConnect();
  } else {
    // Set before sending: a reset can end the session inside SendText.
    updateExchange_->AwaitReply();
    LoadConfig();
    std::string body = BuildRequestBody();
    if (OfflineMode) {
      LogMessage(">>>>>    activating offline mode", LogLow);
      body += "&offline=1";
    }
    // The log never shows the authentication head or the password field.
    LogMessage("Debug    setIP-Request: [" + body + "]", LogDebug);
    body += "&Passwd=" + Md5DigestToHex(Md5DigestOfText(PasswordHash));
    try {
      const std::string line = "AuthCode=" + ClientAuthCode + "&Session=" + SessionCode + "&" + body;
      SSetIP->SendText(ScrambleRequest(line) + "\n");
    } catch (const std::exception& e) {
      LogCaughtException("Alert!   setIP ROT13 Exception: ", e);
    }
  }
  SetUpdateRetryInterval();
  MessageText.clear();
}
