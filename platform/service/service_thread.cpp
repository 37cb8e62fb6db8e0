#include "platform/service/service_thread.h"

#include "platform/service/os_error.h"
#include "platform/service/service.h"

TServiceThread::TServiceThread(TService* service) : service_(service) {}

TServiceThread::~TServiceThread()
{
  if (handle_ != nullptr) {
    WaitFor();
    CloseHandle(handle_);
  }
  if (ready_ != nullptr)
    CloseHandle(ready_);
}

void TServiceThread::Start()
{
  ready_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (ready_ == nullptr)
    RaiseLastOSError();
  handle_ = CreateThread(nullptr, 0, &TServiceThread::ThreadProc, this, 0, &threadId_);
  if (handle_ == nullptr)
    RaiseLastOSError();
  HANDLE waits[] = {ready_, handle_};
  WaitForMultipleObjects(2, waits, FALSE, INFINITE);
}

void TServiceThread::WaitFor()
{
  if (handle_ != nullptr && GetCurrentThreadId() != threadId_)
    WaitForSingleObject(handle_, INFINITE);
}

DWORD WINAPI TServiceThread::ThreadProc(void* self)
{
  static_cast<TServiceThread*>(self)->Execute();
  return 0;
}

void TServiceThread::Execute()
{
  // A thread has a message queue only once it asks for a message.
  MSG msg;
  PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  service_->SetServiceThreadId(GetCurrentThreadId());
  SetEvent(ready_);

  if (service_->DoStart()) {
    service_->SetStatus(TCurrentStatus::Running);
    if (service_->OnExecute) {
      service_->DoExecute();
    } else {
      while (!Terminated())
        ProcessRequests(true);
    }
  }
  service_->SetServiceThreadId(0);
}

void TServiceThread::ProcessRequests(bool waitForMessage)
{
  MSG msg;
  for (;;) {
    if (Terminated())
      return;
    BOOL got;
    if (waitForMessage) {
      got = GetMessageA(&msg, nullptr, 0, 0);
      if (got == -1)
        return;
      if (got == 0) {
        Terminate();
        return;
      }
      waitForMessage = false;
    } else {
      got = PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);
      if (!got)
        return;
      if (msg.message == WM_QUIT) {
        Terminate();
        return;
      }
    }
    if (msg.hwnd == nullptr && msg.message == CM_SERVICE_CONTROL_CODE) {
      HandleControlCode(static_cast<DWORD>(msg.wParam));
    } else {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

void TServiceThread::HandleControlCode(DWORD code)
{
  switch (code) {
  case SERVICE_CONTROL_STOP: Stop(); break;
  case SERVICE_CONTROL_PAUSE: Pause(); break;
  case SERVICE_CONTROL_CONTINUE:
    // Only a paused service continues; Pause's wait acts on this code.
    if (service_->Status() == TCurrentStatus::Paused) {
      service_->SetStatus(TCurrentStatus::ContinuePending);
      service_->SetStatus(service_->DoContinue() ? TCurrentStatus::Running : TCurrentStatus::Paused);
    }
    break;
  case SERVICE_CONTROL_INTERROGATE: service_->ReportStatus(); break;
  case SERVICE_CONTROL_SHUTDOWN:
    service_->SetStatus(TCurrentStatus::StopPending);
    service_->DoShutdown();
    Terminate();
    break;
  default: break;
  }
}

void TServiceThread::Stop()
{
  const TCurrentStatus before = service_->Status();
  service_->SetStatus(TCurrentStatus::StopPending);
  if (service_->DoStop())
    Terminate();
  else
    service_->SetStatus(before);
}

void TServiceThread::Pause()
{
  if (service_->Status() != TCurrentStatus::Running)
    return;
  service_->SetStatus(TCurrentStatus::PausePending);
  if (!service_->DoPause()) {
    service_->SetStatus(TCurrentStatus::Running);
    return;
  }
  service_->SetStatus(TCurrentStatus::Paused);
  // Paused, the thread does nothing but wait for the next control code: a
  // suspension that a code posted at any moment ends, so none is lost the way
  // a resume that comes before the suspend would be.
  while (service_->Status() == TCurrentStatus::Paused && !Terminated())
    ProcessRequests(true);
}
