#pragma once

#include <optional>
#include <string>

#include <windows.h>

#include "platform/forms/form.h"

class TButton;
class TCheckBox;
class TComboBox;
class TEdit;
class TGroupBox;
class TImage;
class TLabel;
class TListBox;
class TMenuItem;
class TPageControl;
class TPopupMenu;
class TStatusBar;
class TTabSheet;
class TTimer;
class TTrayIcon;

// The desktop client's only window: status, settings, log and information
// tabs, a status bar and the tray icon. It owns no state of the core: the
// status timer copies the core's process-wide values in ten times a second,
// and the buttons change korvalind.ini or nudge the core's timers.
class TMainForm : public TForm {
public:
  explicit TMainForm(TComponent* owner);
  ~TMainForm() override;

  TStatusBar* StatusBar;
  TPageControl* PageControl1;

  TTabSheet* StateSheet;
  TLabel* lbIPAddress;
  TLabel* lbMess;
  TImage* Image3;
  TGroupBox* gbAccountInfo;
  TLabel* lbIHostname;
  TLabel* lbHostName;
  TLabel* lbIActualIP;
  TLabel* lbActualIP;
  TLabel* lbITariff;
  TLabel* lbTarif;
  TLabel* lbILastUpdate;
  TLabel* lbLastUpdate;
  TCheckBox* chkOffline;

  TTabSheet* ConfigSheet;
  TGroupBox* gbAccountData;
  TLabel* lbAccount;
  TEdit* txtAccount;
  TLabel* lbDomain;
  TEdit* txtDomain;
  TLabel* lbPassword;
  TEdit* txtPassword;
  TImage* Image5;
  TButton* btnSaveConfig;
  TGroupBox* gbLastSetIP;
  TLabel* lbLastSetIP;
  TEdit* txtLastSetIP;
  TButton* btnLastSetIP;
  TGroupBox* gbLastIPDetect;
  TLabel* lbLastKnownIP;
  TEdit* txtActualIP;
  TLabel* lbIPDetected;
  TEdit* txtLastIPDetect;
  TButton* btnCheckIP;
  TGroupBox* gbLanguage;
  TLabel* lbLanguage;
  TComboBox* cbLanguage;
  TGroupBox* gbLogVele;
  TLabel* Label3;
  TComboBox* cbLogging;

  TTabSheet* LogsSheet;
  TListBox* lstLogs;

  TTabSheet* InfoSheet;
  TLabel* lbVersion;
  TImage* Image4;
  TLabel* Label4;
  TLabel* Label2;
  TGroupBox* GroupBox11;
  TImage* Image1;
  TImage* Image2;
  TLabel* Label1;
  TLabel* Label11;
  TLabel* lbQubURL;
  TLabel* Label13;
  TLabel* Label14;
  TLabel* lbTvmURL;

  TTimer* StatusTimer;
  TTrayIcon* TrayIcon;
  TPopupMenu* TrayPopupMenu;
  TMenuItem* N1;
  TMenuItem* itemExit;

  // Start-up (main_form.cpp)
  void FormCreate(TObject* Sender);

  // Status tab, status timer, tray and links (main_form.cpp)
  void StatusTimerTimer(TObject* Sender);
  void StateSheetShow(TObject* Sender);
  void chkOfflineClick(TObject* Sender);
  void btnCheckIPClick(TObject* Sender);
  void btnLastSetIPClick(TObject* Sender);
  void TrayIconDblClick(TObject* Sender);
  void itemExitClick(TObject* Sender);
  void lbQubURLMouseEnter(TObject* Sender);
  void lbQubURLMouseLeave(TObject* Sender);
  void lbQubURLClick(TObject* Sender);
  void KorvalindURLClick(TObject* Sender);

  // Settings tab, language and information tab (main_form_settings.cpp)
  void ConfigSheetShow(TObject* Sender);
  void btnSaveConfigClick(TObject* Sender);
  void cbLanguageChange(TObject* Sender);
  void InfoSheetShow(TObject* Sender);
  // Sets every translatable caption: "D" (any case) German, anything else
  // English; also the configuration-error and deactivated texts of lbMess.
  void ApplyLanguage(std::string code);

private:
  // The stored digest that the settings tab put into the password edit.
  std::string passwordShown_;

  // What the last ApplyLanguage depended on. Nothing else sets the captions
  // it sets, nor lbMess while a flag holds, and a choice in the language box
  // runs it; so the status tick applies the language again only when one of
  // these has changed since.
  struct TLanguageState {
    std::string Code;
    bool ConfigError;
    bool Deactivated;
    bool operator==(const TLanguageState&) const = default;
  };
  std::optional<TLanguageState> appliedLanguage_;

  // The controls with their places (main_form_layout.cpp).
  void CreateControls();
  // Every caption of the caption table in German or English
  // (main_form_settings.cpp).
  void SetTranslatedCaptions(bool german);
  void CreateStatusSheet();
  void CreateConfigSheet();
  void CreateLogsSheet();
  void CreateInfoSheet();
  void CreateTray();
};

// The one main window of the process, or null while none exists.
extern TMainForm* MainForm;

// The server message for which the last balloon was shown.
extern std::string ShownMessageText;

// The most entries the log tab keeps; the oldest goes first.
inline constexpr int LogListMax = 25;
// A line of the log tab: the date in the user's short date format, two
// blanks, the time in the user's long time format, three blanks, the text.
// Date and time come from one reading of the clock, so a line written at
// midnight carries the day it was written.
std::string LogListLine(const std::string& text, const SYSTEMTIME& time);

// Texts of lbMess while an error flag holds the core back (lines end in CR LF).
extern const std::string ConfigErrorTextGerman;
extern const std::string ConfigErrorTextEnglish;
extern const std::string DeactivatedTextGerman;
extern const std::string DeactivatedTextEnglish;

// The web pages the window opens: the maker's link and the service's logos.
extern const std::string MakerWebUrl;
extern const std::string ServiceWebUrl;
