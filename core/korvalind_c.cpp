#include "core/korvalind_c.h"

#include <cstdlib>

#include "core/address_rules.h"
#include "core/exception_log.h"
#include "core/log.h"
#include "core/program_info.h"
#include "core/random_source.h"
#include "core/settings.h"
#include "core/window_search.h"
#include "net/net_socket.h"
#include "platform/udp_client.h"

TKorvalindC* KorvalindC = nullptr;

namespace {

// The service looks for the desktop client's window this often; while it
// finds one, its update tick (stopped at the gate) comes every 10 s.
constexpr unsigned DesktopWatchInterval = 15000;
constexpr unsigned UpdateBesideDesktopInterval = 10000;

TTimer* NewTimer(TComponent* owner, const char* name, unsigned interval, bool enabled, TNotifyEvent onTimer)
{
  auto* timer = new TTimer(owner);
  timer->SetName(name);
  // Off first, so no timer runs for a moment with the wrong interval.
  timer->SetEnabled(false);
  timer->SetInterval(interval);
  timer->OnTimer = std::move(onTimer);
  timer->SetEnabled(enabled);
  return timer;
}

TNetSocket* NewSocket(TComponent* owner, const char* name, int flushTimeout)
{
  auto* socket = new TNetSocket(owner);
  socket->SetName(name);
  socket->AssignProto("tcp");
  socket->FlushTimeout = flushTimeout;
  return socket;
}

}  // namespace

TKorvalindC::TKorvalindC(TComponent* owner) : TDataModule(owner)
{
  SetName("KorvalindC");
  KorvalindC = this;
  TimerMyIP = NewTimer(this, "TimerMyIP", 5000, false, [this](TObject* s) { TimerMyIPTimer(s); });
  TimerSetIP = NewTimer(this, "TimerSetIP", 5000, false, [this](TObject* s) { TimerSetIPTimer(s); });
  TimerHeartBeat = NewTimer(this, "TimerHeartBeat", 100, false, [this](TObject* s) { TimerHeartBeatTimer(s); });

  SHeartBeat = NewSocket(this, "SHeartBeat", 60);
  SHeartBeat->OnDnsLookupDone = [this](TObject* s, std::uint16_t e) { SHeartBeatDnsLookupDone(s, e); };
  SHeartBeat->OnError = [this](TObject* s) { SHeartBeatError(s); };
  SHeartBeat->OnBgException = [this](TObject* s, Exception& e, bool& c) { SHeartBeatBgException(s, e, c); };

  SMyIP = NewSocket(this, "SMyIP", 10);
  SMyIP->OnDataAvailable = [this](TObject* s, std::uint16_t e) { SMyIPDataAvailable(s, e); };
  SMyIP->OnSessionConnected = [this](TObject* s, std::uint16_t e) { SMyIPSessionConnected(s, e); };
  SMyIP->OnSessionClosed = [this](TObject* s, std::uint16_t e) { SMyIPSessionClosed(s, e); };
  SMyIP->OnDnsLookupDone = [this](TObject* s, std::uint16_t e) { SMyIPDnsLookupDone(s, e); };
  SMyIP->OnError = [this](TObject* s) { SMyIPError(s); };
  SMyIP->OnBgException = [this](TObject* s, Exception& e, bool& c) { SMyIPBgException(s, e, c); };
  SMyIP->OnSocksError = [this](TObject* s, int e, const std::string& m) { SMyIPSocksError(s, e, m); };

  SSetIP = NewSocket(this, "SSetIP", 10);
  SSetIP->OnDataAvailable = [this](TObject* s, std::uint16_t e) { SSetIPDataAvailable(s, e); };
  SSetIP->OnSessionConnected = [this](TObject* s, std::uint16_t e) { SSetIPSessionConnected(s, e); };
  SSetIP->OnSessionClosed = [this](TObject* s, std::uint16_t e) { SSetIPSessionClosed(s, e); };
  SSetIP->OnDnsLookupDone = [this](TObject* s, std::uint16_t e) { SSetIPDnsLookupDone(s, e); };
  SSetIP->OnError = [this](TObject* s) { SSetIPError(s); };
  SSetIP->OnBgException = [this](TObject* s, Exception& e, bool& c) { SSetIPBgException(s, e, c); };
  SSetIP->OnSocksError = [this](TObject* s, int e, const std::string& m) { SSetIPSocksError(s, e, m); };

  updateExchange_ = std::make_unique<TReplyExchange>(*SSetIP, UpdateTexts, UpdateErrorCount);
  updateExchange_->OnReply = [this](const std::string& reply) { HandleUpdateReply(reply); };
  // A failed update may mean its host is gone: resolve again, which also
  // picks the update host by the new count.
  updateExchange_->OnFailure = [this] { RequestEndpointResolution(); };
  // Nothing to read, or the session ended before the reply: the next attempt
  // comes on the ladder by the new count, after that resolution.
  updateExchange_->OnNoReply = [this] { SetUpdateRetryInterval(); };
  updateExchange_->OnReadFailure = [this] { ArmUpdateRetry(); };
  // Counted as a failed update, a connect that never completed waits on the
  // ladder as a refused one does.
  updateExchange_->OnConnectNeverCompleted = [this] { SetUpdateRetryInterval(); };
  detectionExchange_ = std::make_unique<TReplyExchange>(*SMyIP, DetectionTexts, DetectErrorCount);
  detectionExchange_->OnReply = [this](const std::string& reply) { HandleDetectionReply(reply); };
  detectionExchange_->OnCounted = [this] { ResolveAfterDetectionFailures(); };

  // The endpoint lookups are the one cycle that runs from creation on.
  TimerDNS = NewTimer(this, "TimerDNS", ResolveSoonInterval, true, [this](TObject* s) { TimerTimerDNS(s); });
  TimerProcList = NewTimer(this, "TimerProcList", 1000, false, [this](TObject* s) { TimerProcListTimer(s); });
  TimerSleep = NewTimer(this, "TimerSleep", 1000, false, [this](TObject* s) { TimerSleepTimer(s); });
  TimerKill = NewTimer(this, "TimerKill", 300000, false, [this](TObject* s) { TimerKillTimer(s); });
  TimerDNSCheck = NewTimer(this, "TimerDNSCheck", 120000, false, [this](TObject* s) { TimerDNSCheckTimer(s); });

  DNSCheck = NewSocket(this, "DNSCheck", 60);
  DNSCheck->OnDnsLookupDone = [this](TObject* s, std::uint16_t e) { DNSCheckDnsLookupDone(s, e); };
  DNSRandom = NewSocket(this, "DNSRandom", 60);
  DNSRandom->OnDnsLookupDone = [this](TObject* s, std::uint16_t e) { DNSRandomDnsLookupDone(s, e); };

  TimerDNSRandom = NewTimer(this, "TimerDNSRandom", 1000, false, [this](TObject* s) { TimerDNSRandomTimer(s); });

  UDPBroadCastClient = new TUdpClient(this);
  UDPBroadCastClient->SetName("UDPBroadCastClient");
  UDPBroadCastClient->SetPort(900);
  UDPBroadCastClient->SetActive(true);

  // Made with its handler bound but never switched on: it receives nothing.
  UDPBroadCastServer = new TUdpServer(this);
  UDPBroadCastServer->SetName("UDPBroadCastServer");
  UDPBroadCastServer->SetDefaultPort(900);
  UDPBroadCastServer->OnUDPRead = [this](TObject* s, const std::string& data, TUdpBinding* binding) {
    UDPBroadCastServerUDPRead(s, data, binding);
  };

  SetLogBroadcastClient(UDPBroadCastClient);
  OnCreate = [this](TObject* s) { DataModuleCreate(s); };
}

TKorvalindC::~TKorvalindC()
{
  SetLogBroadcastClient(nullptr);
  // The components go with the base destructor; no handler may find the
  // module through the global after this point.
  DestroyComponents();
  if (KorvalindC == this)
    KorvalindC = nullptr;
}

void TKorvalindC::DataModuleCreate(TObject*)
{
  BuildIdent();
  LastMessage.clear();
  LastDetectTime.clear();
  LastUpdateTime.clear();
  UDPBroadCastClient->SetBroadcastEnabled(true);
}

void StartClient(const std::string& modeLetter)
{
  ClientAuthCode += modeLetter;
  SessionCode = RandomLetters(3);
  LoadConfig();
  LogBanner("started.");
  KorvalindC->TimerMyIP->SetEnabled(false);
  KorvalindC->TimerSetIP->SetEnabled(true);
  if (DaemonMode)
    KorvalindC->TimerProcList->SetEnabled(true);
}

bool TKorvalindC::PassCycleGate(TCycle cycle)
{
  if (Sleeping || Deactivated || ConfigError)
    return false;

  switch (cycle) {
  case TCycle::Detection: LogMessage("Debug    ..... myIP socket", LogDebug); break;
  case TCycle::Update: LogMessage("Debug    ..... setIP socket", LogDebug); break;
  case TCycle::HeartBeat: LogMessage("Debug    ..... HeartBeat socket ", LogDebug); break;
  }

  if (DaemonMode && DesktopClientRunning) {
    switch (cycle) {
    case TCycle::Detection: LogMessage("Debug    no myIP cause Windows Client is runnig", LogDebug); break;
    case TCycle::Update: LogMessage("Debug    no SetIP cause Windows Client is runnig", LogDebug); break;
    case TCycle::HeartBeat: TimerHeartBeat->SetEnabled(false); break;
    }
    return false;
  }

  if (cycle == TCycle::HeartBeat)
    return true;  // the tick tests its address itself

  LoadConfig();
  if (AccountName.size() <= 2 || DomainName.size() <= 2 || PasswordHash.size() <= 2)
    return false;

  const bool detection = cycle == TCycle::Detection;
  if (OfflineMode) {
    LogMessage(detection ? "Debug    no myIP cause offline mode" : "Debug    no SetIP cause offline mode", LogDebug);
    return false;
  }

  const std::string& address = detection ? DetectServerIP : UpdateServerIP;
  if (!IsIPAddress(address) || address == "0.0.0.0") {
    LogMessage(detection ? "Debug    no myIP cause no valid socket IP" : "Debug    no SetIP cause no valid socket IP",
               LogDebug);
    TimerDNS->SetInterval(ResolveSoonInterval);
    // With the timer off (a reply switched it off) and no lookup to re-arm
    // it, nothing would ever resolve the endpoint: no update until a restart.
    if (!TimerDNS->Enabled() && !EndpointLookupPending())
      TimerDNS->SetEnabled(true);
    return false;
  }
  return true;
}

void TKorvalindC::TimerProcListTimer(TObject*)
{
  LogMessage("Debug    ..... ProcList ", LogDebug);
  TimerProcList->SetInterval(DesktopWatchInterval);
  if (DaemonMode && FindWindowWithTitle("Korvalind-Poster ") != nullptr) {
    DesktopClientRunning = true;
    TimerSetIP->SetInterval(UpdateBesideDesktopInterval);
  } else {
    DesktopClientRunning = false;
  }
}

void TKorvalindC::TimerKillTimer(TObject*)
{
  LogMessage(">>>>>    Auto exit!", LogLow);
  // At once: no window close handling, no stop report to the service manager.
  std::_Exit(0);
}

void TKorvalindC::TimerSleepTimer(TObject*)
{
  LogMessage("Debug    ..... Sleep Wakeup ", LogDebug);
  Sleeping = false;
  TimerSleep->SetEnabled(false);
}

void TKorvalindC::UDPBroadCastServerUDPRead(TObject*, const std::string& AData, TUdpBinding*)
{
  LogMessage(AData, LogLow);
}

int UpdateHostNumber(int n)
{
  if (n > 15 && n % 3 == 0)
    return 3;
  if (n > 5 && n % 2 == 0)
    return 2;
  return 1;
}

unsigned UpdateRetryInterval(int n)
{
  if (n <= 0)
    return 300000;
  if (n <= 5)
    return 15000;
  if (n <= 10)
    return 30000;
  if (n <= 15)
    return 120000;
  return 300000;
}

unsigned SecondsToInterval(std::int64_t seconds)
{
  if (seconds <= 0)
    return 0;
  if (seconds >= TTimer::MaxInterval / 1000)
    return TTimer::MaxInterval;
  return static_cast<unsigned>(seconds * 1000);
}

// A nudged tick comes 2.5 s from now.
constexpr unsigned NudgeInterval = 2500;

void CheckIPNow()
{
  KorvalindC->TimerMyIP->SetInterval(NudgeInterval);
}

void UpdateNow()
{
  KorvalindC->TimerSetIP->SetInterval(NudgeInterval);
}
