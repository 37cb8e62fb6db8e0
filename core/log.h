#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include "platform/exception.h"

class TUdpClient;

// A log file that could not be opened or written.
class EInOutError : public Exception {
public:
  using Exception::Exception;
};

// The UDP port the log lines are broadcast to.
inline constexpr int LogBroadcastPort = 899;

// The log levels, as the settings tab offers them: "low", "normal", "high",
// "debug". A line passes when its level is at most the configured one.
inline constexpr std::uint8_t LogLow = 10;
inline constexpr std::uint8_t LogNormal = 20;
inline constexpr std::uint8_t LogHigh = 30;
inline constexpr std::uint8_t LogDebug = 40;

// Reports one line of the core. When level is at most LogLevel the line goes
// to the log file, the first free slot and LastMessage; when BroadcastLog is
// set and LogLevel is below 99 it is broadcast whatever its level. Never
// throws: a log file or broadcast that fails costs only that copy of the line.
void LogMessage(const std::string& text, std::uint8_t level);

// The start or stop banner, three lines at LogLow: ">>>>>", ">>>>>  " +
// IdentText + " " + event ("started.", "terminated."), ">>>>>".
void LogBanner(const std::string& event);

// Appends one line and CR LF to a text file (an empty fileName means the
// program's log file, GetProgramDir + "\" + program name + ".log"), with the
// date, one blank, the time and two blanks before it when withTime is set.
// Throws EInOutError when the file cannot be written.
void WriteLogFile(const std::string& text, bool withTime, const std::string& fileName);

// The time-stamped line WriteLogFile writes, for a given moment and locale.
std::string FormatLogLine(const std::string& text, const SYSTEMTIME& time, LCID locale);

// The UDP client that broadcasts the log lines (the data module's
// UDPBroadCastClient registers itself when created and null when destroyed);
// with none registered nothing is broadcast.
void SetLogBroadcastClient(TUdpClient* client);
