#include <vector>

#include "core/address_rules.h"
#include "core/exception_log.h"
#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/random_source.h"
#include "core/settings.h"
#include "net/net_socket.h"
#include "platform/ini_file.h"

namespace {

// The service marks a deactivated account with this reserved answer.
constexpr const char* DeactivatedAnswer = "127.0.0.9";
// After a private answer: above any count that brings the update forward, so
// only a matching answer, which resets the count, lets mismatches do so again.
constexpr int PrivateAnswerCount = 999;
// Mismatches counted up to this one bring the update forward; later ones only
// count.
constexpr int LastForwardingCount = 5;

void WriteDeactivated(bool value)
{
  TIniFile ini(ConfigFilePath());
  ini.WriteBool(AccountSection, "DEACTIVATED", value);
}

// While the account is deactivated, this check is the only thing that can
// end that state: whatever became of one check (a failed lookup, a private
// answer, an exception), the next one must come on the timer's interval.
struct TKeepCheckingWhileDeactivated {
  TTimer* timer;
  ~TKeepCheckingWhileDeactivated()
  {
    if (Deactivated)
      timer->SetEnabled(true);
  }
};

}  // namespace

void TKorvalindC::TimerDNSCheckTimer(TObject*)
{
  LogMessage("Debug    ..... resolve my own IP ", LogDebug);
  TimerDNSCheck->SetEnabled(false);
  LoadConfig();
  try {
    DNSCheck->DnsLookup(AccountName + "." + DomainName);
  } catch (const std::exception& e) {
    LogCaughtException("Alert!   DNSCheckTimer Exception", e);
    if (Deactivated)
      TimerDNSCheck->SetEnabled(true);  // as TKeepCheckingWhileDeactivated does
  }
}

// Nothing is caught here: an exception (a failed write of the settings file)
// is left to the socket's background-exception handling.
void TKorvalindC::DNSCheckDnsLookupDone(TObject*, std::uint16_t ErrCode)
{
  const TKeepCheckingWhileDeactivated keepChecking{TimerDNSCheck};
  LogMessage("Debug    ..... resolve my own IP", LogDebug);
  const std::vector<std::string> answers = DNSCheck->DnsResultList();
  if (answers.empty() || ErrCode != 0) {
    ++DNSDiffCount;
    LogMessage(">>>>>    Can`t resolve my own IP!", LogNormal);
    return;
  }
  const std::string& a1 = answers[0];
  const std::string& a2 = answers.size() >= 2 ? answers[1] : a1;
  const std::string& a3 = answers.size() >= 3 ? answers[2] : a1;
  std::string shown = a1;
  if (answers.size() >= 2)
    shown += ", " + answers[1];
  if (answers.size() >= 3)
    shown += ", " + answers[2];
  LogMessage("Debug    resolved my own IP: [" + shown + "]", LogDebug);

  if (a1 == DeactivatedAnswer) {
    LogMessage(">>>>>    Der Account ist deaktiviert!  (DNS)", LogLow);
    Deactivated = true;
    WriteDeactivated(true);
    TimerDNSCheck->SetInterval(DeactivatedCheckInterval);
    TimerDNSCheck->SetEnabled(true);
    TimerSetIP->SetInterval(AccountStateUpdateInterval);
    TimerSetIP->SetEnabled(true);
    TimerMyIP->SetInterval(0);
    TimerMyIP->SetEnabled(false);
    TimerDNSRandom->SetInterval(0);
    TimerDNSRandom->SetEnabled(false);
    return;
  }
  if (IsPrivateIP(a1)) {
    DNSDiffCount = PrivateAnswerCount;
    LogMessage(">>>>>    resolved own IP is private!", LogNormal);
    LogMessage(">>>>>    Please check your local DNS configuration!", LogNormal);
    return;
  }
  if (Deactivated) {
    Deactivated = false;
    TimerSetIP->SetInterval(AccountStateUpdateInterval);
    TimerSetIP->SetEnabled(true);
    WriteDeactivated(false);
  }
  if (a1 != CurrentIP && a2 != CurrentIP && a3 != CurrentIP) {
    if (DNSDiffCount <= LastForwardingCount) {
      LogMessage(">>>>>    IP difference detected!", LogNormal);
      UpdateNow();
    }
    ++DNSDiffCount;
    return;
  }
  DNSDiffCount = 0;
  Deactivated = false;
  TimerDNSCheck->SetEnabled(true);
}

void TKorvalindC::TimerDNSRandomTimer(TObject*)
{
  LogMessage("Debug    ..... resolve random domain", LogDebug);
  TimerDNSRandom->SetEnabled(false);
  try {
    DNSRandom->DnsLookup(RandomLetters(6) + ".com");
  } catch (const std::exception& e) {
    LogCaughtException("Alert!   DNSRandomTimer Exception", e);
  }
}

void TKorvalindC::DNSRandomDnsLookupDone(TObject*, std::uint16_t)
{
  LogMessage("Debug    ..... resolve random domain done", LogDebug);
  if (TimerDNSRandom->Interval() != 0)
    TimerDNSRandom->SetEnabled(true);
}
