// The main window's behaviour: start-up, the status timer, the status tab,
// the tray handlers and the web links. Its controls are placed in
// main_form_layout.cpp; the settings tab, the language switch and the
// information tab are in main_form_settings.cpp.
#include "desktop/main_form.h"

#include <shellapi.h>

#include "core/date_time_text.h"
#include "core/korvalind_c.h"
#include "core/program_info.h"
#include "core/service_endpoints.h"
#include "core/settings.h"
#include "desktop/tray_icon.h"
#include "platform/application.h"
#include "platform/command_line.h"
#include "platform/forms/check_box.h"
#include "platform/forms/edit.h"
#include "platform/forms/label.h"
#include "platform/forms/list_box.h"
#include "platform/forms/page_control.h"
#include "platform/forms/status_bar.h"
#include "platform/ini_file.h"
#include "platform/timer.h"

TMainForm* MainForm = nullptr;
std::string ShownMessageText;

const std::string MakerWebUrl = KORVALIND_MAKER_URL;
const std::string ServiceWebUrl = korvalind::endpoints::WebUrl;

namespace {

// After the update button cleared a flag: the endpoint lookups run again
// within this many ms.
constexpr std::uint32_t LookupRestartInterval = 100;

// The balloon that tells of a new server message.
const char* const BalloonTitle = "Korvalind";
constexpr std::uint8_t BalloonTimeoutSeconds = 20;

// Tariff codes have two letters; a code of any other length leaves the label.
constexpr std::size_t TariffCodeLength = 2;

// The tariff's display name, or null for a code the window does not know.
const char* TariffName(const std::string& code)
{
  static const struct {
    const char* Code;
    const char* Name;
  } Tariffs[] = {
      {"PA", "Privat A"},   {"PB", "Privat B"},    {"BA", "Business A"},  {"BB", "Business B"},
      {"BC", "Business C"}, {"HA", "Heartbeat A"}, {"HB", "Heartbeat B"}, {"HC", "Heartbeat C"},
  };
  for (const auto& tariff : Tariffs)
    if (code == tariff.Code)
      return tariff.Name;
  return nullptr;
}

}  // namespace

TMainForm::TMainForm(TComponent* owner) : TForm(owner)
{
  SetName("MainForm");
  MainForm = this;
  CreateControls();
  OnCreate = [this](TObject* sender) { FormCreate(sender); };
}

TMainForm::~TMainForm()
{
  if (MainForm == this)
    MainForm = nullptr;
}

void TMainForm::FormCreate(TObject*)
{
  LoadConfig();
  ApplyLanguage(LanguageCode);
  if (ConfigError) {
    KorvalindC->TimerSetIP->SetEnabled(false);
    KorvalindC->TimerMyIP->SetEnabled(false);
    KorvalindC->TimerDNSCheck->SetEnabled(false);
    KorvalindC->TimerDNSRandom->SetEnabled(false);
    KorvalindC->TimerDNS->SetEnabled(false);
    KorvalindC->TimerSleep->SetEnabled(false);
  }
  PageControl1->SetActivePageIndex(0);
  SetCaption(GetVersionValue("FileDescription") + " " + GetVersionValue("ProductVersion"));
  if (ParamList().size() > 1)
    LogsSheet->SetTabVisible(false);
  ModeName = "GUI";
  StartClient("W");
}

void TMainForm::StatusTimerTimer(TObject*)
{
  lbHostName->SetCaption(AccountName + "." + DomainName);
  lbActualIP->SetCaption(CurrentIP);
  lbLastUpdate->SetCaption(LastUpdateTime);
  lbIPAddress->SetCaption(CurrentIP);
  txtActualIP->SetText(CurrentIP);
  txtLastIPDetect->SetText(LastDetectTime);
  txtLastSetIP->SetText(LastUpdateTime);

  if (TariffCode.size() == TariffCodeLength)
    if (const char* name = TariffName(TariffCode))
      lbTarif->SetCaption(name);

  StatusBar->SetSimpleText(LastMessage);

  // The clock is read once per tick, and only for a tick that has lines:
  // under Wine a reading looks at the time zone file again once a second.
  SYSTEMTIME now;
  bool clockRead = false;
  for (std::string& slot : LogSlots) {
    if (!slot.empty()) {
      if (!clockRead) {
        GetLocalTime(&now);
        clockRead = true;
      }
      lstLogs->Items.Add(LogListLine(slot, now));
    }
    if (lstLogs->Items.Count() > LogListMax)
      lstLogs->Items.Delete(0);
  }
  for (std::string& slot : LogSlots)
    slot.clear();

  if (MessageText != ShownMessageText) {
    ShownMessageText = MessageText;
    TrayIcon->ShowTrayBalloon(BalloonTitle, MessageText, TBalloonHintIcon::bhiInfo, BalloonTimeoutSeconds);
  }
  // A raised flag puts its own text into lbMess when the language is applied
  // below; the server's message only goes in while neither is set, so the
  // label changes only when its text does.
  if (!ConfigError && !Deactivated)
    lbMess->SetCaption(MessageText);

  const bool failing = UpdateErrorCount != 0 || DetectErrorCount != 0;
  lbIPAddress->Font.SetColor(failing ? clRed : clGradientActiveCaption);

  // Unless the language or a flag has changed since the last ApplyLanguage,
  // setting every caption again would find them all as they are.
  if (appliedLanguage_ != TLanguageState{LanguageCode, ConfigError, Deactivated})
    ApplyLanguage(LanguageCode);
}

std::string LogListLine(const std::string& text, const SYSTEMTIME& time)
{
  return DateText(&time, LOCALE_USER_DEFAULT) + "  " + TimeText(&time, LOCALE_USER_DEFAULT) + "   " + text;
}

void TMainForm::StateSheetShow(TObject*)
{
  const TIniFile ini(ConfigFilePath());
  chkOffline->SetChecked(ini.ReadBool(AccountSection, "Offline", false));
}

void TMainForm::chkOfflineClick(TObject*)
{
  try {
    TIniFile ini(ConfigFilePath());
    ini.WriteBool(AccountSection, "Offline", chkOffline->Checked());
  } catch (...) {
    // The box goes back to what the file holds: otherwise the next show of
    // the status tab finds the two apart and writes, and fails, once more.
    // Its click writes the stored value, which fails in turn or changes
    // nothing, so it needs no guard.
    chkOffline->SetChecked(TIniFile(ConfigFilePath()).ReadBool(AccountSection, "Offline", false));
    throw;
  }
  UpdateNow();
}

void TMainForm::btnCheckIPClick(TObject*)
{
  CheckIPNow();
}

void TMainForm::btnLastSetIPClick(TObject*)
{
  if (ConfigError || Deactivated) {
    TIniFile ini(ConfigFilePath());
    ini.WriteBool(AccountSection, "CONFIGERROR", false);
    ini.WriteBool(AccountSection, "DEACTIVATED", false);
    ConfigError = false;
    ApplyLanguage(LanguageCode);
    KorvalindC->TimerDNS->SetInterval(LookupRestartInterval);
    KorvalindC->TimerDNS->SetEnabled(true);
  }
  UpdateNow();
}

void TMainForm::TrayIconDblClick(TObject*)
{
  if (Visible())
    TrayIcon->HideToTray();
  else
    TrayIcon->RestoreFromTray();
}

void TMainForm::itemExitClick(TObject*)
{
  TrayIcon->HideToTray();
  Close();
}

void TMainForm::lbQubURLMouseEnter(TObject*)
{
  lbQubURL->Font.SetStyle(TFontStyles{fsUnderline});
}

void TMainForm::lbQubURLMouseLeave(TObject*)
{
  lbQubURL->Font.SetStyle(TFontStyles{});
}

void TMainForm::lbQubURLClick(TObject*)
{
  ShellExecuteA(Handle(), "open", MakerWebUrl.c_str(), "", "", SW_SHOWNORMAL);
}

void TMainForm::KorvalindURLClick(TObject*)
{
  ShellExecuteA(Handle(), "open", ServiceWebUrl.c_str(), "", "", SW_SHOWNORMAL);
}
