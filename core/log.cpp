#include "core/log.h"

#include "core/date_time_text.h"
#include "core/program_info.h"
#include "core/settings.h"
#include "platform/udp_client.h"

namespace {

TUdpClient* broadcastClient = nullptr;

std::string LogFilePath()
{
  return GetProgramDir() + "\\" + GetProgramName(false) + ".log";
}

}  // namespace

std::string FormatLogLine(const std::string& text, const SYSTEMTIME& time, LCID locale)
{
  return DateTimeText(time, locale) + "  " + text + "\r\n";
}

void WriteLogFile(const std::string& text, bool withTime, const std::string& fileName)
{
  const std::string path = fileName.empty() ? LogFilePath() : fileName;
  std::string line = text + "\r\n";
  if (withTime) {
    // One reading of the clock, so date and time agree across midnight.
    SYSTEMTIME now;
    GetLocalTime(&now);
    line = FormatLogLine(text, now, LOCALE_USER_DEFAULT);
  }
  // Opened and closed per line, shared for reading, so the desktop client
  // and the service never hold a log file open between lines.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    throw EInOutError("Cannot open the log file " + path + " (error " + std::to_string(GetLastError()) + ")");
  DWORD written = 0;
  const BOOL ok = WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  const DWORD error = GetLastError();
  CloseHandle(file);
  if (!ok || written != line.size())
    throw EInOutError("Cannot write the log file " + path + " (error " + std::to_string(error) + ")");
}

void SetLogBroadcastClient(TUdpClient* client)
{
  broadcastClient = client;
}

void LogBanner(const std::string& event)
{
  LogMessage(">>>>>", LogLow);
  LogMessage(">>>>>  " + IdentText + " " + event, LogLow);
  LogMessage(">>>>>", LogLow);
}

void LogMessage(const std::string& text, std::uint8_t level)
{
  if (level <= LogLevel) {
    // A handler that logs inside its own error path must not lose its report
    // or skip its counters because the file is locked or the disk full.
    try {
      WriteLogFile(text, true, "");
    } catch (const std::exception& e) {
      OutputDebugStringA(e.what());
    }
    for (std::string& slot : LogSlots)
      if (slot.empty()) {
        slot = text;
        break;
      }
    LastMessage = text;
  }
  if (BroadcastLog && LogLevel < 99 && broadcastClient != nullptr) {
    try {
      broadcastClient->Broadcast(text, LogBroadcastPort);
    } catch (const std::exception& e) {
      OutputDebugStringA(e.what());
    }
  }
}
