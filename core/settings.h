#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The client core's process-wide values: the configuration loaded from
// korvalind.ini, flags, counters, endpoint addresses, reply values, the address
// history and the log slots. Shared by the core and both front ends, main
// thread only.

// The sections of korvalind.ini.
inline constexpr const char* AccountSection = "ACCOUNT";
inline constexpr const char* LoggingSection = "LOGGING";
inline constexpr const char* OptionsSection = "OPTIONS";

extern std::string AccountName;
extern std::string DomainName;
extern std::string PasswordHash;
extern std::string LanguageCode;     // "E" or "D": the window's language
extern std::string RequestLanguage;  // the update request's lang field, always "E"
extern std::uint8_t LogLevel;        // 0 until the first LoadConfig
extern bool BroadcastLog;
extern bool OfflineMode;
extern bool ConfigError;
extern bool Deactivated;
extern bool Sleeping;
extern bool DaemonMode;
extern bool DesktopClientRunning;
extern std::string ModeName;  // "GUI" or "Daemon"
extern std::string IdentText;
extern std::string ClientAuthCode;  // "MERVAT430" plus the mode letter once started
extern std::string SessionCode;

extern std::string UpdateServerIP;
extern std::string DetectServerIP;
extern std::string HeartBeatServerIP;
extern std::string UpdateFallbackIPs[6];
extern std::string DetectFallbackIPs[4];

// Pending log lines for the desktop window; empty when free.
inline constexpr int LogSlotCount = 9;
extern std::string LogSlots[LogSlotCount];
extern std::string LastMessage;

extern int UpdateErrorCount;
extern int DetectErrorCount;
extern int ExceptionCount;
extern int DNSDiffCount;
extern int DNSProblemCount;

extern std::string MessageText;
extern int SetIPInterval;  // ms
extern int MyIPInterval;   // ms
// Short texts: their writers keep at most ShortTextMax characters.
inline constexpr std::size_t ShortTextMax = 255;
extern std::string HeartBeatToken;
extern std::string TariffCode;

extern std::string CurrentIP;
extern std::string PreviousIP;
extern std::string OlderIP;
extern std::string DetectedIP;
extern std::string LastDetectTime;
extern std::string LastUpdateTime;

// GetProgramDir + "\korvalind.ini".
std::string ConfigFilePath();

// Reads the file anew into the configuration values; a missing file or key
// gives the defaults. Deactivated, DEACTIVATED and EXIT are never read.
void LoadConfig();
