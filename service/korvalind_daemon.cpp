#include "service/korvalind_daemon.h"

#include "core/korvalind_c.h"
#include "core/settings.h"
#include "service/stop_client.h"

TKorvalindDaemon* KorvalindDaemon = nullptr;

TKorvalindDaemon::TKorvalindDaemon(TComponent* owner) : TService(owner)
{
  SetName("KorvalindDaemon");
  DisplayName = "Korvalind Daemon";
  ServiceType = TServiceType::Win32;
  Interactive = true;
  StartType = TStartType::Auto;
  ErrorSeverity = TErrorSeverity::Normal;
  AllowStop = true;
  AllowPause = true;
  WaitHint = 5000;
  OnStart = [this](TService* sender, bool& started) { ServiceStart(sender, started); };
  OnStop = [this](TService* sender, bool& stopped) { ServiceStop(sender, stopped); };
  if (KorvalindDaemon == nullptr)
    KorvalindDaemon = this;
}

TKorvalindDaemon::~TKorvalindDaemon()
{
  if (KorvalindDaemon == this)
    KorvalindDaemon = nullptr;
}

TServiceController TKorvalindDaemon::ControllerOverride()
{
  return &ForwardControlCode;
}

void TKorvalindDaemon::ServiceStart(TService* Sender, bool&)
{
  // The core's timers, sockets and values belong to the main thread, whose
  // handlers must not run while the start is half done.
  Sender->Synchronize([] {
    DaemonMode = true;
    Sleep(10);
    ModeName = "Daemon";
    StartClient("D");
  });
}

void TKorvalindDaemon::ServiceStop(TService* Sender, bool&)
{
  Sender->Synchronize([] { StopClient(); });
}

void WINAPI ForwardControlCode(DWORD code)
{
  if (KorvalindDaemon != nullptr)
    KorvalindDaemon->Controller(code);
}
