#include "platform/service/service.h"

#include <exception>

#include "platform/service/event_logger.h"
#include "platform/service/os_error.h"
#include "platform/service/service_application.h"
#include "platform/service/service_handle.h"
#include "platform/service/service_thread.h"

namespace {

bool IsPending(TCurrentStatus status)
{
  return status == TCurrentStatus::StartPending || status == TCurrentStatus::StopPending ||
         status == TCurrentStatus::ContinuePending || status == TCurrentStatus::PausePending;
}

DWORD StateValue(TCurrentStatus status)
{
  switch (status) {
  case TCurrentStatus::Stopped: return SERVICE_STOPPED;
  case TCurrentStatus::StartPending: return SERVICE_START_PENDING;
  case TCurrentStatus::StopPending: return SERVICE_STOP_PENDING;
  case TCurrentStatus::Running: return SERVICE_RUNNING;
  case TCurrentStatus::ContinuePending: return SERVICE_CONTINUE_PENDING;
  case TCurrentStatus::PausePending: return SERVICE_PAUSE_PENDING;
  case TCurrentStatus::Paused: return SERVICE_PAUSED;
  }
  return SERVICE_STOPPED;
}

DWORD StartTypeValue(TStartType type)
{
  switch (type) {
  case TStartType::Boot: return SERVICE_BOOT_START;
  case TStartType::System: return SERVICE_SYSTEM_START;
  case TStartType::Auto: return SERVICE_AUTO_START;
  case TStartType::Manual: return SERVICE_DEMAND_START;
  case TStartType::Disabled: return SERVICE_DISABLED;
  }
  return SERVICE_AUTO_START;
}

DWORD ErrorControlValue(TErrorSeverity severity)
{
  switch (severity) {
  case TErrorSeverity::Ignore: return SERVICE_ERROR_IGNORE;
  case TErrorSeverity::Normal: return SERVICE_ERROR_NORMAL;
  case TErrorSeverity::Severe: return SERVICE_ERROR_SEVERE;
  case TErrorSeverity::Critical: return SERVICE_ERROR_CRITICAL;
  }
  return SERVICE_ERROR_NORMAL;
}

// Name after name, each ended by a zero, the list ended by one more.
std::string MultiString(const std::vector<std::string>& names)
{
  std::string list;
  for (const std::string& name : names) {
    if (name.empty())
      continue;
    list += name;
    list += '\0';
  }
  list += '\0';
  return list;
}

}  // namespace

TService::TService(TComponent* owner) : TDataModule(owner) {}

TService::~TService() = default;

TCurrentStatus TService::Status() const
{
  std::lock_guard<std::mutex> lock(statusMutex_);
  return status_;
}

void TService::SetStatus(TCurrentStatus status)
{
  {
    std::lock_guard<std::mutex> lock(statusMutex_);
    status_ = status;
    checkPoint_ = 0;
  }
  ReportStatus();
}

DWORD TService::ServiceTypeValue() const
{
  switch (ServiceType) {
  case TServiceType::Device: return SERVICE_KERNEL_DRIVER;
  case TServiceType::FileSystem: return SERVICE_FILE_SYSTEM_DRIVER;
  case TServiceType::Win32: break;
  }
  return SERVICE_WIN32_OWN_PROCESS | (Interactive ? SERVICE_INTERACTIVE_PROCESS : 0);
}

DWORD TService::ControlsAccepted() const
{
  // A service on its way up or down takes no requests.
  if (status_ == TCurrentStatus::StartPending || status_ == TCurrentStatus::StopPending ||
      status_ == TCurrentStatus::Stopped)
    return 0;
  DWORD accepted = SERVICE_ACCEPT_SHUTDOWN;
  if (AllowStop)
    accepted |= SERVICE_ACCEPT_STOP;
  if (AllowPause)
    accepted |= SERVICE_ACCEPT_PAUSE_CONTINUE;
  return accepted;
}

SERVICE_STATUS TService::StatusRecord() const
{
  std::lock_guard<std::mutex> lock(statusMutex_);
  SERVICE_STATUS record{};
  record.dwServiceType = ServiceTypeValue();
  record.dwCurrentState = StateValue(status_);
  record.dwControlsAccepted = ControlsAccepted();
  if (ErrCode != 0) {
    record.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
    record.dwServiceSpecificExitCode = ErrCode;
  } else {
    record.dwWin32ExitCode = Win32ErrCode;
  }
  record.dwCheckPoint = checkPoint_;
  record.dwWaitHint = IsPending(status_) ? WaitHint : 0;
  return record;
}

void TService::ReportStatus()
{
  SERVICE_STATUS record;
  SERVICE_STATUS_HANDLE handle;
  {
    std::lock_guard<std::mutex> lock(statusMutex_);
    // Each report of a pending state is a step forward; the control manager
    // takes a checkpoint that stands still for a hung service.
    checkPoint_ = IsPending(status_) ? checkPoint_ + 1 : 0;
    handle = statusHandle_;
  }
  record = StatusRecord();
  if (handle != nullptr)
    SetServiceStatus(handle, &record);
}

void TService::Controller(DWORD code)
{
  const DWORD threadId = serviceThreadId_;
  if (threadId != 0 && PostThreadMessageA(threadId, CM_SERVICE_CONTROL_CODE, code, 0))
    return;
  // No service thread (yet, or any more): the control manager still wants an
  // answer to its question.
  if (code == SERVICE_CONTROL_INTERROGATE)
    ReportStatus();
}

void TService::Synchronize(const std::function<void()>& work)
{
  if (ServiceApplication != nullptr)
    ServiceApplication->Synchronize(work);
  else
    work();
}

void TService::LogMessage(const std::string& message, WORD eventType, WORD category, DWORD id)
{
  TEventLogger* logger;
  {
    std::lock_guard<std::mutex> lock(loggerMutex_);
    // The source is the service name, which is set after construction.
    if (eventLogger_ == nullptr)
      eventLogger_ = std::make_unique<TEventLogger>(Name());
    logger = eventLogger_.get();
  }
  logger->LogMessage(message, eventType, category, id);
}

std::string TService::BinaryPathName() const
{
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0)
      RaiseLastOSError();
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  if (path.find(' ') != std::string::npos)
    path = "\"" + path + "\"";
  return path;
}

void TService::Install(SC_HANDLE manager)
{
  const std::string path = BinaryPathName();
  const std::string dependencies = MultiString(Dependencies);
  const char* startName = ServiceStartName.empty() ? nullptr : ServiceStartName.c_str();
  const char* password = Password.empty() ? nullptr : Password.c_str();
  if (Interactive) {
    startName = nullptr;
    password = nullptr;
  }
  DWORD tag = TagID;
  // A tag exists only for drivers in a load-order group.
  const bool withTag = ServiceType != TServiceType::Win32 && !LoadGroup.empty();
  TServiceHandle service(CreateServiceA(
      manager, Name().c_str(), DisplayName.empty() ? Name().c_str() : DisplayName.c_str(), SERVICE_ALL_ACCESS,
      ServiceTypeValue(), StartTypeValue(StartType), ErrorControlValue(ErrorSeverity), path.c_str(),
      LoadGroup.empty() ? nullptr : LoadGroup.c_str(), withTag ? &tag : nullptr,
      dependencies.size() > 1 ? dependencies.c_str() : nullptr, startName, password));
  if (service.Get() == nullptr)
    RaiseLastOSError();
  if (withTag)
    TagID = tag;
}

void TService::Uninstall(SC_HANDLE manager)
{
  TServiceHandle service(OpenServiceA(manager, Name().c_str(), SERVICE_ALL_ACCESS));
  if (service.Get() == nullptr)
    RaiseLastOSError();
  if (!DeleteService(service.Get()))
    RaiseLastOSError();
}

void TService::Main(DWORD argc, LPSTR* argv)
{
  Params.clear();
  for (DWORD i = 1; i < argc; ++i)
    Params.emplace_back(argv[i] != nullptr ? argv[i] : "");

  SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerA(Name().c_str(), ControllerOverride());
  if (handle == nullptr) {
    LogMessage(SysErrorMessage(GetLastError()));
    return;
  }
  {
    std::lock_guard<std::mutex> lock(statusMutex_);
    statusHandle_ = handle;
  }
  Win32ErrCode = 0;
  ErrCode = 0;
  SetStatus(TCurrentStatus::StartPending);
  try {
    serviceThread_ = std::make_unique<TServiceThread>(this);
    serviceThread_->Start();
    serviceThread_->WaitFor();
  } catch (const std::exception& e) {
    LogMessage(e.what());
    if (Win32ErrCode == 0 && ErrCode == 0)
      Win32ErrCode = ERROR_EXCEPTION_IN_SERVICE;
  }
  serviceThreadId_ = 0;
  SetStatus(TCurrentStatus::Stopped);
}

void TService::HandleException(const char* where)
{
  try {
    throw;
  } catch (const std::exception& e) {
    LogMessage(e.what());
  } catch (...) {
    LogMessage(std::string("Unknown exception in ") + where);
  }
}

std::optional<bool> TService::AskControlHandler(const std::function<void(TService*, bool&)>& handler, const char* where)
{
  bool answer = true;
  try {
    if (handler)
      handler(this, answer);
  } catch (...) {
    HandleException(where);
    return std::nullopt;
  }
  return answer;
}

bool TService::DoStart()
{
  if (const std::optional<bool> started = AskControlHandler(OnStart, "OnStart"))
    return *started;
  if (Win32ErrCode == 0 && ErrCode == 0)
    Win32ErrCode = ERROR_EXCEPTION_IN_SERVICE;
  return false;
}

bool TService::DoStop()
{
  // The control manager asked for the stop: a handler that failed on its way
  // is reported, and the service stops all the same rather than hang in stop
  // pending.
  return AskControlHandler(OnStop, "OnStop").value_or(true);
}

bool TService::DoPause()
{
  return AskControlHandler(OnPause, "OnPause").value_or(false);
}

bool TService::DoContinue()
{
  return AskControlHandler(OnContinue, "OnContinue").value_or(false);
}

void TService::DoShutdown()
{
  try {
    if (OnShutdown)
      OnShutdown(this);
  } catch (...) {
    HandleException("OnShutdown");
  }
}

void TService::DoExecute()
{
  try {
    OnExecute(this);
  } catch (...) {
    HandleException("OnExecute");
  }
}
