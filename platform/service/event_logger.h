#pragma once

#include <functional>
#include <mutex>
#include <string>

#include <windows.h>

// Writes messages to the system's application event log under one source
// name. The source is registered on the first message; safe from any thread.
class TEventLogger {
public:
  explicit TEventLogger(std::string name);
  ~TEventLogger();

  TEventLogger(const TEventLogger&) = delete;
  TEventLogger& operator=(const TEventLogger&) = delete;

  const std::string& Name() const { return name_; }

  // Failures of the event log itself are swallowed: the log is where a
  // program reports its last words, there is nowhere further to report to.
  void LogMessage(const std::string& message, WORD eventType = EVENTLOG_ERROR_TYPE, WORD category = 0, DWORD id = 0);

  // While set, every message of every logger goes here instead of to the
  // system's event log (tests read what a program would have logged).
  using TEventSink = std::function<void(const std::string& source, const std::string& message, WORD eventType,
                                        WORD category, DWORD id)>;
  static void SetSink(TEventSink sink);

private:
  std::string name_;
  std::mutex mutex_;
  HANDLE handle_ = nullptr;
};
