#include "core/settings.h"

#include "core/log.h"
#include "core/program_info.h"
#include "core/service_endpoints.h"
#include "platform/ini_file.h"

std::string AccountName;
std::string DomainName;
std::string PasswordHash;
std::string LanguageCode = "E";
std::string RequestLanguage = "E";
std::uint8_t LogLevel = 0;
bool BroadcastLog = false;
bool OfflineMode = false;
bool ConfigError = false;
bool Deactivated = false;
bool Sleeping = false;
bool DaemonMode = false;
bool DesktopClientRunning = false;
std::string ModeName;
std::string IdentText;
std::string ClientAuthCode = "MERVAT430";
std::string SessionCode = "UNDEFINED";

std::string UpdateServerIP = "0.0.0.0";
std::string DetectServerIP = "0.0.0.0";
std::string HeartBeatServerIP = "0.0.0.0";
std::string UpdateFallbackIPs[6] = {
    korvalind::endpoints::UpdateFallbackIPs[0], korvalind::endpoints::UpdateFallbackIPs[1],
    korvalind::endpoints::UpdateFallbackIPs[2], korvalind::endpoints::UpdateFallbackIPs[3],
    korvalind::endpoints::UpdateFallbackIPs[4], korvalind::endpoints::UpdateFallbackIPs[5],
};
std::string DetectFallbackIPs[4] = {
    korvalind::endpoints::DetectFallbackIPs[0],
    korvalind::endpoints::DetectFallbackIPs[1],
    korvalind::endpoints::DetectFallbackIPs[2],
    korvalind::endpoints::DetectFallbackIPs[3],
};

std::string LogSlots[LogSlotCount];
std::string LastMessage;

int UpdateErrorCount = 0;
int DetectErrorCount = 0;
int ExceptionCount = 0;
int DNSDiffCount = 0;
int DNSProblemCount = 0;

std::string MessageText;
int SetIPInterval = 0;
int MyIPInterval = 0;
std::string HeartBeatToken;
std::string TariffCode;

std::string CurrentIP;
std::string PreviousIP;
std::string OlderIP;
std::string DetectedIP;
std::string LastDetectTime;
std::string LastUpdateTime;

std::string ConfigFilePath()
{
  return GetProgramDir() + "\\korvalind.ini";
}

void LoadConfig()
{
  const TIniFile ini(ConfigFilePath());
  AccountName = ini.ReadString(AccountSection, "Account", "");
  DomainName = ini.ReadString(AccountSection, "Domain", korvalind::endpoints::ServiceDomain);
  PasswordHash = ini.ReadString(AccountSection, "Passwd", "");
  LanguageCode = ini.ReadString(AccountSection, "Language", "E");
  LogLevel = static_cast<std::uint8_t>(ini.ReadInteger(LoggingSection, "Level", LogNormal) & 0xFF);
  BroadcastLog = ini.ReadBool(OptionsSection, "Broadcast", false);
  OfflineMode = ini.ReadBool(AccountSection, "Offline", false);
  ConfigError = ini.ReadBool(AccountSection, "CONFIGERROR", false);
}
