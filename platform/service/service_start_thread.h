#pragma once

#include <string>
#include <vector>

#include <windows.h>

class TService;

// The dispatcher thread: hands the program's services to the service control
// manager (StartServiceCtrlDispatcherA), which runs their control handlers on
// this thread. When the call returns (all services stopped, or it failed at
// once because the control manager did not start the program) it posts a quit
// message to the main thread.
class TServiceStartThread {
public:
  TServiceStartThread(const std::vector<TService*>& services, DWORD mainThreadId);
  ~TServiceStartThread();

  TServiceStartThread(const TServiceStartThread&) = delete;
  TServiceStartThread& operator=(const TServiceStartThread&) = delete;

  HANDLE Handle() const { return handle_; }
  bool Finished() const;
  void WaitFor();

  // Valid once finished.
  bool Succeeded() const { return succeeded_; }
  DWORD ErrorCode() const { return errorCode_; }

private:
  static DWORD WINAPI ThreadProc(void* self);
  void Execute();

  std::vector<std::string> names_;
  std::vector<SERVICE_TABLE_ENTRYA> table_;
  DWORD mainThreadId_;
  HANDLE handle_ = nullptr;
  bool succeeded_ = false;
  DWORD errorCode_ = 0;
};

// The routine each table entry names: finds the service by the name the
// control manager passes first and runs its main routine.
void WINAPI ServiceMainRoutine(DWORD argc, LPSTR* argv);
