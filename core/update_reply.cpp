#include <string>

#include "core/address_history.h"
#include "core/address_rules.h"
#include "core/date_time_text.h"
#include "core/exception_log.h"
#include "core/integer_text.h"
#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/reply_value.h"
#include "core/settings.h"
#include "net/address_text.h"
#include "net/net_socket.h"
#include "platform/ini_file.h"

namespace {

// The update and detection intervals when the reply gives none: half an hour
// and a minute.
constexpr int DefaultUpdateInterval = 1800000;
constexpr int DefaultDetectionInterval = 60000;
// How long C1 holds both cycles back: a quarter of an hour for 99, a day for
// the other values.
constexpr unsigned QuarterHourHold = 900000;
constexpr unsigned DayHold = 86400000;
// EXIT ends the program this long after the reply.
constexpr unsigned ExitDelay = 60000;
// HI takes 1 to 299 seconds; HB counts only with all its characters.
constexpr int HeartBeatSecondsLimit = 300;
constexpr std::size_t HeartBeatTokenLength = 20;

// A key counts as present where it stands as a key: at the start of the
// reply or after a separator, followed by its colon. Its letters inside another key ("HI" in
// "HIP:") or inside a word of a message do not count.
bool Has(const std::string& reply, const std::string& key)
{
  const std::string item = key + ":";
  for (std::size_t at = reply.find(item); at != std::string::npos; at = reply.find(item, at + 1))
    if (at == 0 || IsReplySeparator(reply[at - 1]))
      return true;
  return false;
}

// The tariff and the heartbeat token are short texts.
std::string ClipToShortText(const std::string& text)
{
  return text.substr(0, ShortTextMax);
}

bool IsHeartBeatTariff(const std::string& tariff)
{
  return tariff == "HA" || tariff == "HB" || tariff == "HC";
}

// SI, MI and CI: a value of 1 to 5 characters above 1; false leaves the
// caller's default in force.
bool ReadFiveDigitSeconds(const std::string& reply, const std::string& key, int& seconds)
{
  if (!Has(reply, key))
    return false;
  const std::string value = GetReplyValue(key, reply);
  if (value.empty() || value.size() > 5)
    return false;
  seconds = TextToIntOrOne(value);
  return seconds > 1;
}

// An endpoint address from a reply stands until a later resolution, so it
// must be one a socket can reach: four parts of 0 to 255 ("1.2.3.456" would
// fail every connect), and not 0.0.0.0 in any spelling ("000.000.000.000"
// reaches the socket layer as "any address"). Otherwise the endpoint keeps
// the address it has.
bool IsUsableEndpointAddress(const std::string& text)
{
  return IsIPAddress(text) && IsDottedQuad(text) && text.find_first_not_of("0.") != std::string::npos;
}

void WriteAccountFlag(const std::string& key, bool value)
{
  TIniFile ini(ConfigFilePath());
  ini.WriteBool(AccountSection, key, value);
}

// One step per reply key, in the order the keys are applied. A step that
// throws ends the reply there; the keys before it keep their effect.

// IP: the address the service saw.
void ApplyAddress(const std::string& reply)
{
  const std::string ip = GetReplyValue("IP", reply);
  if (IsIPAddress(ip))
    ApplyReplyAddress(ip);
}

// DT: the tariff, always (empty when absent).
void ApplyTariff(const std::string& reply)
{
  TariffCode = ClipToShortText(GetReplyValue("DT", reply));
}

// SI: the update interval.
void ApplyUpdateInterval(const std::string& reply)
{
  int seconds = 0;
  SetIPInterval = DefaultUpdateInterval;
  if (ReadFiveDigitSeconds(reply, "SI", seconds))
    SetIPInterval = seconds * 1000;
}

// MI: the detection interval.
void ApplyDetectionInterval(const std::string& reply)
{
  int seconds = 0;
  MyIPInterval = DefaultDetectionInterval;
  if (ReadFiveDigitSeconds(reply, "MI", seconds))
    MyIPInterval = seconds * 1000;
}

// HI with HB: the heartbeat interval and token; the token counts only with
// its full 20 characters.
void ApplyHeartBeatOrder(TKorvalindC& core, const std::string& reply)
{
  HeartBeatToken.clear();
  if (!Has(reply, "HI"))
    return;
  const int seconds = TextToIntOrOne(GetReplyValue("HI", reply));
  if (seconds <= 0 || seconds >= HeartBeatSecondsLimit)
    return;
  core.TimerHeartBeat->SetInterval(static_cast<unsigned>(seconds) * 1000);
  HeartBeatToken = ClipToShortText(GetReplyValue("HB", reply));
  if (HeartBeatToken.size() != HeartBeatTokenLength)
    HeartBeatToken.clear();
}

// RI: the random lookups, off unless ordered.
void ApplyRandomLookupInterval(TKorvalindC& core, const std::string& reply)
{
  core.TimerDNSRandom->SetEnabled(false);
  if (!Has(reply, "RI"))
    return;
  const int seconds = TextToIntOrOne(GetReplyValue("RI", reply));
  if (seconds > 0) {
    core.TimerDNSRandom->SetInterval(SecondsToInterval(seconds));
    core.TimerDNSRandom->SetEnabled(true);
  }
}

// CI: the own-host check, off unless ordered.
void ApplyOwnHostCheckInterval(TKorvalindC& core, const std::string& reply)
{
  core.TimerDNSCheck->SetEnabled(false);
  int seconds = 0;
  if (ReadFiveDigitSeconds(reply, "CI", seconds)) {
    core.TimerDNSCheck->SetInterval(static_cast<unsigned>(seconds) * 1000);
    core.TimerDNSCheck->SetEnabled(true);
  }
}

// C1 with M1: the account's state; an empty value is no state.
void ApplyAccountState(TKorvalindC& core, const std::string& reply)
{
  if (!Has(reply, "C1"))
    return;
  const std::string state = GetReplyValue("C1", reply);
  if (state.empty())
    return;
  const int code = TextToIntOrOne(state);
  if (code == 1) {
    Deactivated = true;
    LogMessage(">>>>>    Der Account ist deaktiviert!", LogLow);
    WriteAccountFlag("DEACTIVATED", true);
  } else if (code == 3 || code == 10) {
    ConfigError = true;
    LogMessage(">>>>>    Überprüfen Sie bitte Ihre Login-Daten!", LogLow);
    WriteAccountFlag("CONFIGERROR", true);
  } else {
    // Held back for a quarter of an hour (99) or a day; the success step
    // overwrites both, so this lasts only when the reply orders an exit.
    const unsigned hold = code == 99 ? QuarterHourHold : DayHold;
    core.TimerSetIP->SetInterval(hold);
    core.TimerMyIP->SetInterval(hold);
    if (Has(reply, "M1")) {
      const std::string message = GetReplyValue("M1", reply);
      if (!message.empty())
        LogMessage(">>>>>    " + message, LogLow);
    }
  }
}

// DNS with MIP, SIP and HIP: resolve the endpoints by name, or take the
// addresses given.
void ApplyEndpointOrder(TKorvalindC& core, const std::string& reply)
{
  if (Has(reply, "DNS") && GetReplyValue("DNS", reply) == "1") {
    LogMessage("Debug    setIP says DNS-Resolving of socket IPs", LogDebug);
    core.TimerDNS->SetEnabled(true);
    return;
  }
  const struct {
    const char* key;
    std::string& address;
  } endpoints[] = {{"MIP", DetectServerIP}, {"SIP", UpdateServerIP}, {"HIP", HeartBeatServerIP}};
  for (const auto& endpoint : endpoints) {
    if (!Has(reply, endpoint.key))
      continue;
    const std::string address = GetReplyValue(endpoint.key, reply);
    if (IsUsableEndpointAddress(address))
      endpoint.address = address;
  }
}

// MESS: everything after it, line end included.
void ApplyMessage(const std::string& reply)
{
  const std::size_t mess = reply.find("MESS:");
  MessageText = mess == std::string::npos ? std::string() : reply.substr(mess + 5);
}

// SLEEP: pause the cycles.
void ApplySleepOrder(TKorvalindC& core, const std::string& reply)
{
  if (!Has(reply, "SLEEP"))
    return;
  const std::string value = GetReplyValue("SLEEP", reply);
  if (value.empty())
    return;
  LogMessage(">>>>>    Sleep for " + value + " Seconds received!", LogLow);
  // A sleep of no length must not stop the cycles for good.
  const unsigned interval = SecondsToInterval(TextToIntOrOne(value));
  if (interval > 0) {
    core.TimerSleep->SetInterval(interval);
    core.TimerSleep->SetEnabled(true);
    Sleeping = true;
  }
}

// EXIT: end the program in a minute; true when ordered.
bool ApplyExitOrder(TKorvalindC& core, const std::string& reply)
{
  core.TimerKill->SetEnabled(false);
  if (!Has(reply, "EXIT") || GetReplyValue("EXIT", reply) != "1")
    return false;
  LogMessage(">>>>>    KILL/EXIT Timer started!", LogLow);
  core.TimerKill->SetInterval(ExitDelay);
  core.TimerKill->SetEnabled(true);
  return true;
}

// The update is done: counters cleared, both cycles on the reply's
// intervals, the heartbeat on for its tariffs.
void CompleteUpdate(TKorvalindC& core)
{
  LastUpdateTime = DateTimeText();
  LogMessage(">>>>>    Update successfully done!", LogLow);
  UpdateErrorCount = 0;
  DetectErrorCount = 0;
  ExceptionCount = 0;
  DNSProblemCount = 0;
  core.TimerSetIP->SetInterval(static_cast<unsigned>(SetIPInterval));
  core.TimerSetIP->SetEnabled(true);
  core.TimerMyIP->SetInterval(static_cast<unsigned>(MyIPInterval));
  core.TimerMyIP->SetEnabled(true);
  if (IsHeartBeatTariff(TariffCode) && HeartBeatToken.size() == HeartBeatTokenLength) {
    core.TimerHeartBeat->SetEnabled(true);
    LogMessage(">>>>>    HeartBeat activ!", LogNormal);
  }
}

}  // namespace

const TExchangeTexts TKorvalindC::UpdateTexts = {
    "setIP",
    "Debug    ..... setIP data available",
    "Debug    setIP could not be done (a)",
    ">>>>>    setIP socket connect problem",
    LogHigh,
    "Debug    setIP could not be done (no reply)",
    "Debug    setIP could not be done (b)",
    "Alert!   setIP DataAvailable Exception:",
};

void TKorvalindC::SSetIPDataAvailable(TObject*, std::uint16_t ErrCode)
{
  updateExchange_->ReceiveReply(ErrCode);
}

void TKorvalindC::SSetIPSessionClosed(TObject*, std::uint16_t ErrCode)
{
  updateExchange_->EndSession(ErrCode);
}

void TKorvalindC::ProcessUpdateReply(const std::string& reply)
{
  updateExchange_->ProcessReply(reply);
}

void TKorvalindC::HandleUpdateReply(const std::string& reply)
{
  // Whatever the reply switched off and however it ended.
  struct TKeepChecking {
    TKorvalindC& core;
    ~TKeepChecking() { core.KeepOwnHostCheckWhileDeactivated(); }
  } const keepChecking{*this};
  LogMessage("Debug    setIP-Return: [" + reply.substr(0, reply.empty() ? 0 : reply.size() - 1) + "]", LogDebug);
  TimerSetIP->SetEnabled(false);
  TimerMyIP->SetEnabled(false);
  TimerDNSCheck->SetEnabled(false);
  TimerDNSRandom->SetEnabled(false);
  TimerDNS->SetEnabled(false);
  TimerSleep->SetEnabled(false);
  if (reply.compare(0, 3, "IP:") != 0) {
    LogMessage(">>>>>    Update Error!", LogHigh);
    TimerDNS->SetInterval(ResolveSoonInterval);
    updateExchange_->CountFailure();
    ArmUpdateRetry();
    return;
  }
  ApplyUpdateReply(reply);
}

// While the account is deactivated the gate stops every update, and only
// the own-host check can end that state: it must go on, on the reply's CI
// interval when the reply gave one.
void TKorvalindC::KeepOwnHostCheckWhileDeactivated()
{
  if (!Deactivated || TimerDNSCheck->Enabled())
    return;
  TimerDNSCheck->SetInterval(DeactivatedCheckInterval);
  TimerDNSCheck->SetEnabled(true);
}

void TKorvalindC::SetUpdateRetryInterval()
{
  TimerSetIP->SetInterval(UpdateRetryInterval(UpdateErrorCount));
}

// One garbled reply (a proxy's error page, a cut connection) must not silence
// the client: the next attempt follows the retry ladder, with the endpoints
// resolved anew first.
void TKorvalindC::ArmUpdateRetry()
{
  SetUpdateRetryInterval();
  TimerSetIP->SetEnabled(true);
  TimerDNS->SetInterval(ResolveSoonInterval);
  TimerDNS->SetEnabled(true);
}

void TKorvalindC::ApplyUpdateReply(const std::string& reply)
{
  TimerHeartBeat->SetEnabled(false);
  ApplyAddress(reply);                      // IP
  ApplyTariff(reply);                       // DT
  ApplyUpdateInterval(reply);               // SI
  ApplyDetectionInterval(reply);            // MI
  ApplyHeartBeatOrder(*this, reply);        // HI, HB
  ApplyRandomLookupInterval(*this, reply);  // RI
  ApplyOwnHostCheckInterval(*this, reply);  // CI
  ApplyAccountState(*this, reply);          // C1, M1
  ApplyEndpointOrder(*this, reply);         // DNS, MIP, SIP, HIP
  ApplyMessage(reply);                      // MESS:
  ApplySleepOrder(*this, reply);            // SLEEP
  if (ApplyExitOrder(*this, reply))         // EXIT: no success step
    return;
  CompleteUpdate(*this);
}
