#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

// korvalind.exe started from a test: a copy of the program in a folder of the
// test's own, so its ini and log files stay there.
class TDesktopProgram {
public:
  explicit TDesktopProgram(const std::string& folder);
  ~TDesktopProgram();
  TDesktopProgram(const TDesktopProgram&) = delete;
  TDesktopProgram& operator=(const TDesktopProgram&) = delete;

  const std::string& Folder() const { return folder_; }
  // Starts the program with the given command-line tail; false when it cannot.
  bool Start(const std::string& arguments = "");
  bool Running() const;
  // Waits for the end; false on a timeout.
  bool WaitForEnd(std::chrono::milliseconds timeout) const;
  DWORD ExitCode() const;
  DWORD ProcessId() const { return info_.dwProcessId; }
  // Ends it without asking (a test that failed halfway).
  void Kill();

  // The first top-level window of the process whose class and title match
  // (null: any), hidden windows included.
  HWND FindWindowOf(const char* className, const char* title) const;
  HWND WaitForWindow(const char* className, const char* title, std::chrono::milliseconds timeout) const;

private:
  std::string folder_;
  PROCESS_INFORMATION info_{};
};

// The texts of a window's child windows of the given class, in order.
std::vector<std::string> ChildTexts(HWND window, const char* className);

// Polls until condition holds (no messages pumped).
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// The main window's caption with the desktop program's version resource.
inline constexpr const char* MainWindowCaption = "Korvalind-Poster GUI 4.3";
