// A service for the framework's tests: Wine's service control manager starts
// it, and it writes what its handlers saw to dummy.log beside itself. The
// start arguments choose its behaviour:
//   slow          every handler takes a second, so pending states can be seen
//   fail-start    the start handler throws
//   quit-main     the start handler posts a quit message to the main thread
#include <algorithm>
#include <fstream>
#include <mutex>
#include <string>

#include <windows.h>

#include "platform/service/event_logger.h"
#include "platform/exception.h"
#include "platform/service/service_application.h"
#include "platform/timer.h"

namespace {

std::mutex logMutex;

std::string LogPath()
{
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path);
  return dir.substr(0, dir.find_last_of('\\')) + "\\dummy.log";
}

void Note(const std::string& line)
{
  std::lock_guard<std::mutex> lock(logMutex);
  std::ofstream(LogPath(), std::ios::app | std::ios::binary) << line << "\r\n";
}

const char* StatusName(TCurrentStatus status)
{
  switch (status) {
  case TCurrentStatus::Stopped: return "stopped";
  case TCurrentStatus::StartPending: return "start-pending";
  case TCurrentStatus::StopPending: return "stop-pending";
  case TCurrentStatus::Running: return "running";
  case TCurrentStatus::ContinuePending: return "continue-pending";
  case TCurrentStatus::PausePending: return "pause-pending";
  case TCurrentStatus::Paused: return "paused";
  }
  return "?";
}

class TDummyService;
TDummyService* DummyService = nullptr;

void WINAPI DummyControl(DWORD code);

class TDummyService : public TService {
public:
  explicit TDummyService(TComponent* owner) : TService(owner)
  {
    SetName("KorvalindTestService");
    DisplayName = "Korvalind Test Service";
    StartType = TStartType::Manual;
    Interactive = true;
    OnStart = [this](TService*, bool&) {
      const bool onMain = GetCurrentThreadId() == ServiceApplication->MainThreadId();
      bool workOnMain = false;
      Synchronize([&] { workOnMain = GetCurrentThreadId() == ServiceApplication->MainThreadId(); });
      Note(std::string("start ") + StatusName(Status()) + " handler-on-main=" + (onMain ? "1" : "0") +
           " synchronized-on-main=" + (workOnMain ? "1" : "0") + " params=" + std::to_string(Params.size()));
      Delay();
      if (Has("quit-main"))
        PostThreadMessageA(ServiceApplication->MainThreadId(), WM_QUIT, 0, 0);
      if (Has("fail-start"))
        throw Exception("start refused for the test");
    };
    OnStop = [this](TService*, bool&) {
      bool workOnMain = false;
      Synchronize([&] { workOnMain = GetCurrentThreadId() == ServiceApplication->MainThreadId(); });
      Note(std::string("stop ") + StatusName(Status()) + " synchronized-on-main=" + (workOnMain ? "1" : "0"));
      Delay();
    };
    OnPause = [this](TService*, bool&) {
      Note(std::string("pause ") + StatusName(Status()));
      Delay();
    };
    OnContinue = [this](TService*, bool&) {
      Note(std::string("continue ") + StatusName(Status()));
      Delay();
    };
    OnShutdown = [this](TService*) { Note(std::string("shutdown ") + StatusName(Status())); };
    DummyService = this;
  }

  TServiceController ControllerOverride() override { return &DummyControl; }

private:
  bool Has(const std::string& param) const { return std::find(Params.begin(), Params.end(), param) != Params.end(); }
  void Delay() const
  {
    if (Has("slow"))
      Sleep(1000);
  }
};

void WINAPI DummyControl(DWORD code)
{
  if (DummyService != nullptr)
    DummyService->Controller(code);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
  TEventLogger::SetSink([](const std::string& source, const std::string& message, WORD type, WORD, DWORD) {
    Note("event " + source + " type=" + std::to_string(type) + ": " + message);
  });
  TServiceApplication application;
  application.Initialize();
  application.CreateForm<TDummyService>();
  // The main thread's loop must go on while the service thread waits in its
  // request loop: this timer counts its ticks.
  TTimer ticks(nullptr);
  int count = 0;
  ticks.SetInterval(50);
  ticks.OnTimer = [&](TObject*) { ++count; };
  application.Run();
  Note("exit code=" + std::to_string(application.ExitCode()) + " main-ticks=" + (count > 0 ? "yes" : "no"));
  return application.ExitCode();
}
