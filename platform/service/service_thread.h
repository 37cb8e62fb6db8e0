#pragma once

#include <atomic>

#include <windows.h>

class TService;

// The thread message that carries a control code (in wParam) to the service
// thread.
inline constexpr UINT CM_SERVICE_CONTROL_CODE = WM_USER + 1;

// The service thread: runs the start handler, then the loop that acts on
// control codes, and ends once the service has stopped.
class TServiceThread {
public:
  explicit TServiceThread(TService* service);
  ~TServiceThread();

  TServiceThread(const TServiceThread&) = delete;
  TServiceThread& operator=(const TServiceThread&) = delete;

  // Starts the thread and returns once its message queue exists, so a control
  // code posted from then on is not lost.
  void Start();
  // Waits until the thread has ended.
  void WaitFor();

  DWORD ThreadId() const { return threadId_; }
  HANDLE Handle() const { return handle_; }

  // Acts on the control codes waiting in the thread's queue; with
  // waitForMessage it first waits for one. Call on the service thread only.
  void ProcessRequests(bool waitForMessage);

  bool Terminated() const { return terminated_; }
  void Terminate() { terminated_ = true; }

private:
  static DWORD WINAPI ThreadProc(void* self);
  void Execute();
  void HandleControlCode(DWORD code);
  void Stop();
  void Pause();

  TService* service_;
  HANDLE handle_ = nullptr;
  HANDLE ready_ = nullptr;
  DWORD threadId_ = 0;
  std::atomic<bool> terminated_{false};
};
