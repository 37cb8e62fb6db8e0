#pragma once

#include <windows.h>

#include "platform/service/service.h"

// The service module of korvalindd: the service's identity and the start and
// stop handlers that start and stop the client core. The core lives on the
// main thread, so both handlers hand their work to it and wait.
class TKorvalindDaemon : public TService {
public:
  explicit TKorvalindDaemon(TComponent* owner);
  ~TKorvalindDaemon() override;

  TServiceController ControllerOverride() override;

  void ServiceStart(TService* Sender, bool& Started);
  void ServiceStop(TService* Sender, bool& Stopped);
};

// The one service module of the process, or null.
extern TKorvalindDaemon* KorvalindDaemon;

// The control handler registered with the service control manager: hands the
// code to KorvalindDaemon's control operation.
void WINAPI ForwardControlCode(DWORD code);
