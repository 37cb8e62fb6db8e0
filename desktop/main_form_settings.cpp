// The settings tab's loading and saving, the language switch and the
// information tab's version line.
#include <cctype>
#include <iterator>
#include <string>

#include "core/integer_text.h"
#include "core/md5.h"
#include "core/program_info.h"
#include "core/service_endpoints.h"
#include "core/settings.h"
#include "desktop/main_form.h"
#include "platform/forms/page_control.h"
#include "platform/forms/std_controls.h"
#include "platform/ini_file.h"

namespace {

const std::string AccountPortalGerman = std::string(korvalind::endpoints::WebUrl) + "account/";
const std::string PasswordResetPage = std::string(korvalind::endpoints::WebUrl) + "passwort/";
// The service's English-language site.
const std::string AccountPortalEnglish = std::string(KORVALIND_WEB_URL_ENGLISH) + "account/";

std::string UpperCase(std::string text)
{
  for (char& c : text)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// The levels of the settings tab's list, in its order.
const struct {
  const char* Name;  // in upper case: a typed name matches in any case
  std::uint8_t Level;
} LogLevels[] = {{"LOW", 10}, {"NORMAL", 20}, {"HIGH", 30}, {"DEBUG", 40}};
constexpr int NormalLevelIndex = 1;

// The list's index for the stored level text (compared exactly).
int LevelIndexOfText(const std::string& text)
{
  for (int i = 0; i < static_cast<int>(std::size(LogLevels)); ++i)
    if (text == std::to_string(LogLevels[i].Level))
      return i;
  return NormalLevelIndex;
}

// The level of a level name typed in any case; anything else is "normal".
std::uint8_t LevelOfName(const std::string& name)
{
  const std::string upper = UpperCase(name);
  for (const auto& level : LogLevels)
    if (upper == level.Name)
      return level.Level;
  return LogLevels[NormalLevelIndex].Level;
}

}  // namespace

const std::string ConfigErrorTextGerman =
    "Kontrollieren Sie bitte Ihre Account-Konfiguration\r\n"
    "und korrigieren Sie diese bitte gegebenenfalls.\r\n"
    "\r\n"
    "Haben Sie Ihr Passwort korrekt eingegeben?\r\n"
    "Haben Sie es vergessen, hilft " +
    PasswordResetPage +
    "\r\n"
    "\r\n"
    "Weitere Infos finden Sie auch auf " +
    AccountPortalGerman + "\r\n";

const std::string ConfigErrorTextEnglish =
    "Please check your account configuration\r\n"
    "Please have a look at " +
    AccountPortalEnglish + "\r\n";

const std::string DeactivatedTextGerman =
    "Die Account-Aktualisieurng war nicht erfolgreich.\r\n"
    "Ist Ihr Vertrag möglicherweise ausgelaufen?\r\n"
    "Weitere Infos finden Sie auch auf " +
    AccountPortalGerman + "\r\n";

const std::string DeactivatedTextEnglish = ConfigErrorTextEnglish + "\r\nHas your contract been finished?";

void TMainForm::ApplyLanguage(std::string code)
{
  code = UpperCase(code);
  const bool german = code == "D";
  cbLanguage->SetItemIndex(german ? 0 : 1);
  LanguageCode = german ? "D" : "E";
  auto caption = [german](auto* target, const char* de, const char* en) { target->SetCaption(german ? de : en); };
  caption(PageControl1->Pages(0), "Status", "Information");
  caption(PageControl1->Pages(1), "Einstellungen", "Settings");
  caption(PageControl1->Pages(2), "Log", "Logging");
  caption(PageControl1->Pages(3), "Informationen", "About");
  caption(gbAccountInfo, "Account Informationen", "Account Information");
  caption(lbIHostname, "Hostname:", "Hostname:");
  caption(lbIActualIP, "Aktuelle IP:", "Actual IP:");
  caption(lbILastUpdate, "Letzte Aktualisierung:", "Last Update:");
  caption(lbITariff, "Tarif:", "Tariff:");
  caption(chkOffline, "Offline Modus", "Offline Mode");
  caption(gbLanguage, "Sprache", "Language");
  caption(lbLanguage, "Sprache:", "Language");
  caption(gbAccountData, "Zugangsdaten", "Account Data");
  caption(lbAccount, "Account:", "Account");
  caption(lbDomain, "Domain:", "Domain");
  caption(lbPassword, "Passwort:", "Password");
  caption(gbLastSetIP, "Account Aktualisierung", "Account Update");
  caption(lbLastSetIP, "Letzte Aktualisierung:", "Last Update:");
  caption(btnLastSetIP, "Jetzt Aktualisieren", "Update Now");
  caption(gbLastIPDetect, "IP Adressen Informationen", "IP Address Information");
  caption(lbLastKnownIP, "Letzte bekannte IP:", "Last known IP:");
  caption(lbIPDetected, "erkannt:", "detected:");
  caption(btnCheckIP, "Jetzt Prüfen", "Check Now");
  caption(btnSaveConfig, "Speichern", "Save");
  // The deactivated text wins when both flags are set; the label is set once.
  if (Deactivated)
    lbMess->SetCaption(german ? DeactivatedTextGerman : DeactivatedTextEnglish);
  else if (ConfigError)
    lbMess->SetCaption(german ? ConfigErrorTextGerman : ConfigErrorTextEnglish);
  appliedLanguage_ = TLanguageState{LanguageCode, ConfigError, Deactivated};
}

void TMainForm::cbLanguageChange(TObject*)
{
  const std::string chosen = UpperCase(cbLanguage->Text());
  if (chosen == "DEUTSCH")
    ApplyLanguage("D");
  if (chosen == "ENGLISH")
    ApplyLanguage("E");
}

void TMainForm::ConfigSheetShow(TObject*)
{
  const TIniFile ini(ConfigFilePath());
  txtAccount->SetText(ini.ReadString("ACCOUNT", "Account", ""));
  txtDomain->SetText(ini.ReadString("ACCOUNT", "Domain", korvalind::endpoints::ServiceDomain));
  passwordShown_ = ini.ReadString("ACCOUNT", "Passwd", "");
  txtPassword->SetText(passwordShown_);
  cbLogging->SetItemIndex(1);
  cbLogging->SetItemIndex(LevelIndexOfText(ini.ReadString("LOGGING", "Level", "20")));
}

void TMainForm::btnSaveConfigClick(TObject*)
{
  TIniFile ini(ConfigFilePath());
  ini.WriteString("ACCOUNT", "Account", txtAccount->Text());
  ini.WriteString("ACCOUNT", "Domain", txtDomain->Text());
  // The edit shows the stored digest, which must survive a save untouched;
  // every other text is a password the user typed, whatever its length, and
  // is stored as its digest (a long password must not be dropped silently).
  const std::string password = txtPassword->Text();
  if (password.size() < 30 || password != passwordShown_)
    ini.WriteString("ACCOUNT", "Passwd", Md5DigestToHex(Md5DigestOfText(password)));
  ini.WriteString("ACCOUNT", "Language", UpperCase(cbLanguage->Text()) == "DEUTSCH" ? "D" : "E");
  LogLevel = LevelOfName(cbLogging->Text());
  ini.WriteBool("ACCOUNT", "EXIT", false);
  ini.WriteBool("ACCOUNT", "CONFIGERROR", false);
  ini.WriteBool("ACCOUNT", "DEACTIVATED", false);
  ini.WriteString("LOGGING", "Level", IntToText(LogLevel));
  UpdateNow();
}

void TMainForm::InfoSheetShow(TObject*)
{
  lbVersion->SetCaption(GetVersionValue("FileDescription") + " " + GetVersionValue("FileVersion"));
}
