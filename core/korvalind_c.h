#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/reply_exchange.h"
#include "platform/data_module.h"
#include "platform/timer.h"

class Exception;
class TNetSocket;
class TUdpClient;
class TUdpServer;
class TUdpBinding;

// The client data module: owns the core's nine timers, five sockets and two UDP
// components and carries every handler of the core. One instance per process,
// created on the main thread (component name "KorvalindC"); the handlers live in
// one file per concern (endpoints, update request and reply, detection,
// heartbeat, own-host check, socket errors).
class TKorvalindC : public TDataModule {
public:
  explicit TKorvalindC(TComponent* owner);
  ~TKorvalindC() override;

  TTimer* TimerMyIP;
  TTimer* TimerSetIP;
  TTimer* TimerHeartBeat;
  TNetSocket* SHeartBeat;
  TNetSocket* SMyIP;
  TNetSocket* SSetIP;
  TTimer* TimerDNS;
  TTimer* TimerProcList;
  TTimer* TimerSleep;
  TTimer* TimerKill;
  TTimer* TimerDNSCheck;
  TNetSocket* DNSCheck;
  TNetSocket* DNSRandom;
  TTimer* TimerDNSRandom;
  TUdpClient* UDPBroadCastClient;
  TUdpServer* UDPBroadCastServer;

  void DataModuleCreate(TObject* Sender);

  // Data module (korvalind_c.cpp)
  void TimerProcListTimer(TObject* Sender);
  void TimerKillTimer(TObject* Sender);
  void TimerSleepTimer(TObject* Sender);
  void UDPBroadCastServerUDPRead(TObject* Sender, const std::string& AData, TUdpBinding* ABinding);

  // Endpoint resolution (endpoints.cpp)
  void TimerTimerDNS(TObject* Sender);
  void SMyIPDnsLookupDone(TObject* Sender, std::uint16_t ErrCode);
  void SSetIPDnsLookupDone(TObject* Sender, std::uint16_t ErrCode);
  void SHeartBeatDnsLookupDone(TObject* Sender, std::uint16_t ErrCode);

  // Update request (update_request.cpp) and reply (update_reply.cpp)
  void TimerSetIPTimer(TObject* Sender);
  void SSetIPSessionConnected(TObject* Sender, std::uint16_t ErrCode);
  void SSetIPDataAvailable(TObject* Sender, std::uint16_t ErrCode);
  void SSetIPSessionClosed(TObject* Sender, std::uint16_t ErrCode);

  // Address detection (detection.cpp)
  void TimerMyIPTimer(TObject* Sender);
  void SMyIPSessionConnected(TObject* Sender, std::uint16_t ErrCode);
  void SMyIPDataAvailable(TObject* Sender, std::uint16_t ErrCode);
  void SMyIPSessionClosed(TObject* Sender, std::uint16_t ErrCode);

  // Heartbeat (heartbeat.cpp)
  void TimerHeartBeatTimer(TObject* Sender);

  // Own-host check and random lookups (own_host_check.cpp)
  void TimerDNSCheckTimer(TObject* Sender);
  void DNSCheckDnsLookupDone(TObject* Sender, std::uint16_t ErrCode);
  void TimerDNSRandomTimer(TObject* Sender);
  void DNSRandomDnsLookupDone(TObject* Sender, std::uint16_t ErrCode);

  // Socket error handlers (socket_errors.cpp)
  void SMyIPError(TObject* Sender);
  void SSetIPError(TObject* Sender);
  void SMyIPBgException(TObject* Sender, Exception& E, bool& CanClose);
  void SSetIPBgException(TObject* Sender, Exception& E, bool& CanClose);
  void SHeartBeatBgException(TObject* Sender, Exception& E, bool& CanClose);
  void SHeartBeatError(TObject* Sender);
  void SMyIPSocksError(TObject* Sender, int Error, const std::string& Msg);
  void SSetIPSocksError(TObject* Sender, int Error, const std::string& Msg);

  enum class TCycle { Detection, Update, HeartBeat };
  // The steps every detection, update and heartbeat tick passes before its
  // own work; false when a step stops the tick.
  bool PassCycleGate(TCycle cycle);

  // An update reply or detection reply that arrived whole, with the
  // handler's own exception handling around it.
  void ProcessUpdateReply(const std::string& reply);
  void ProcessDetectionReply(const std::string& reply);

private:
  // The update exchange on SSetIP and the detection exchange on SMyIP
  // (core/reply_exchange.h), with the texts of each.
  std::unique_ptr<TReplyExchange> updateExchange_;
  std::unique_ptr<TReplyExchange> detectionExchange_;
  static const TExchangeTexts UpdateTexts;
  static const TExchangeTexts DetectionTexts;
  // The endpoint tick is running: the failures of its own lookups do not ask
  // for the next one, the tick itself schedules it.
  bool resolvingEndpoints_ = false;

  // The heartbeat tick's own lookup of the heartbeat host is on its way: its
  // completion leaves TimerDNS alone.
  bool ownHeartBeatLookup_ = false;
  // When the heartbeat tick last looked the heartbeat host up; none yet.
  std::optional<std::chrono::steady_clock::time_point> heartBeatLookupAt_;
  // Lookup-done events handled so far, to tell a lookup that never started.
  unsigned lookupsDone_ = 0;

  // Resolve the endpoints again within a second, which also chooses the
  // update host anew by the failure count.
  void RequestEndpointResolution();
  // Starts the lookup of host on socket; one the system does not start is
  // reported to done as a failed lookup.
  void StartLookup(TNetSocket* socket, const std::string& host, void (TKorvalindC::*done)(TObject*, std::uint16_t));
  // The heartbeat has no address: look its host up, at most once a quarter
  // of an hour.
  void LookUpHeartBeatHost();
  // A lookup started by the endpoint tick is still to report.
  bool EndpointLookupPending() const;
  // The next update tick on the retry ladder by the failure count; the
  // interval only, the timer stays as it is.
  void SetUpdateRetryInterval();

  void HandleUpdateReply(const std::string& reply);
  void KeepOwnHostCheckWhileDeactivated();
  void ApplyUpdateReply(const std::string& reply);
  void ArmUpdateRetry();
  void HandleDetectionReply(const std::string& reply);
  // A detection endpoint that died after the start is looked up again after
  // a few failures, and then only now and then, so a dead service costs no
  // flood of lookups.
  void ResolveAfterDetectionFailures();
  void StoreLookupResult(TNetSocket* socket, std::uint16_t errCode, const char* name, const std::string* fallbacks,
                         int drawn, std::string& endpoint);
};

// The own-host check's interval while the account is deactivated: 15 minutes.
constexpr unsigned DeactivatedCheckInterval = 900000;
// The update tick's interval once the own-host check found the account
// deactivated or active again: 6 hours.
constexpr unsigned AccountStateUpdateInterval = 21600000;
// An endpoint resolution asked for "within a second".
constexpr unsigned ResolveSoonInterval = 1000;
// The detection and update ticks' next try, unless the attempt sets another.
constexpr unsigned NextTickInterval = 30000;
// The update brought forward after a new address was detected.
constexpr unsigned EarlyUpdateInterval = 5000;

// Bring the next detection or update tick forward to 2.5 s from now: a
// running timer restarts, a disabled one only keeps the interval.
void CheckIPNow();
void UpdateNow();

// The one data module of the process, or null before it is created.
extern TKorvalindC* KorvalindC;

// Starts the core: the desktop client passes "W", the service "D".
void StartClient(const std::string& modeLetter);

// The update host for n failed updates: 1, 2 or 3.
int UpdateHostNumber(int updateErrorCount);

// Time to the next update attempt after a request went out, by failure count.
unsigned UpdateRetryInterval(int updateErrorCount);

// seconds x 1000 for a timer, without overflow: at most the timer's maximum,
// 0 for values of 0 or less.
unsigned SecondsToInterval(std::int64_t seconds);
