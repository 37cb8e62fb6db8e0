#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/data_module.h"

class TEventLogger;
class TServiceThread;

enum class TServiceType { Win32, Device, FileSystem };
enum class TStartType { Boot, System, Auto, Manual, Disabled };
enum class TErrorSeverity { Ignore, Normal, Severe, Critical };
enum class TCurrentStatus { Stopped, StartPending, StopPending, Running, ContinuePending, PausePending, Paused };

class TService;

// The handler the service control manager calls with a control code. It has no
// context argument, so each service supplies a plain function that finds its
// service object and calls Controller.
using TServiceController = LPHANDLER_FUNCTION;

// Handlers that may refuse: clearing the flag keeps the service where it was.
using TStartEvent = std::function<void(TService* Sender, bool& Started)>;
using TStopEvent = std::function<void(TService* Sender, bool& Stopped)>;
using TPauseEvent = std::function<void(TService* Sender, bool& Paused)>;
using TContinueEvent = std::function<void(TService* Sender, bool& Continued)>;
using TServiceEvent = std::function<void(TService* Sender)>;

// A service module: one service of the program, with its identity for the
// service control manager and its handlers. The service application owns it;
// the control manager's requests run its handlers on the service thread.
class TService : public TDataModule {
public:
  explicit TService(TComponent* owner);
  ~TService() override;

  // The service name is the component name (also the event-log source).
  std::string DisplayName;
  TServiceType ServiceType = TServiceType::Win32;
  TStartType StartType = TStartType::Auto;
  TErrorSeverity ErrorSeverity = TErrorSeverity::Normal;
  // Interactive services run as LocalSystem: the start name and password are
  // not registered.
  bool Interactive = false;
  std::string ServiceStartName;
  std::string Password;
  std::vector<std::string> Dependencies;
  std::string LoadGroup;
  DWORD TagID = 0;
  bool AllowStop = true;
  bool AllowPause = true;
  // Reported with every pending state, in milliseconds.
  DWORD WaitHint = 5000;
  // Reported when the service stops; ErrCode is the service's own code.
  DWORD Win32ErrCode = 0;
  DWORD ErrCode = 0;

  TStartEvent OnStart;
  TStopEvent OnStop;
  TPauseEvent OnPause;
  TContinueEvent OnContinue;
  TServiceEvent OnShutdown;
  // Replaces the service thread's request loop; it should call
  // ServiceThread()->ProcessRequests until the thread is terminated.
  TServiceEvent OnExecute;

  // The arguments of the start request, after the service name.
  std::vector<std::string> Params;

  TCurrentStatus Status() const;
  // Sets the status and reports it to the service control manager.
  void SetStatus(TCurrentStatus status);
  // Reports the current status again; a handler that takes long calls this
  // to move the checkpoint of a pending state forward.
  void ReportStatus();
  // The status as it would be reported now (type, state, accepted controls,
  // exit codes, checkpoint and wait hint).
  SERVICE_STATUS StatusRecord() const;

  TServiceThread* ServiceThread() const { return serviceThread_.get(); }

  // The handler registered for this service.
  virtual TServiceController ControllerOverride() = 0;

  // The control operation: hands the code to the service thread, which acts
  // on it. Called by the control manager's handler, on the dispatcher thread.
  void Controller(DWORD code);

  // Runs work on the main thread and waits for it; exceptions travel back.
  void Synchronize(const std::function<void()>& work);

  void LogMessage(const std::string& message, WORD eventType = EVENTLOG_ERROR_TYPE, WORD category = 0, DWORD id = 0);

  // Registers or removes this service; EOSError on failure.
  void Install(SC_HANDLE manager);
  void Uninstall(SC_HANDLE manager);
  // The program path to register: the program's own full path, quoted when it
  // holds a blank so the control manager cannot split it.
  std::string BinaryPathName() const;

  // The service's main routine, run by the dispatcher on a thread of its own:
  // registers the handler, reports start pending, runs the service thread and
  // waits for it, then reports stopped.
  void Main(DWORD argc, LPSTR* argv);

  // Used by the service thread.
  // The thread whose queue takes the control codes, or 0: set before the
  // start handler runs, so no code sent once the service runs is lost.
  void SetServiceThreadId(DWORD threadId) { serviceThreadId_ = threadId; }
  bool DoStart();
  bool DoStop();
  bool DoPause();
  bool DoContinue();
  void DoShutdown();
  void DoExecute();

private:
  void HandleException(const char* where);
  // The answer of the start, stop, pause or continue handler (true when none
  // is assigned or it leaves the flag alone); empty when it threw, which is
  // logged here. What a failed handler means is each control's own.
  std::optional<bool> AskControlHandler(const std::function<void(TService*, bool&)>& handler, const char* where);
  DWORD ServiceTypeValue() const;
  DWORD ControlsAccepted() const;

  mutable std::mutex statusMutex_;
  TCurrentStatus status_ = TCurrentStatus::Stopped;
  DWORD checkPoint_ = 0;
  SERVICE_STATUS_HANDLE statusHandle_ = nullptr;
  std::unique_ptr<TServiceThread> serviceThread_;
  // Read by Controller on the dispatcher thread.
  std::atomic<DWORD> serviceThreadId_{0};
  std::mutex loggerMutex_;
  std::unique_ptr<TEventLogger> eventLogger_;
};
