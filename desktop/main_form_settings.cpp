// The settings tab's loading and saving, the language switch and the
// information tab's version line.
#include <cctype>
#include <iterator>
#include <string>

#include "core/integer_text.h"
#include "core/korvalind_c.h"
#include "core/log.h"
#include "core/md5.h"
#include "core/program_info.h"
#include "core/service_endpoints.h"
#include "core/settings.h"
#include "desktop/main_form.h"
#include "platform/forms/button.h"
#include "platform/forms/check_box.h"
#include "platform/forms/combo_box.h"
#include "platform/forms/edit.h"
#include "platform/forms/group_box.h"
#include "platform/forms/label.h"
#include "platform/forms/page_control.h"
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
} LogLevels[] = {{"LOW", LogLow}, {"NORMAL", LogNormal}, {"HIGH", LogHigh}, {"DEBUG", LogDebug}};
constexpr int NormalLevelIndex = 1;

// The language list's items, in its order.
constexpr int GermanItem = 0;
constexpr int EnglishItem = 1;

// A text of this length or longer may be the stored digest (32 characters)
// that the settings tab put into the password edit; a shorter one is always
// a password the user typed.
constexpr std::size_t ShortestDigestLikeText = 30;

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

// A caption that follows the window's language.
struct TTranslatedCaption {
  TControl* Target;
  const char* German;
  const char* English;
};

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
  cbLanguage->SetItemIndex(german ? GermanItem : EnglishItem);
  LanguageCode = german ? "D" : "E";
  SetTranslatedCaptions(german);
  // The deactivated text wins when both flags are set; the label is set once.
  if (Deactivated)
    lbMess->SetCaption(german ? DeactivatedTextGerman : DeactivatedTextEnglish);
  else if (ConfigError)
    lbMess->SetCaption(german ? ConfigErrorTextGerman : ConfigErrorTextEnglish);
  appliedLanguage_ = TLanguageState{LanguageCode, ConfigError, Deactivated};
}

void TMainForm::SetTranslatedCaptions(bool german)
{
  // In the order the captions are set; pages by their index, hidden or not.
  const TTranslatedCaption captions[] = {
      {PageControl1->Pages(0), "Status", "Information"},
      {PageControl1->Pages(1), "Einstellungen", "Settings"},
      {PageControl1->Pages(2), "Log", "Logging"},
      {PageControl1->Pages(3), "Informationen", "About"},
      {gbAccountInfo, "Account Informationen", "Account Information"},
      {lbIHostname, "Hostname:", "Hostname:"},
      {lbIActualIP, "Aktuelle IP:", "Actual IP:"},
      {lbILastUpdate, "Letzte Aktualisierung:", "Last Update:"},
      {lbITariff, "Tarif:", "Tariff:"},
      {chkOffline, "Offline Modus", "Offline Mode"},
      {gbLanguage, "Sprache", "Language"},
      {lbLanguage, "Sprache:", "Language"},
      {gbAccountData, "Zugangsdaten", "Account Data"},
      {lbAccount, "Account:", "Account"},
      {lbDomain, "Domain:", "Domain"},
      {lbPassword, "Passwort:", "Password"},
      {gbLastSetIP, "Account Aktualisierung", "Account Update"},
      {lbLastSetIP, "Letzte Aktualisierung:", "Last Update:"},
      {btnLastSetIP, "Jetzt Aktualisieren", "Update Now"},
      {gbLastIPDetect, "IP Adressen Informationen", "IP Address Information"},
      {lbLastKnownIP, "Letzte bekannte IP:", "Last known IP:"},
      {lbIPDetected, "erkannt:", "detected:"},
      {btnCheckIP, "Jetzt Prüfen", "Check Now"},
      {btnSaveConfig, "Speichern", "Save"},
  };
  for (const auto& caption : captions)
    caption.Target->SetCaption(german ? caption.German : caption.English);
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
  txtAccount->SetText(ini.ReadString(AccountSection, "Account", ""));
  txtDomain->SetText(ini.ReadString(AccountSection, "Domain", korvalind::endpoints::ServiceDomain));
  passwordShown_ = ini.ReadString(AccountSection, "Passwd", "");
  txtPassword->SetText(passwordShown_);
  cbLogging->SetItemIndex(NormalLevelIndex);
  cbLogging->SetItemIndex(LevelIndexOfText(ini.ReadString(LoggingSection, "Level", std::to_string(LogNormal))));
}

void TMainForm::btnSaveConfigClick(TObject*)
{
  TIniFile ini(ConfigFilePath());
  ini.WriteString(AccountSection, "Account", txtAccount->Text());
  ini.WriteString(AccountSection, "Domain", txtDomain->Text());
  // The edit shows the stored digest, which must survive a save untouched;
  // every other text is a password the user typed, whatever its length, and
  // is stored as its digest (a long password must not be dropped silently).
  const std::string password = txtPassword->Text();
  if (password.size() < ShortestDigestLikeText || password != passwordShown_)
    ini.WriteString(AccountSection, "Passwd", Md5DigestToHex(Md5DigestOfText(password)));
  ini.WriteString(AccountSection, "Language", UpperCase(cbLanguage->Text()) == "DEUTSCH" ? "D" : "E");
  LogLevel = LevelOfName(cbLogging->Text());
  ini.WriteBool(AccountSection, "EXIT", false);
  ini.WriteBool(AccountSection, "CONFIGERROR", false);
  ini.WriteBool(AccountSection, "DEACTIVATED", false);
  ini.WriteString(LoggingSection, "Level", IntToText(LogLevel));
  UpdateNow();
}

void TMainForm::InfoSheetShow(TObject*)
{
  lbVersion->SetCaption(GetVersionValue("FileDescription") + " " + GetVersionValue("FileVersion"));
}
