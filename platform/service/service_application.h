#pragma once

#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include <windows.h>

#include "platform/application.h"
#include "platform/component.h"
#include "platform/service/service.h"

class THiddenWindow;
class TEventLogger;

// The application object of a service program. It owns the service modules;
// everything else it creates goes to the window application underneath,
// whose message loop runs on the main thread while the service control
// manager's requests arrive on threads of the framework. Create it on the
// main thread.
class TServiceApplication : public TComponent {
public:
  TServiceApplication();
  ~TServiceApplication() override;

  // Service modules are created and owned here; any other form or data
  // module is created by the window application, on the main thread.
  template <class T, class... Args>
  T* CreateForm(Args&&... args)
  {
    if constexpr (std::is_base_of_v<TService, T>) {
      T* service = new T(this, std::forward<Args>(args)...);
      service->AfterConstruction();
      return service;
    } else {
      return application_->template CreateForm<T>(std::forward<Args>(args)...);
    }
  }

  // Initializes the window application underneath, which is told not to
  // show a main form.
  void Initialize();

  // With "INSTALL" or "UNINSTALL" (after "-" or "/", any case) registers or
  // removes the services, with a message box unless "SILENT" is given too;
  // otherwise hands the services to the control manager on the dispatcher
  // thread and runs the main thread's message loop until the dispatcher
  // returns. A dispatcher that failed is written to the event log.
  void Run();

  // The command line's arguments after the program name (tests set them).
  std::vector<std::string> Params;
  // The caption of the message boxes.
  std::string Title;
  // Shows a message box; while set it is called instead of the system's box
  // (a test must never wait for a person to close one).
  std::function<int(const std::string& text, const std::string& caption, UINT type)> OnMessageBox;

  // 0 after a successful run; 1 when registration, removal or the dispatcher
  // failed; 2 for a command line that asks for both INSTALL and UNINSTALL.
  int ExitCode() const { return exitCode_; }

  bool Installing() const;

  int ServiceCount() const { return static_cast<int>(ServiceList().size()); }
  TService* Services(int index) const { return ServiceList().at(static_cast<std::size_t>(index)); }
  TService* FindService(const std::string& name) const;

  // Registers (install true) or removes every service; false when one failed.
  bool RegisterServices(bool install, bool silent);

  // Runs work on the main thread and waits until it is done; an exception it
  // throws is rethrown in the caller. Direct when called on the main thread.
  void Synchronize(const std::function<void()>& work);
  DWORD MainThreadId() const { return mainThreadId_; }

  // Writes to the event log under the first service's name.
  void LogError(const std::string& message);

  TApplication* WindowApplication() const { return application_; }

private:
  std::vector<TService*> ServiceList() const;
  int ShowMessage(const std::string& text, UINT type);
  void RunServices();

  TApplication* application_ = nullptr;
  std::unique_ptr<TApplication> ownApplication_;
  std::unique_ptr<THiddenWindow> syncWindow_;
  std::unique_ptr<TEventLogger> eventLogger_;
  DWORD mainThreadId_;
  int exitCode_ = 0;
};

// The program's service application, or null before it exists.
extern TServiceApplication* ServiceApplication;
