// The main window's layout: every control with its place, size, look and
// handler binding. The captions that follow the language come from the
// caption table (main_form_settings.cpp), German as the window is made.
#include "desktop/main_form.h"

#include "desktop/tray_icon.h"
#include "platform/forms/button.h"
#include "platform/forms/check_box.h"
#include "platform/forms/combo_box.h"
#include "platform/forms/edit.h"
#include "platform/forms/group_box.h"
#include "platform/forms/image.h"
#include "platform/forms/label.h"
#include "platform/forms/list_box.h"
#include "platform/forms/menus.h"
#include "platform/forms/page_control.h"
#include "platform/forms/status_bar.h"
#include "platform/timer.h"

namespace {

// How often the status timer copies the core's values into the window, in ms.
constexpr std::uint32_t StatusInterval = 100;

// The developer's page of the second credit block (shown, not opened).
const char* const DeveloperWebUrl = KORVALIND_DEVELOPER_URL;

template <class T>
T* Make(TComponent* owner, const char* name, TWinControl* parent, int left, int top, int width, int height,
        const std::string& text = "")
{
  T* control = new T(owner);
  control->SetName(name);
  control->SetBounds(left, top, width, height);
  if (!text.empty())
    control->SetText(text);
  control->SetParent(parent);
  return control;
}

// A label of fixed size: it keeps its bounds whatever its text and font.
TLabel* MakeFixedLabel(TComponent* owner, const char* name, TWinControl* parent, int left, int top, int width,
                       int height, TAlignment alignment, const std::string& text = "")
{
  TLabel* label = new TLabel(owner);
  label->SetName(name);
  label->SetAutoSize(false);
  label->SetAlignment(alignment);
  label->SetBounds(left, top, width, height);
  label->SetText(text);
  label->SetParent(parent);
  return label;
}

TTabSheet* MakeSheet(TComponent* owner, const char* name, TPageControl* pages)
{
  TTabSheet* sheet = new TTabSheet(owner);
  sheet->SetName(name);
  sheet->SetPageControl(pages);
  return sheet;
}

void LoadPicture(TImage* image, const char* resourceName)
{
  image->Picture.LoadFromResourceName(GetModuleHandleA(nullptr), resourceName);
}

TImage* MakeLogo(TComponent* owner, const char* name, TWinControl* parent, int left, int top, int width, int height)
{
  TImage* logo = Make<TImage>(owner, name, parent, left, top, width, height);
  logo->SetCenter(true);
  logo->SetProportional(true);
  logo->SetStretch(true);
  logo->SetCursor(crHandPoint);
  LoadPicture(logo, "LOGO");
  return logo;
}

}  // namespace

void TMainForm::CreateControls()
{
  SetCaption("Korvalind");
  SetBorderStyle(bsSingle);
  SetBorderIcons(TBorderIcons{biSystemMenu, biMinimize});
  SetPosition(poScreenCenter);
  SetClientWidth(455);
  SetClientHeight(428);
  Font.SetName("MS Sans Serif");
  Font.SetHeight(11);

  StatusBar = new TStatusBar(this);
  StatusBar->SetName("StatusBar");
  StatusBar->SetSimplePanel(true);
  StatusBar->SetAlign(alBottom);
  StatusBar->SetHeight(19);
  StatusBar->SetParent(this);

  PageControl1 = new TPageControl(this);
  PageControl1->SetName("PageControl1");
  PageControl1->SetAlign(alClient);
  PageControl1->SetParent(this);

  CreateStatusSheet();
  CreateConfigSheet();
  CreateLogsSheet();
  CreateInfoSheet();
  SetTranslatedCaptions(true);
  PageControl1->SetActivePage(StateSheet);

  StatusTimer = new TTimer(this);
  StatusTimer->SetName("StatusTimer");
  StatusTimer->SetInterval(StatusInterval);
  StatusTimer->SetEnabled(true);
  StatusTimer->OnTimer = [this](TObject* sender) { StatusTimerTimer(sender); };

  CreateTray();
}

void TMainForm::CreateStatusSheet()
{
  StateSheet = MakeSheet(this, "StateSheet", PageControl1);
  StateSheet->OnShow = [this](TObject* sender) { StateSheetShow(sender); };

  lbIPAddress = MakeFixedLabel(this, "lbIPAddress", StateSheet, 8, 8, 429, 45, taCenter, "255.255.255.255");
  lbIPAddress->Font.SetName("Arial Black");
  lbIPAddress->Font.SetHeight(40);
  lbIPAddress->Font.SetStyle(TFontStyles{fsBold});
  lbIPAddress->Font.SetColor(clGradientActiveCaption);

  lbMess = MakeFixedLabel(this, "lbMess", StateSheet, 8, 56, 429, 157, taCenter);
  lbMess->SetWordWrap(true);
  lbMess->SetEllipsisPosition(epEndEllipsis);
  lbMess->Font.SetName("MS Sans Serif");
  lbMess->Font.SetHeight(13);
  lbMess->Font.SetStyle(TFontStyles{fsBold});
  lbMess->Font.SetColor(clRed);

  Image3 = MakeLogo(this, "Image3", StateSheet, 312, 226, 126, 140);
  Image3->OnClick = [this](TObject* sender) { KorvalindURLClick(sender); };

  // Wide enough for a time in the longest short-date and long-time formats
  // ("12/10/2026 12:39:30 AM") beside the German captions. Longer values (a
  // long host name) end in "..." inside the frame.
  gbAccountInfo = Make<TGroupBox>(this, "gbAccountInfo", StateSheet, 8, 216, 296, 154);
  auto value = [this](const char* name, int top, const char* text) {
    constexpr int ValueLeft = 136;
    constexpr int FrameRoom = 8;
    const int width = gbAccountInfo->Width() - ValueLeft - FrameRoom;
    TLabel* label = MakeFixedLabel(this, name, gbAccountInfo, ValueLeft, top, width, 14, taLeftJustify, text);
    label->SetEllipsisPosition(epEndEllipsis);
    return label;
  };
  lbIHostname = Make<TLabel>(this, "lbIHostname", gbAccountInfo, 10, 24, 110, 14);
  lbHostName = value("lbHostName", 24, "Unbekannt");
  lbIActualIP = Make<TLabel>(this, "lbIActualIP", gbAccountInfo, 10, 48, 110, 14);
  lbActualIP = value("lbActualIP", 48, "0.0.0.0");
  lbITariff = Make<TLabel>(this, "lbITariff", gbAccountInfo, 10, 72, 110, 14);
  lbTarif = value("lbTarif", 72, "Unbekannt");
  lbILastUpdate = Make<TLabel>(this, "lbILastUpdate", gbAccountInfo, 10, 96, 110, 14);
  lbLastUpdate = value("lbLastUpdate", 96, "Unbekannt");
  chkOffline = Make<TCheckBox>(this, "chkOffline", gbAccountInfo, 10, 122, 125, 17);
  chkOffline->SetAlignment(taLeftJustify);
  chkOffline->OnClick = [this](TObject* sender) { chkOfflineClick(sender); };
}

void TMainForm::CreateConfigSheet()
{
  ConfigSheet = MakeSheet(this, "ConfigSheet", PageControl1);
  ConfigSheet->OnShow = [this](TObject* sender) { ConfigSheetShow(sender); };

  gbAccountData = Make<TGroupBox>(this, "gbAccountData", ConfigSheet, 8, 4, 431, 104);
  lbAccount = Make<TLabel>(this, "lbAccount", gbAccountData, 12, 24, 80, 14);
  txtAccount = Make<TEdit>(this, "txtAccount", gbAccountData, 96, 20, 200, 21, "Account");
  lbDomain = Make<TLabel>(this, "lbDomain", gbAccountData, 12, 50, 80, 14);
  txtDomain = Make<TEdit>(this, "txtDomain", gbAccountData, 96, 46, 200, 21, "Domain");
  lbPassword = Make<TLabel>(this, "lbPassword", gbAccountData, 12, 76, 80, 14);
  txtPassword = Make<TEdit>(this, "txtPassword", gbAccountData, 96, 72, 200, 21, "Password");
  txtPassword->SetPasswordChar('*');
  Image5 = MakeLogo(this, "Image5", gbAccountData, 304, 14, 118, 82);
  Image5->OnClick = [this](TObject* sender) { KorvalindURLClick(sender); };

  btnSaveConfig = Make<TButton>(this, "btnSaveConfig", ConfigSheet, 334, 328, 105, 25);
  btnSaveConfig->SetDefault(true);
  btnSaveConfig->OnClick = [this](TObject* sender) { btnSaveConfigClick(sender); };

  gbLastSetIP = Make<TGroupBox>(this, "gbLastSetIP", ConfigSheet, 8, 112, 431, 54);
  lbLastSetIP = Make<TLabel>(this, "lbLastSetIP", gbLastSetIP, 12, 25, 120, 14);
  txtLastSetIP = Make<TEdit>(this, "txtLastSetIP", gbLastSetIP, 136, 21, 150, 21, "31.01.2002 22:43:14");
  txtLastSetIP->SetColor(clBtnFace);
  btnLastSetIP = Make<TButton>(this, "btnLastSetIP", gbLastSetIP, 296, 19, 126, 25);
  btnLastSetIP->OnClick = [this](TObject* sender) { btnLastSetIPClick(sender); };

  gbLastIPDetect = Make<TGroupBox>(this, "gbLastIPDetect", ConfigSheet, 8, 170, 431, 80);
  lbLastKnownIP = Make<TLabel>(this, "lbLastKnownIP", gbLastIPDetect, 12, 25, 120, 14);
  txtActualIP = Make<TEdit>(this, "txtActualIP", gbLastIPDetect, 136, 21, 150, 21, "255.255.255.255");
  txtActualIP->SetColor(clBtnFace);
  lbIPDetected = Make<TLabel>(this, "lbIPDetected", gbLastIPDetect, 12, 51, 120, 14);
  txtLastIPDetect = Make<TEdit>(this, "txtLastIPDetect", gbLastIPDetect, 136, 47, 150, 21, "31.01.2002  22:43:05");
  txtLastIPDetect->SetColor(clBtnFace);
  btnCheckIP = Make<TButton>(this, "btnCheckIP", gbLastIPDetect, 296, 33, 126, 25);
  btnCheckIP->OnClick = [this](TObject* sender) { btnCheckIPClick(sender); };

  gbLanguage = Make<TGroupBox>(this, "gbLanguage", ConfigSheet, 8, 254, 211, 56);
  lbLanguage = Make<TLabel>(this, "lbLanguage", gbLanguage, 12, 27, 60, 14);
  cbLanguage = Make<TComboBox>(this, "cbLanguage", gbLanguage, 76, 23, 125, 21);
  cbLanguage->SetStyle(csDropDownList);
  cbLanguage->Items.Add("Deutsch");
  cbLanguage->Items.Add("English");
  cbLanguage->SetItemIndex(0);
  cbLanguage->OnChange = [this](TObject* sender) { cbLanguageChange(sender); };

  gbLogVele = Make<TGroupBox>(this, "gbLogVele", ConfigSheet, 228, 254, 211, 56, "Logging");
  Label3 = Make<TLabel>(this, "Label3", gbLogVele, 12, 27, 60, 14, "Level:");
  cbLogging = Make<TComboBox>(this, "cbLogging", gbLogVele, 76, 23, 125, 21);
  cbLogging->SetStyle(csDropDown);
  for (const char* level : {"low", "normal", "high", "debug"})
    cbLogging->Items.Add(level);
  cbLogging->SetText("normal");
}

void TMainForm::CreateLogsSheet()
{
  LogsSheet = MakeSheet(this, "LogsSheet", PageControl1);

  lstLogs = new TListBox(this);
  lstLogs->SetName("lstLogs");
  lstLogs->SetAlign(alClient);
  lstLogs->SetParent(LogsSheet);
}

void TMainForm::CreateInfoSheet()
{
  InfoSheet = MakeSheet(this, "InfoSheet", PageControl1);
  InfoSheet->OnShow = [this](TObject* sender) { InfoSheetShow(sender); };

  lbVersion = MakeFixedLabel(this, "lbVersion", InfoSheet, 8, 10, 431, 16, taCenter, "Version");
  lbVersion->Font.SetStyle(TFontStyles{fsBold});
  Image4 = MakeLogo(this, "Image4", InfoSheet, 8, 32, 431, 96);
  Image4->OnClick = [this](TObject* sender) { KorvalindURLClick(sender); };
  Label4 = MakeFixedLabel(this, "Label4", InfoSheet, 8, 136, 431, 14, taCenter,
                          "Korvalind-Poster ist ein Programm der Korvalind Dienste.");
  Label2 = MakeFixedLabel(this, "Label2", InfoSheet, 8, 152, 431, 14, taCenter,
                          "Alle Rechte liegen bei den Korvalind Diensten.");

  GroupBox11 = Make<TGroupBox>(this, "GroupBox11", InfoSheet, 8, 176, 431, 176);
  Image1 = Make<TImage>(this, "Image1", GroupBox11, 16, 20, 48, 48);
  LoadPicture(Image1, "CREDIT_SERVICE");
  Label1 = Make<TLabel>(this, "Label1", GroupBox11, 80, 22, 330, 14, "Der Korvalind-Dienst wird betrieben von");
  Label11 = Make<TLabel>(this, "Label11", GroupBox11, 80, 38, 330, 14, "Korvalind Dienste (Beispiel)");
  Label11->Font.SetStyle(TFontStyles{fsBold});
  lbQubURL = Make<TLabel>(this, "lbQubURL", GroupBox11, 80, 54, 200, 14, MakerWebUrl);
  lbQubURL->Font.SetColor(clBlue);
  lbQubURL->SetCursor(crHandPoint);
  lbQubURL->OnClick = [this](TObject* sender) { lbQubURLClick(sender); };
  lbQubURL->OnMouseEnter = [this](TObject* sender) { lbQubURLMouseEnter(sender); };
  lbQubURL->OnMouseLeave = [this](TObject* sender) { lbQubURLMouseLeave(sender); };

  Image2 = Make<TImage>(this, "Image2", GroupBox11, 16, 100, 48, 48);
  LoadPicture(Image2, "CREDIT_DEVELOPER");
  Label13 = Make<TLabel>(this, "Label13", GroupBox11, 80, 102, 330, 14, "Das Windows-Programm wurde entwickelt von");
  Label14 = Make<TLabel>(this, "Label14", GroupBox11, 80, 118, 330, 14, "Beispiel-Entwickler");
  Label14->Font.SetStyle(TFontStyles{fsBold});
  lbTvmURL = Make<TLabel>(this, "lbTvmURL", GroupBox11, 80, 134, 200, 14, DeveloperWebUrl);
  lbTvmURL->Font.SetColor(clBlue);
  lbTvmURL->SetCursor(crHandPoint);
}

void TMainForm::CreateTray()
{
  TrayPopupMenu = new TPopupMenu(this);
  TrayPopupMenu->SetName("TrayPopupMenu");
  N1 = new TMenuItem(this);
  N1->SetName("N1");
  N1->SetCaption("-");
  TrayPopupMenu->Add(N1);
  itemExit = new TMenuItem(this);
  itemExit->SetName("itemExit");
  itemExit->SetCaption("Beenden");
  itemExit->OnClick = [this](TObject* sender) { itemExitClick(sender); };
  TrayPopupMenu->Add(itemExit);

  TrayIcon = new TTrayIcon(this);
  TrayIcon->SetName("TrayIcon");
  TrayIcon->Icon().LoadFromResourceName(GetModuleHandleA(nullptr), "TRAYICON");
  TrayIcon->SetIconIndex(0);
  TrayIcon->SetCycleInterval(0);
  TrayIcon->SetPopupMenu(TrayPopupMenu);
  TrayIcon->SetMinimizeToTray(true);
  TrayIcon->OnDblClick = [this](TObject* sender) { TrayIconDblClick(sender); };
  TrayIcon->SetIconVisible(true);
  TrayIcon->Loaded();
}
