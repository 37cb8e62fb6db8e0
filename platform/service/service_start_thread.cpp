#include "platform/service/service_start_thread.h"

#include "platform/service/os_error.h"
#include "platform/service/service.h"
#include "platform/service/service_application.h"

TServiceStartThread::TServiceStartThread(const std::vector<TService*>& services, DWORD mainThreadId)
    : mainThreadId_(mainThreadId)
{
  names_.reserve(services.size());
  for (TService* service : services)
    names_.push_back(service->Name());
  for (std::string& name : names_)
    table_.push_back({name.data(), &ServiceMainRoutine});
  table_.push_back({nullptr, nullptr});
  handle_ = CreateThread(nullptr, 0, &TServiceStartThread::ThreadProc, this, 0, nullptr);
  if (handle_ == nullptr)
    RaiseLastOSError();
}

TServiceStartThread::~TServiceStartThread()
{
  if (handle_ != nullptr) {
    WaitFor();
    CloseHandle(handle_);
  }
}

bool TServiceStartThread::Finished() const
{
  return handle_ == nullptr || WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0;
}

void TServiceStartThread::WaitFor()
{
  if (handle_ != nullptr)
    WaitForSingleObject(handle_, INFINITE);
}

DWORD WINAPI TServiceStartThread::ThreadProc(void* self)
{
  static_cast<TServiceStartThread*>(self)->Execute();
  return 0;
}

void TServiceStartThread::Execute()
{
  succeeded_ = StartServiceCtrlDispatcherA(table_.data()) != FALSE;
  errorCode_ = succeeded_ ? 0 : GetLastError();
  PostThreadMessageA(mainThreadId_, WM_QUIT, 0, 0);
}

void WINAPI ServiceMainRoutine(DWORD argc, LPSTR* argv)
{
  if (ServiceApplication == nullptr)
    return;
  TService* service =
      argc > 0 && argv != nullptr && argv[0] != nullptr ? ServiceApplication->FindService(argv[0]) : nullptr;
  if (service == nullptr && ServiceApplication->ServiceCount() > 0)
    service = ServiceApplication->Services(0);
  if (service != nullptr)
    service->Main(argc, argv);
}
