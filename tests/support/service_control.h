#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

// Driving services through Wine's service control manager from a test.

// Runs a program with the given command line tail and waits for it to end;
// returns its exit code (ERROR_TIMEOUT when it had to be ended after two
// minutes). stderrFile, when not empty, receives its standard
// error stream. The environment is the test's own plus extraEnvironment
// ("NAME=value" entries).
DWORD RunProgram(const std::string& program, const std::string& arguments, const std::string& stderrFile = "",
                 const std::vector<std::string>& extraEnvironment = {});

// The registration of a service as the control manager holds it.
struct TServiceConfig {
  bool exists = false;
  DWORD serviceType = 0;
  DWORD startType = 0;
  DWORD errorControl = 0;
  std::string binaryPath;
  std::string startName;
  std::string displayName;
  std::string loadGroup;
};
TServiceConfig QueryConfig(const std::string& name);

// Stops the service if it runs and removes its registration: tests start
// from and leave behind a prefix without their services.
void RemoveService(const std::string& name);

// Starts the service with optional start arguments; false with the error in
// GetLastError when the control manager refuses.
bool StartService(const std::string& name, const std::vector<std::string>& arguments = {});

// Sends a control code; returns the status the control manager answered with,
// or a record with dwCurrentState 0 when it refused (error in lastError).
SERVICE_STATUS ControlService(const std::string& name, DWORD code, DWORD* lastError = nullptr);

// The current status (dwCurrentState 0 when it cannot be asked) and process id.
SERVICE_STATUS_PROCESS QueryStatus(const std::string& name);

// Polls until the service is in the given state; records every distinct
// status seen on the way (state, checkpoint, wait hint, controls accepted).
bool WaitForState(const std::string& name, DWORD state, std::chrono::milliseconds timeout,
                  std::vector<SERVICE_STATUS_PROCESS>* seen = nullptr);

// Waits until the process has ended.
bool WaitForProcessEnd(DWORD processId, std::chrono::milliseconds timeout);

// The texts of a log file's lines (date and time cut off), or of any text
// file's lines when it has no time stamps.
std::vector<std::string> ReadLogTexts(const std::string& file);
std::vector<std::string> ReadLines(const std::string& file);

// Polls until condition holds (no messages pumped).
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

// Copies a file; false when it fails.
bool CopyTo(const std::string& from, const std::string& to);
