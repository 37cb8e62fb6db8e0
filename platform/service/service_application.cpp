#include "platform/service/service_application.h"

#include <exception>

#include "platform/command_line.h"
#include "platform/program_file.h"
#include "platform/service/event_logger.h"
#include "platform/hidden_window.h"
#include "platform/service/os_error.h"
#include "platform/service/service_handle.h"
#include "platform/service/service_start_thread.h"

TServiceApplication* ServiceApplication = nullptr;

namespace {

const UINT kSynchronizeMessage = WM_APP + 2;

struct TSynchronizeCall {
  const std::function<void()>* work;
  std::exception_ptr error;
};

}  // namespace

TServiceApplication::TServiceApplication()
    : TComponent(nullptr), Params(ParamList()), Title(ProgramFileTitle()), mainThreadId_(GetCurrentThreadId())
{
  if (Application == nullptr) {
    ownApplication_ = std::make_unique<TApplication>();
    application_ = ownApplication_.get();
  } else {
    application_ = Application;
  }
  syncWindow_ = std::make_unique<THiddenWindow>([](UINT message, WPARAM, LPARAM lParam, LRESULT& result) {
    if (message != kSynchronizeMessage)
      return false;
    auto* call = reinterpret_cast<TSynchronizeCall*>(lParam);
    try {
      (*call->work)();
    } catch (...) {
      call->error = std::current_exception();
    }
    result = 0;
    return true;
  });
  if (ServiceApplication == nullptr)
    ServiceApplication = this;
}

TServiceApplication::~TServiceApplication()
{
  // The services go first: they belong to this object, and their handlers
  // may still reach the window application's modules.
  DestroyComponents();
  if (ServiceApplication == this)
    ServiceApplication = nullptr;
  syncWindow_.reset();
  ownApplication_.reset();
}

void TServiceApplication::Initialize()
{
  // A service has no window of its own to show.
  application_->ShowMainForm = false;
  application_->Initialize();
}

std::vector<TService*> TServiceApplication::ServiceList() const
{
  std::vector<TService*> services;
  for (int i = 0; i < ComponentCount(); ++i)
    if (auto* service = dynamic_cast<TService*>(Components(i)))
      services.push_back(service);
  return services;
}

TService* TServiceApplication::FindService(const std::string& name) const
{
  return dynamic_cast<TService*>(FindComponent(name));
}

bool TServiceApplication::Installing() const
{
  return FindCmdLineSwitch(Params, "INSTALL") || FindCmdLineSwitch(Params, "UNINSTALL");
}

int TServiceApplication::ShowMessage(const std::string& text, UINT type)
{
  if (OnMessageBox)
    return OnMessageBox(text, Title, type);
  return MessageBoxA(nullptr, text.c_str(), Title.c_str(), type | MB_SETFOREGROUND);
}

void TServiceApplication::Run()
{
  const bool install = FindCmdLineSwitch(Params, "INSTALL");
  const bool uninstall = FindCmdLineSwitch(Params, "UNINSTALL");
  const bool silent = FindCmdLineSwitch(Params, "SILENT");
  exitCode_ = 0;
  if (install && uninstall) {
    // Either order could be meant; doing neither loses nothing.
    ShowMessage("Die Schalter INSTALL und UNINSTALL schließen einander aus.", MB_OK | MB_ICONERROR);
    exitCode_ = 2;
    return;
  }
  if (install || uninstall) {
    exitCode_ = RegisterServices(install, silent) ? 0 : 1;
    return;
  }
  RunServices();
}

bool TServiceApplication::RegisterServices(bool install, bool silent)
{
  const std::vector<TService*> services = ServiceList();
  TServiceHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (manager.Get() == nullptr) {
    const std::string error = SysErrorMessage(GetLastError());
    const std::string name = services.empty() ? Title : services.front()->DisplayName;
    ShowMessage(name + ": " + error, MB_OK | MB_ICONERROR);
    return false;
  }
  bool ok = true;
  for (TService* service : services) {
    try {
      if (install)
        service->Install(manager.Get());
      else
        service->Uninstall(manager.Get());
    } catch (const std::exception& e) {
      // Failures are shown even when silent: nobody would learn of them otherwise.
      ShowMessage(service->DisplayName + ": " + e.what(), MB_OK | MB_ICONERROR);
      ok = false;
    }
  }
  if (ok && !silent)
    ShowMessage(install ? "Service erfolgreich installiert" : "Service erfolgreich deinstalliert",
                MB_OK | MB_ICONINFORMATION);
  return ok;
}

void TServiceApplication::RunServices()
{
  std::unique_ptr<TServiceStartThread> dispatcher;
  try {
    dispatcher = std::make_unique<TServiceStartThread>(ServiceList(), mainThreadId_);
  } catch (const std::exception& e) {
    LogError(e.what());
    exitCode_ = 1;
    return;
  }
  application_->Run();
  // A quit that came from elsewhere ends the loop early: the services still
  // run, so their requests to the main thread and its timers are served on.
  while (!dispatcher->Finished()) {
    HANDLE handle = dispatcher->Handle();
    MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    application_->ProcessMessages();
  }
  if (!dispatcher->Succeeded()) {
    LogError(SysErrorMessage(dispatcher->ErrorCode()));
    exitCode_ = 1;
  }
}

void TServiceApplication::Synchronize(const std::function<void()>& work)
{
  if (GetCurrentThreadId() == mainThreadId_) {
    work();
    return;
  }
  TSynchronizeCall call{&work, nullptr};
  SendMessageA(syncWindow_->Handle(), kSynchronizeMessage, 0, reinterpret_cast<LPARAM>(&call));
  if (call.error)
    std::rethrow_exception(call.error);
}

void TServiceApplication::LogError(const std::string& message)
{
  if (eventLogger_ == nullptr) {
    const std::vector<TService*> services = ServiceList();
    eventLogger_ = std::make_unique<TEventLogger>(services.empty() ? Title : services.front()->Name());
  }
  eventLogger_->LogMessage(message, EVENTLOG_ERROR_TYPE);
}
