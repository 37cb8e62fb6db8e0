#pragma once

#include <exception>
#include <functional>
#include <string>

#include <windows.h>

#include "platform/component.h"

// The one application object of a program: it owns the program's data modules
// and forms for the whole run and runs the message loop of the main thread.
class TApplication : public TComponent {
public:
  TApplication();
  ~TApplication() override;

  // Creates a form or data module owned by the application. Data modules run
  // their OnCreate once their constructor has finished.
  template <class T, class... Args>
  T* CreateForm(Args&&... args)
  {
    T* form = new T(this, std::forward<Args>(args)...);
    form->AfterConstruction();
    return form;
  }

  void Initialize() {}
  // Runs the message loop until Terminate.
  void Run();
  // Handles every message waiting in the queue, then returns.
  void ProcessMessages();
  // Handles one message, or waits for one when the queue is empty.
  void HandleMessage();
  // Ends the message loop. Safe from any thread: the quit request is posted to
  // the main thread's queue.
  void Terminate();
  bool Terminated() const { return terminated_; }

  DWORD MainThreadId() const { return mainThreadId_; }

  std::string Title;

  // Receives exceptions that escaped an event handler run by the message loop.
  // Without a handler they are written to the standard error stream.
  std::function<void(TObject* Sender, const std::exception& E)> OnException;
  void HandleException(TObject* sender, const std::exception& e);

private:
  bool ProcessMessage(MSG& msg);

  bool terminated_ = false;
  DWORD mainThreadId_;
};

// The program's application object, or null before it exists.
extern TApplication* Application;

// Last stop for an exception that escaped an event handler: hands it to the
// application, so nothing unwinds through a window procedure or timer callback.
void ReportUnhandledException(TObject* sender, const std::exception& e);
