#pragma once

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <windows.h>

#include "platform/component.h"

class TApplication;
class TForm;

// The forms layer's side of the application: what the application asks of
// its main form and of the form a key was typed in. The forms layer hands it
// over when it makes its first form, so a program that makes no form (the
// service) links neither that layer nor the common controls it imports, whose
// memory it would otherwise carry for its whole run (bench/footprint
// measures the programs' working sets).
class TFormsLayer {
public:
  // The component as a form with its window made, or null when it is none.
  virtual TForm* MainFormCandidate(TComponent* component) = 0;
  // The form's window when it has been made, else null; makes nothing.
  virtual HWND FormWindow(const TForm& form) = 0;
  // Offers a key message to the form its window lies in (Enter, Escape, Tab);
  // true when the form used it. Reports what a handler throws.
  virtual bool DialogKey(const MSG& message) = 0;
  // Shows the main form at the start of the message loop: minimised, it
  // minimises the application instead.
  virtual void ShowMainForm(TApplication& application, TForm& form) = 0;
  // Gives a minimised main form back its normal state.
  virtual void RestoreMainForm(TForm& form) = 0;
  virtual void Close(TForm& form) = 0;

protected:
  ~TFormsLayer() = default;
};

// A hook on the application window: sees every message of that window before
// the application handles it. message.hwnd is the application window; the
// hook may change wParam/lParam for those after it. Returning true ends the
// handling: no later hook and no default handling runs, and the message's
// result is 0.
using TWindowHook = std::function<bool(MSG& message)>;

// The one application object of a program: it owns the program's data modules
// and forms for the whole run and runs the message loop of the main thread.
//
// Application window: a top-level window of no size that carries the
// program's taskbar button and owns every form. It is made on the first
// Handle() call (forms make it when they make their windows), shown with the
// main form and hidden with the application (HideAppWindow of a tray icon
// does that directly). Its messages: the hooks first, in the order they were
// added; then SC_MINIMIZE minimises the application, SC_RESTORE restores it,
// WM_CLOSE closes the main form; anything else goes to DefWindowProcA.
class TApplication : public TComponent {
public:
  TApplication();
  ~TApplication() override;

  // Creates a form or data module owned by the application. Data modules run
  // their OnCreate once their constructor has finished.
  // The first form made so becomes the main form, once its OnCreate ran.
  template <class T, class... Args>
  T* CreateForm(Args&&... args)
  {
    T* form = new T(this, std::forward<Args>(args)...);
    form->AfterConstruction();
    FormCreated(form);
    return form;
  }

  void Initialize() {}
  // Runs the message loop until Terminate; first shows the main form when
  // ShowMainForm is true (hidden forms stay hidden). Closing the main form
  // terminates.
  void Run();
  // Handles every message waiting in the queue, then returns.
  void ProcessMessages();
  // Handles one message, waiting for one when the queue is empty.
  void HandleMessage();
  // Ends the message loop. Safe from any thread: the quit request is posted to
  // the main thread's queue.
  void Terminate();
  bool Terminated() const { return terminated_; }

  DWORD MainThreadId() const { return mainThreadId_; }

  // The application window (made on first use).
  HWND Handle();
  bool HandleAllocated() const { return handle_ != nullptr; }

  TForm* MainForm() const { return mainForm_; }
  // Run() shows the main form when true (the start).
  bool ShowMainForm = true;

  // id names the hook for UnhookMainWindow (usually the hooking object);
  // hooking again under the same id replaces the hook in its place. Safe to
  // call from inside a hook.
  void HookMainWindow(const void* id, TWindowHook hook);
  void UnhookMainWindow(const void* id);

  // Minimises the application window (the forms go with it) / brings it
  // back from minimised; Restore also makes the main form's WindowState
  // wsNormal. Both do nothing when the window is already so.
  void Minimize();
  void Restore();
  bool Minimized() const;

  // The taskbar button's text and the caption of ShowException's box; the
  // program's file name without its extension unless the program sets one.
  std::string Title;

  // Receives exceptions that escaped an event handler run by the message loop.
  // Without a handler they are written to the standard error stream.
  std::function<void(TObject* Sender, const std::exception& E)> OnException;
  void HandleException(TObject* sender, const std::exception& e);
  // Shows the exception's message in a modal error box captioned Title.
  // An exception that arrives while such a box is open goes to the standard
  // error stream instead, so a failing timer cannot stack up boxes.
  void ShowException(const std::exception& e);

  // Writes Title into the application window's caption (the taskbar
  // button's text); the window takes Title when it is made.
  void UpdateTitle();

  // Called by the forms layer when it makes a form; the layer stays for the
  // rest of the process.
  static void UseFormsLayer(TFormsLayer& layer);

private:
  friend class TForm;
  // Forgets the main form; its destructor calls this before its own
  // components go.
  void MainFormDestroyed();
  // The main form's window while it is made and shown, else null.
  HWND ShownMainFormWindow() const;
  // Handles a message taken from the queue; WM_QUIT ends the loop.
  void DispatchTaken(MSG& msg);
  void FormCreated(TComponent* form);
  static LRESULT CALLBACK AppWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam);
  void Notification(TComponent* component, TOperation operation) override;

  static std::atomic<TFormsLayer*> formsLayer_;

  bool terminated_ = false;
  bool showingException_ = false;
  DWORD mainThreadId_;
  HWND handle_ = nullptr;
  TForm* mainForm_ = nullptr;
  // The same object as a component: the base compares and reports with it
  // without knowing the forms' class tree.
  TComponent* mainFormComponent_ = nullptr;
  struct THookEntry {
    const void* id;
    std::shared_ptr<TWindowHook> hook;
  };
  std::vector<THookEntry> hooks_;
};

// The program's application object, or null before it exists.
extern TApplication* Application;

// Last stop for an exception that escaped an event handler: hands it to the
// application, so nothing unwinds through a window procedure or timer callback.
void ReportUnhandledException(TObject* sender, const std::exception& e);
// The same from inside a catch block, for whatever was thrown; one that is no
// std::exception arrives as "Unknown exception". Every place that runs an
// event handler (window procedures, the message loop, timers, menu commands,
// tray callbacks) ends its guard with this, so a failure reads the same
// whichever way the user set the handler off.
void ReportCurrentException(TObject* sender);
