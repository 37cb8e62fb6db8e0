#include <string>

#include "core/address_history.h"
#include "core/core_alerts.h"
#include "core/korvalind_c.h"
#include "core/korvalind_functions.h"
#include "core/log.h"
#include "core/settings.h"
#include "net/net_socket.h"
#include "platform/ini_file.h"

namespace {

// A key counts as present where it stands as a key: at the start of the
// reply or after a blank, followed by its colon. Its letters inside another
// key ("HI" in "HIP:") or inside a word of a message do not count.
bool Has(const std::string& reply, const std::string& key)
{
  const std::string item = key + ":";
  for (std::size_t at = reply.find(item); at != std::string::npos; at = reply.find(item, at + 1))
    if (at == 0 || reply[at - 1] == ' ')
      return true;
  return false;
}

std::string ShortText(const std::string& text)
{
  return text.substr(0, 255);
}

bool IsHeartBeatTariff(const std::string& tariff)
{
  return tariff == "HA" || tariff == "HB" || tariff == "HC";
}

// SI, MI and CI: a value of 1 to 5 characters above 1, else the fallback.
bool ShortSeconds(const std::string& reply, const std::string& key, int& seconds)
{
  if (!Has(reply, key))
    return false;
  const std::string value = GetReplyValue(key, reply);
  if (value.empty() || value.size() > 5)
    return false;
  seconds = TextToIntOrOne(value);
  return seconds > 1;
}

void WriteAccountFlag(const std::string& key, bool value)
{
  TIniFile ini(ConfigFilePath());
  ini.WriteBool("ACCOUNT", key, value);
}

}  // namespace

const TKorvalindC::TExchangeKind TKorvalindC::UpdateExchange = {
    "setIP",
    "Debug    ..... setIP data available",
    "Debug    setIP could not be done (a)",
    &UpdateErrorCount,
    true,
    &TKorvalindC::SSetIP,
    &TKorvalindC::setIPReply_,
    &TKorvalindC::setIPExchange_,
    &TKorvalindC::FailUpdateWithoutReply,
    &TKorvalindC::FailUpdateReply,
    &TKorvalindC::HandleUpdateReply,
};

void TKorvalindC::SSetIPDataAvailable(TObject*, std::uint16_t ErrCode)
{
  ReceiveReply(UpdateExchange, ErrCode);
}

void TKorvalindC::SSetIPSessionClosed(TObject*, std::uint16_t ErrCode)
{
  EndReplySession(UpdateExchange, ErrCode);
}

// Nothing to read, or the session ended before the reply: the next attempt
// comes on the ladder by the new count, after a fresh resolution.
void TKorvalindC::FailUpdateWithoutReply()
{
  LogMessage("Debug    setIP could not be done (b)", 40);
  setIPExchange_.CountFailure(UpdateErrorCount);
  RequestEndpointResolution();
  TimerSetIP->SetInterval(UpdateRetryInterval(UpdateErrorCount));
}

void TKorvalindC::ProcessUpdateReply(const std::string& reply)
{
  ProcessReply(UpdateExchange, reply);
}

void TKorvalindC::FailUpdateReply(const std::exception& e)
{
  LogMessage("Alert!   setIP DataAvailable Exception:", 20);
  LogMessage("Alert!   " + ExceptionText(e), 30);
  setIPExchange_.CountFailure(UpdateErrorCount);
  ++ExceptionCount;
  ArmUpdateRetry();
}

void TKorvalindC::HandleUpdateReply(const std::string& reply)
{
  LogMessage("Debug    setIP-Return: [" + reply.substr(0, reply.empty() ? 0 : reply.size() - 1) + "]", 40);
  TimerSetIP->SetEnabled(false);
  TimerMyIP->SetEnabled(false);
  TimerDNSCheck->SetEnabled(false);
  TimerDNSRandom->SetEnabled(false);
  TimerDNS->SetEnabled(false);
  TimerSleep->SetEnabled(false);
  if (reply.compare(0, 3, "IP:") != 0) {
    LogMessage(">>>>>    Update Error!", 30);
    TimerDNS->SetInterval(1000);
    setIPExchange_.CountFailure(UpdateErrorCount);
    ArmUpdateRetry();
    return;
  }
  ApplyUpdateReply(reply);
}

// One garbled reply (a proxy's error page, a cut connection) must not silence
// the client: the next attempt follows the retry ladder, with the endpoints
// resolved anew first.
void TKorvalindC::ArmUpdateRetry()
{
  TimerSetIP->SetInterval(UpdateRetryInterval(UpdateErrorCount));
  TimerSetIP->SetEnabled(true);
  TimerDNS->SetInterval(1000);
  TimerDNS->SetEnabled(true);
}

void TKorvalindC::ApplyUpdateReply(const std::string& reply)
{
  TimerHeartBeat->SetEnabled(false);

  const std::string ip = GetReplyValue("IP", reply);
  if (IsIPAddress(ip))
    ApplyReplyAddress(ip);

  TariffCode = ShortText(GetReplyValue("DT", reply));

  int seconds = 0;
  SetIPInterval = 1800000;
  if (ShortSeconds(reply, "SI", seconds))
    SetIPInterval = seconds * 1000;
  MyIPInterval = 60000;
  if (ShortSeconds(reply, "MI", seconds))
    MyIPInterval = seconds * 1000;

  HeartBeatToken.clear();
  if (Has(reply, "HI")) {
    seconds = TextToIntOrOne(GetReplyValue("HI", reply));
    if (seconds > 0 && seconds < 300) {
      TimerHeartBeat->SetInterval(static_cast<unsigned>(seconds) * 1000);
      HeartBeatToken = ShortText(GetReplyValue("HB", reply));
      if (HeartBeatToken.size() != 20)
        HeartBeatToken.clear();
    }
  }

  TimerDNSRandom->SetEnabled(false);
  if (Has(reply, "RI")) {
    seconds = TextToIntOrOne(GetReplyValue("RI", reply));
    if (seconds > 0) {
      TimerDNSRandom->SetInterval(SecondsToInterval(seconds));
      TimerDNSRandom->SetEnabled(true);
    }
  }

  TimerDNSCheck->SetEnabled(false);
  if (ShortSeconds(reply, "CI", seconds)) {
    TimerDNSCheck->SetInterval(static_cast<unsigned>(seconds) * 1000);
    TimerDNSCheck->SetEnabled(true);
  }

  if (Has(reply, "C1")) {
    const std::string state = GetReplyValue("C1", reply);
    if (!state.empty()) {
      const int code = TextToIntOrOne(state);
      if (code == 1) {
        Deactivated = true;
        LogMessage(">>>>>    Der Account ist deaktiviert!", 10);
        WriteAccountFlag("DEACTIVATED", true);
      } else if (code == 3 || code == 10) {
        ConfigError = true;
        LogMessage(">>>>>    Überprüfen Sie bitte Ihre Login-Daten!", 10);
        WriteAccountFlag("CONFIGERROR", true);
      } else {
        // Held back for a quarter of an hour (99) or a day; the success step
        // overwrites both, so this lasts only when the reply orders an exit.
        const unsigned hold = code == 99 ? 900000 : 86400000;
        TimerSetIP->SetInterval(hold);
        TimerMyIP->SetInterval(hold);
        if (Has(reply, "M1")) {
          const std::string message = GetReplyValue("M1", reply);
          if (!message.empty())
            LogMessage(">>>>>    " + message, 10);
        }
      }
    }
  }

  if (Has(reply, "DNS") && GetReplyValue("DNS", reply) == "1") {
    LogMessage("Debug    setIP says DNS-Resolving of socket IPs", 40);
    TimerDNS->SetEnabled(true);
  } else {
    const struct {
      const char* key;
      std::string& address;
    } endpoints[] = {{"MIP", DetectServerIP}, {"SIP", UpdateServerIP}, {"HIP", HeartBeatServerIP}};
    for (const auto& endpoint : endpoints) {
      if (!Has(reply, endpoint.key))
        continue;
      const std::string address = GetReplyValue(endpoint.key, reply);
      if (IsIPAddress(address))
        endpoint.address = address;
    }
  }

  const std::size_t mess = reply.find("MESS:");
  MessageText = mess == std::string::npos ? std::string() : reply.substr(mess + 5);

  if (Has(reply, "SLEEP")) {
    const std::string value = GetReplyValue("SLEEP", reply);
    if (!value.empty()) {
      LogMessage(">>>>>    Sleep for " + value + " Seconds received!", 10);
      // A sleep of no length must not stop the cycles for good.
      const unsigned interval = SecondsToInterval(TextToIntOrOne(value));
      if (interval > 0) {
        TimerSleep->SetInterval(interval);
        TimerSleep->SetEnabled(true);
        Sleeping = true;
      }
    }
  }

  TimerKill->SetEnabled(false);
  if (Has(reply, "EXIT") && GetReplyValue("EXIT", reply) == "1") {
    LogMessage(">>>>>    KILL/EXIT Timer started!", 10);
    TimerKill->SetInterval(60000);
    TimerKill->SetEnabled(true);
    return;
  }

  LastUpdateTime = DateTimeText();
  LogMessage(">>>>>    Update successfully done!", 10);
  UpdateErrorCount = 0;
  DetectErrorCount = 0;
  ExceptionCount = 0;
  DNSProblemCount = 0;
  TimerSetIP->SetInterval(static_cast<unsigned>(SetIPInterval));
  TimerSetIP->SetEnabled(true);
  TimerMyIP->SetInterval(static_cast<unsigned>(MyIPInterval));
  TimerMyIP->SetEnabled(true);
  if (IsHeartBeatTariff(TariffCode) && HeartBeatToken.size() == 20) {
    TimerHeartBeat->SetEnabled(true);
    LogMessage(">>>>>    HeartBeat activ!", 20);
  }
}
