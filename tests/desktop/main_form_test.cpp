#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include <windows.h>
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/log.h"
#include "core/md5.h"
#include "core/settings.h"
#include "desktop/main_form.h"
#include "desktop/tray_icon.h"
#include "desktop/tray_shell.h"
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
#include "platform/ini_file.h"
#include "tests/core/core_fixture.h"

namespace {

// The core's data module (CoreTest) and the main window on top of it; the
// shell's tray requests are recorded instead of sent.
class MainFormTest : public CoreTest {
protected:
  void SetUp() override
  {
    TrayShell().NotifyIcon = [this](DWORD message, NOTIFYICONDATAA* data) {
      shellRequests_.push_back(message);
      if (message == NIM_MODIFY && (data->uFlags & NIF_INFO) != 0)
        balloons_.push_back({data->szInfoTitle, data->szInfo, data->uTimeout, data->dwInfoFlags});
      return TRUE;
    };
    CoreTest::SetUp();
    ShownMessageText.clear();
  }
  void TearDown() override
  {
    CoreTest::TearDown();
    EXPECT_EQ(nullptr, MainForm) << "the reference goes with the form";
    ResetTrayShell();
    TPopupMenu::SetTrackFunction(nullptr);
  }

  // Made after the test has written its ini file: FormCreate reads it.
  TMainForm* Form()
  {
    if (form_ == nullptr)
      form_ = application_->CreateForm<TMainForm>();
    return form_;
  }
  void Tick() { Form()->StatusTimerTimer(nullptr); }
  // As the shell reports a double-click on the tray icon.
  void DoubleClickTrayIcon()
  {
    for (LPARAM event : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
      SendMessageA(SharedTrayHandler->Handle(), TTrayIcon::CallbackMessage, Form()->TrayIcon->Identifier(), event);
  }
  std::string Ini(const char* section, const char* key) const
  {
    return TIniFile(ConfigFilePath()).ReadString(section, key, "(none)");
  }
  // The balloons shown, without the requests that only take one away.
  std::vector<std::string> BalloonTexts() const
  {
    std::vector<std::string> texts;
    for (const auto& balloon : balloons_)
      if (!balloon.Text.empty())
        texts.push_back(balloon.Text);
    return texts;
  }

  struct TBalloon {
    std::string Title, Text;
    UINT Timeout;
    DWORD Flags;
  };
  std::vector<TBalloon> balloons_;
  std::vector<DWORD> shellRequests_;
  TMainForm* form_ = nullptr;
};

TEST_F(MainFormTest, StartUpLoadsTheConfigurationSetsTheCaptionAndStartsTheCore)
{
  WriteAccountIni("Language=D\r\n");
  TMainForm* form = Form();
  EXPECT_EQ("Korvalind-Poster GUI 4.3", form->Caption());
  EXPECT_EQ("D", LanguageCode);
  EXPECT_EQ("Einstellungen", form->ConfigSheet->Caption());
  EXPECT_EQ("Log", form->LogsSheet->Caption());
  EXPECT_EQ(form->StateSheet, form->PageControl1->ActivePage());
  EXPECT_TRUE(form->LogsSheet->TabVisible());
  EXPECT_EQ("GUI", ModeName);
  EXPECT_EQ("MERVAT430W", ClientAuthCode);
  EXPECT_TRUE(core_->TimerSetIP->Enabled());
  EXPECT_FALSE(core_->TimerMyIP->Enabled());
}

TEST_F(MainFormTest, ConfigurationErrorHoldsTheCoreBackUntilTheUpdateButton)
{
  WriteAccountIni("CONFIGERROR=1\r\n");
  TMainForm* form = Form();
  for (TTimer* timer :
       {core_->TimerMyIP, core_->TimerDNSCheck, core_->TimerDNSRandom, core_->TimerDNS, core_->TimerSleep})
    EXPECT_FALSE(timer->Enabled()) << timer->Name();
  EXPECT_TRUE(core_->TimerSetIP->Enabled()) << "the start routine switches the update timer on again";
  Tick();
  EXPECT_EQ(ConfigErrorTextEnglish, form->lbMess->Caption());

  form->btnLastSetIPClick(nullptr);
  EXPECT_FALSE(ConfigError);
  EXPECT_EQ("0", Ini(AccountSection, "CONFIGERROR"));
  EXPECT_EQ("0", Ini(AccountSection, "DEACTIVATED"));
  EXPECT_TRUE(core_->TimerDNS->Enabled());
  EXPECT_EQ(100u, core_->TimerDNS->Interval());
  EXPECT_EQ(2500u, core_->TimerSetIP->Interval());
}

TEST_F(MainFormTest, UpdateButtonClearsTheIniFlagsAndRestartsTheLookupsOnlyWhileAFlagIsSet)
{
  WriteAccountIni();
  TMainForm* form = Form();
  const struct {
    bool ConfigError, Deactivated;
    const char* IniFlags;  // CONFIGERROR and DEACTIVATED in the file afterwards
    bool LookupsRestarted;
  } states[] = {
      {false, false, "(none)", false},
      {true, false, "0", true},
      {false, true, "0", true},
      {true, true, "0", true},
  };
  for (const auto& state : states) {
    const std::string flags = std::to_string(state.ConfigError) + std::to_string(state.Deactivated);
    WriteAccountIni();
    ConfigError = state.ConfigError;
    Deactivated = state.Deactivated;
    core_->TimerDNS->SetEnabled(false);
    core_->TimerDNS->SetInterval(1000);
    core_->TimerSetIP->SetInterval(5000);
    form->btnLastSetIPClick(nullptr);
    EXPECT_EQ(state.IniFlags, Ini(AccountSection, "CONFIGERROR")) << flags;
    EXPECT_EQ(state.IniFlags, Ini(AccountSection, "DEACTIVATED")) << flags;
    EXPECT_FALSE(ConfigError) << flags;
    EXPECT_EQ(state.Deactivated, Deactivated) << flags << ": only the file's flag is cleared";
    EXPECT_EQ(state.LookupsRestarted, core_->TimerDNS->Enabled()) << flags;
    EXPECT_EQ(state.LookupsRestarted ? 100u : 1000u, core_->TimerDNS->Interval()) << flags;
    EXPECT_TRUE(core_->TimerSetIP->Enabled()) << flags;
    EXPECT_EQ(2500u, core_->TimerSetIP->Interval()) << flags << ": an update soon";
  }
}

TEST_F(MainFormTest, AtMostNineLogLinesPerTickInSlotOrder)
{
  WriteAccountIni();
  TMainForm* form = Form();
  Tick();
  const int before = form->lstLogs->Items.Count();
  LogLevel = LogDebug;
  for (int i = 1; i <= 10; ++i)
    LogMessage(">>>>>    line " + std::to_string(i), LogLow);
  Tick();
  ASSERT_EQ(before + 9, form->lstLogs->Items.Count());
  // date, two blanks, time (which may carry an AM/PM marker), three blanks
  const std::regex entry(R"(\S+  \S+(?: \S+)?   >>>>>    line (\d+))");
  for (int i = 0; i < 9; ++i) {
    std::smatch match;
    const std::string& line = form->lstLogs->Items[before + i];
    ASSERT_TRUE(std::regex_match(line, match, entry)) << line;
    EXPECT_EQ(std::to_string(i + 1), match[1].str());
  }
  for (const auto& slot : LogSlots)
    EXPECT_TRUE(slot.empty());
}

TEST_F(MainFormTest, LogListKeepsTheNewest25Entries)
{
  WriteAccountIni();
  TMainForm* form = Form();
  for (int i = 1; i <= 40; ++i) {
    LogSlots[0] = "entry " + std::to_string(i);
    Tick();
  }
  ASSERT_EQ(LogListMax, form->lstLogs->Items.Count());
  EXPECT_THAT(form->lstLogs->Items[0], testing::EndsWith("   entry 16"));
  EXPECT_THAT(form->lstLogs->Items[24], testing::EndsWith("   entry 40"));
}

TEST_F(MainFormTest, TariffLabelShowsOnlyKnownTwoLetterCodes)
{
  WriteAccountIni();
  TMainForm* form = Form();
  Tick();
  EXPECT_EQ("Unbekannt", form->lbTarif->Caption());
  TariffCode = "HB";
  Tick();
  EXPECT_EQ("Heartbeat B", form->lbTarif->Caption());
  for (const char* code : {"hb", "PBX", "P", "ZZ", ""}) {
    TariffCode = code;
    Tick();
    EXPECT_EQ("Heartbeat B", form->lbTarif->Caption()) << code;
  }
}

TEST_F(MainFormTest, OneBalloonPerChangeOfTheServerMessage)
{
  WriteAccountIni();
  Form();
  Tick();
  EXPECT_TRUE(BalloonTexts().empty()) << "an empty message pops no balloon";
  MessageText = "Wartung heute Nacht";
  Tick();
  Tick();
  MessageText = "Wartung beendet";
  Tick();
  EXPECT_THAT(BalloonTexts(), testing::ElementsAre("Wartung heute Nacht", "Wartung beendet"));
  ASSERT_FALSE(balloons_.empty());
  EXPECT_EQ("Korvalind", balloons_.back().Title);
  EXPECT_EQ(20000u, balloons_.back().Timeout);
  EXPECT_EQ(static_cast<DWORD>(NIIF_INFO), balloons_.back().Flags);
  const auto requests = balloons_.size();
  MessageText.clear();
  Tick();
  EXPECT_GT(balloons_.size(), requests);
  EXPECT_EQ("", balloons_.back().Text) << "an emptied message takes the balloon away";
  EXPECT_EQ(2u, BalloonTexts().size());
}

TEST_F(MainFormTest, MessageLabelPrefersDeactivatedThenConfigurationErrorThenServerMessage)
{
  WriteAccountIni("Language=D\r\n");
  TMainForm* form = Form();
  MessageText = "Hallo";
  Tick();
  EXPECT_EQ("Hallo", form->lbMess->Caption());
  ConfigError = true;
  Tick();
  EXPECT_EQ(ConfigErrorTextGerman, form->lbMess->Caption());
  Deactivated = true;
  Tick();
  EXPECT_EQ(DeactivatedTextGerman, form->lbMess->Caption());
  ConfigError = false;
  form->ApplyLanguage("E");
  Tick();
  EXPECT_EQ(DeactivatedTextEnglish, form->lbMess->Caption());
}

TEST_F(MainFormTest, AddressTurnsRedWhileAnUpdateOrDetectionHasFailed)
{
  WriteAccountIni();
  TMainForm* form = Form();
  // In this order: the colour comes back once both counters are 0 again.
  const struct {
    int UpdateErrors, DetectErrors;
    TColor Colour;
  } states[] = {
      {0, 0, clGradientActiveCaption},
      {0, 1, TColor{255}},
      {2, 0, TColor{255}},
      {0, 0, clGradientActiveCaption},
  };
  for (const auto& state : states) {
    UpdateErrorCount = state.UpdateErrors;
    DetectErrorCount = state.DetectErrors;
    Tick();
    EXPECT_EQ(state.Colour, form->lbIPAddress->Font.Color()) << state.UpdateErrors << " " << state.DetectErrors;
  }
}

TEST_F(MainFormTest, StatusTabShowFollowsTheIniOfflineValue)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->StateSheetShow(nullptr);
  EXPECT_FALSE(form->chkOffline->Checked());
  core_->TimerSetIP->SetInterval(5000);
  TIniFile(ConfigFilePath()).WriteBool(AccountSection, "Offline", true);
  form->StateSheetShow(nullptr);
  EXPECT_TRUE(form->chkOffline->Checked());
  EXPECT_EQ("1", Ini(AccountSection, "Offline"));
  EXPECT_EQ(2500u, core_->TimerSetIP->Interval()) << "the changed box asks for an update";
}

TEST_F(MainFormTest, AnUntouchedPasswordEditWritesNothing)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->ConfigSheetShow(nullptr);
  EXPECT_EQ(TestPasswordDigest, form->txtPassword->Text());
  EXPECT_EQ("debug", form->cbLogging->Text());
  form->btnSaveConfigClick(nullptr);
  EXPECT_EQ(TestPasswordDigest, Ini(AccountSection, "Passwd"));
  EXPECT_EQ(TestAccount, Ini(AccountSection, "Account"));
  EXPECT_EQ("40", Ini(LoggingSection, "Level"));

  // The digest changed in the file while the tab was open: the save must not
  // turn the old digest shown in the edit into a digest of a digest.
  const std::string edited = Md5DigestToHex(Md5DigestOfText("edited by hand"));
  TIniFile(ConfigFilePath()).WriteString(AccountSection, "Passwd", edited);
  form->btnSaveConfigClick(nullptr);
  EXPECT_EQ(edited, Ini(AccountSection, "Passwd"));
}

TEST_F(MainFormTest, TypedPasswordsAreStoredAsTheirDigestWhateverTheirLength)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->ConfigSheetShow(nullptr);
  // 32 characters that look like a digest but are not the stored one.
  const std::string digestLike = Md5DigestToHex(Md5DigestOfText("something else"));
  for (const std::string& password :
       {std::string(), std::string(29, 'p'), std::string(30, 'p'), std::string(40, 'p'), digestLike}) {
    form->txtPassword->SetText(password);
    form->btnSaveConfigClick(nullptr);
    EXPECT_EQ(Md5DigestToHex(Md5DigestOfText(password)), Ini(AccountSection, "Passwd")) << password.size();
  }
}

TEST_F(MainFormTest, LevelNamesInAnyCaseAndEverythingElseIsNormal)
{
  WriteAccountIni();
  TMainForm* form = Form();
  const struct {
    const char* Name;
    int Level;
  } cases[] = {{"LOW", LogLow},     {"Normal", LogNormal},  {"hIgH", LogHigh},
               {"DeBuG", LogDebug}, {"verbose", LogNormal}, {"", LogNormal}};
  for (const auto& c : cases) {
    form->cbLogging->SetText(c.Name);
    form->btnSaveConfigClick(nullptr);
    EXPECT_EQ(c.Level, LogLevel) << c.Name;
    EXPECT_EQ(std::to_string(c.Level), Ini(LoggingSection, "Level")) << c.Name;
  }
  for (const auto& [text, index] :
       std::vector<std::pair<const char*, int>>{{"10", 0}, {"30", 2}, {"40", 3}, {"50", 1}, {"low", 1}}) {
    TIniFile(ConfigFilePath()).WriteString(LoggingSection, "Level", text);
    form->ConfigSheetShow(nullptr);
    EXPECT_EQ(index, form->cbLogging->ItemIndex()) << text;
  }
}

TEST_F(MainFormTest, SavingClearsTheThreeFlagsInTheIniOnly)
{
  WriteAccountIni();
  TMainForm* form = Form();
  ConfigError = true;
  form->btnSaveConfigClick(nullptr);
  EXPECT_EQ("0", Ini(AccountSection, "EXIT"));
  EXPECT_EQ("0", Ini(AccountSection, "CONFIGERROR"));
  EXPECT_EQ("0", Ini(AccountSection, "DEACTIVATED"));
  EXPECT_TRUE(ConfigError);
}

TEST_F(MainFormTest, ApplyLanguageTakesLowerCaseGermanAndAnythingElseAsEnglish)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->ApplyLanguage("d");
  EXPECT_EQ("D", LanguageCode);
  EXPECT_EQ(0, form->cbLanguage->ItemIndex());
  EXPECT_EQ("Jetzt Prüfen", form->btnCheckIP->Caption());
  EXPECT_EQ("Passwort:", form->lbPassword->Caption());
  for (const char* code : {"x", "", "de"}) {
    form->ApplyLanguage("D");
    form->ApplyLanguage(code);
    EXPECT_EQ("E", LanguageCode) << code;
    EXPECT_EQ(1, form->cbLanguage->ItemIndex()) << code;
    EXPECT_EQ("Check Now", form->btnCheckIP->Caption()) << code;
    EXPECT_EQ("Password", form->lbPassword->Caption()) << code;
    EXPECT_EQ("About", form->PageControl1->Pages(3)->Caption()) << code;
  }
}

TEST_F(MainFormTest, UnsavedLanguageLastsUntilTheNextConfigurationReload)
{
  WriteAccountIni("Language=D\r\n");
  TMainForm* form = Form();
  form->cbLanguage->SetItemIndex(1);
  form->cbLanguageChange(nullptr);
  EXPECT_EQ("Settings", form->ConfigSheet->Caption());
  Tick();
  EXPECT_EQ("Settings", form->ConfigSheet->Caption());
  LoadConfig();
  Tick();
  EXPECT_EQ("Einstellungen", form->ConfigSheet->Caption());
  EXPECT_EQ("D", Ini(AccountSection, "Language"));
}

TEST_F(MainFormTest, InformationTabShowsDescriptionAndFileVersion)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->InfoSheetShow(nullptr);
  EXPECT_EQ("Korvalind-Poster GUI 4.3.0.701", form->lbVersion->Caption());
}

}  // namespace

namespace {

std::string WindowText(HWND window)
{
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// The texts of the tabs the user sees.
std::vector<std::string> TabTexts(TPageControl* pages)
{
  std::vector<std::string> texts;
  HWND tabs = pages->Handle();
  const int count = static_cast<int>(SendMessageA(tabs, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[256] = "";
    TCITEMA item{};
    item.mask = TCIF_TEXT;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(tabs, TCM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    texts.emplace_back(text);
  }
  return texts;
}

// Width of one line of text in a control's font, and the height down to its
// baseline (letters without descenders need no more).
SIZE TextExtent(TControl* control, const std::string& text)
{
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, control->Font.Handle());
  RECT box{0, 0, 0, 0};
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &box, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return SIZE{box.right - box.left, metrics.tmAscent};
}

bool Overlap(TControl* a, TControl* b)
{
  return a->Left() < b->Left() + b->Width() && b->Left() < a->Left() + a->Width() &&
         a->Top() < b->Top() + b->Height() && b->Top() < a->Top() + a->Height();
}

// Each text must fit its control and each control its parent (inside a group
// box's frame); siblings must not cover each other. Returns what a user would
// find cut or covered.
void CollectLayoutFaults(TWinControl* parent, std::vector<std::string>& faults)
{
  const int frame = dynamic_cast<TGroupBox*>(parent) != nullptr ? 4 : 0;
  for (int i = 0; i < parent->ControlCount(); ++i) {
    TControl* control = parent->Controls(i);
    const std::string name = control->Name();
    if (control->Align() == alNone && dynamic_cast<TTabSheet*>(control) == nullptr) {
      if (control->Left() < frame || control->Top() < 0 ||
          control->Left() + control->Width() > parent->ClientWidth() - frame ||
          control->Top() + control->Height() > parent->ClientHeight() - frame)
        faults.push_back(name + " sticks out of " + parent->Name());
      for (int j = i + 1; j < parent->ControlCount(); ++j)
        if (parent->Controls(j)->Align() == alNone && dynamic_cast<TTabSheet*>(parent->Controls(j)) == nullptr &&
            Overlap(control, parent->Controls(j)))
          faults.push_back(name + " overlaps " + parent->Controls(j)->Name());
    }
    // Room the control needs beside its text: frame, padding, the check box.
    int room = -1;
    if (dynamic_cast<TLabel*>(control) != nullptr && name != "lbMess")
      room = 0;
    else if (dynamic_cast<TButton*>(control) != nullptr)
      room = 12;
    else if (dynamic_cast<TCheckBox*>(control) != nullptr)
      room = 20;
    else if (dynamic_cast<TEdit*>(control) != nullptr)
      room = 8;
    else if (dynamic_cast<TGroupBox*>(control) != nullptr && !control->Text().empty())
      room = 16;
    if (room >= 0) {
      const std::string text = dynamic_cast<TEdit*>(control) != nullptr && static_cast<TEdit*>(control)->PasswordChar()
                                   ? std::string(control->Text().size(), '*')
                                   : control->Text();
      const SIZE extent = TextExtent(control, text);
      // A label that ends what does not fit in "..." shows that it is cut.
      auto* label = dynamic_cast<TLabel*>(control);
      const bool ellipsis = label != nullptr && (GetWindowLongPtrA(label->Handle(), GWL_STYLE) & SS_ENDELLIPSIS) != 0;
      if (extent.cx + room > control->Width() && !ellipsis)
        faults.push_back(name + " cuts \"" + text + "\" (" + std::to_string(extent.cx + room) + " > " +
                         std::to_string(control->Width()) + ")");
      if (dynamic_cast<TGroupBox*>(control) == nullptr && extent.cy > control->Height())
        faults.push_back(name + " cuts the height of \"" + text + "\"");
    }
    if (auto* container = dynamic_cast<TWinControl*>(control))
      CollectLayoutFaults(container, faults);
  }
}

TEST_F(MainFormTest, TheLogListScrollsSidewaysToTheEndOfItsWidestEntry)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->Show();
  form->PageControl1->SetActivePage(form->LogsSheet);
  HWND list = form->lstLogs->Handle();
  auto widest = [&] {
    int width = 0;
    for (const std::string& entry : form->lstLogs->Items.Values())
      width = std::max<int>(width, TextExtent(form->lstLogs, entry).cx);
    return width;
  };
  // As far as the widest entry's end, and no farther.
  auto expectRangeFitsTheWidest = [&](const char* when) {
    const auto range = static_cast<int>(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0));
    EXPECT_GE(range, widest()) << when;
    EXPECT_LE(range, widest() + 8) << when;
  };
  LogSlots[0] = "Debug    " + std::string(30, 'x');
  Tick();
  expectRangeFitsTheWidest("the start banner and a short line");
  LogSlots[0] = ">>>>>    IP-change detected [203.0.113.254] -> [198.51.100.23], " + std::string(40, 'w');
  Tick();
  expectRangeFitsTheWidest("a line wider than the list");
  RECT client;
  GetClientRect(list, &client);
  ASSERT_GT(widest(), client.right);
  EXPECT_NE(0, GetWindowLongPtrA(list, GWL_STYLE) & WS_HSCROLL) << "the scroll bar shows";
  SendMessageA(list, WM_HSCROLL, SB_RIGHT, 0);
  SCROLLINFO scroll{};
  scroll.cbSize = sizeof scroll;
  scroll.fMask = SIF_ALL;
  GetScrollInfo(list, SB_HORZ, &scroll);
  EXPECT_GE(scroll.nPos + static_cast<int>(scroll.nPage), widest()) << "the end of the line can be reached";

  // The wide line drops out of the 25.
  for (int i = 0; i < LogListMax; ++i) {
    LogSlots[0] = "Debug    line " + std::to_string(i);
    Tick();
  }
  ASSERT_EQ(LogListMax, form->lstLogs->Items.Count());
  expectRangeFitsTheWidest("after the wide line dropped out");
  EXPECT_LT(widest(), client.right);
  EXPECT_EQ(0, GetWindowLongPtrA(list, GWL_STYLE) & WS_HSCROLL) << "no scroll bar is left";
}

TEST_F(MainFormTest, EveryCaptionSwitchesWithTheLanguage)
{
  WriteAccountIni("Language=D\r\n");
  TMainForm* form = Form();
  const struct {
    TWinControl* Target;
    const char* German;
    const char* English;
  } captions[] = {
      {form->gbAccountInfo, "Account Informationen", "Account Information"},
      {form->lbIHostname, "Hostname:", "Hostname:"},
      {form->lbIActualIP, "Aktuelle IP:", "Actual IP:"},
      {form->lbILastUpdate, "Letzte Aktualisierung:", "Last Update:"},
      {form->lbITariff, "Tarif:", "Tariff:"},
      {form->chkOffline, "Offline Modus", "Offline Mode"},
      {form->gbLanguage, "Sprache", "Language"},
      {form->lbLanguage, "Sprache:", "Language"},
      {form->gbAccountData, "Zugangsdaten", "Account Data"},
      {form->lbAccount, "Account:", "Account"},
      {form->lbDomain, "Domain:", "Domain"},
      {form->lbPassword, "Passwort:", "Password"},
      {form->gbLastSetIP, "Account Aktualisierung", "Account Update"},
      {form->lbLastSetIP, "Letzte Aktualisierung:", "Last Update:"},
      {form->btnLastSetIP, "Jetzt Aktualisieren", "Update Now"},
      {form->gbLastIPDetect, "IP Adressen Informationen", "IP Address Information"},
      {form->lbLastKnownIP, "Letzte bekannte IP:", "Last known IP:"},
      {form->lbIPDetected, "erkannt:", "detected:"},
      {form->btnCheckIP, "Jetzt Prüfen", "Check Now"},
      {form->btnSaveConfig, "Speichern", "Save"},
      // never translated
      {form->gbLogVele, "Logging", "Logging"},
      {form->Label3, "Level:", "Level:"},
  };
  for (const bool german : {true, false}) {
    form->ApplyLanguage(german ? "D" : "E");
    for (const auto& caption : captions)
      EXPECT_EQ(german ? caption.German : caption.English, WindowText(caption.Target->Handle()))
          << caption.Target->Name();
    const std::vector<std::string> tabs =
        german ? std::vector<std::string>{"Status", "Einstellungen", "Log", "Informationen"}
               : std::vector<std::string>{"Information", "Settings", "Logging", "About"};
    EXPECT_EQ(tabs, TabTexts(form->PageControl1));
    EXPECT_EQ(german ? "Deutsch" : "English", WindowText(form->cbLanguage->Handle()));
    EXPECT_EQ("Korvalind-Poster GUI 4.3", WindowText(form->Handle()));
    EXPECT_EQ("Beenden", form->itemExit->Caption());
  }

  // A hidden log tab is still captioned; the other tabs keep their places.
  form->LogsSheet->SetTabVisible(false);
  form->ApplyLanguage("D");
  EXPECT_EQ((std::vector<std::string>{"Status", "Einstellungen", "Informationen"}), TabTexts(form->PageControl1));
  EXPECT_EQ("Log", form->LogsSheet->Caption());
  EXPECT_EQ(2, form->LogsSheet->PageIndex());
}

TEST_F(MainFormTest, NoTextIsCutOrCoveredInEitherLanguage)
{
  WriteAccountIni();
  TMainForm* form = Form();
  // Long but ordinary values: the widest address, and a time in the English
  // formats with every field at two digits.
  CurrentIP = "255.255.255.255";
  LastUpdateTime = LastDetectTime = "12/10/2026 12:39:30 AM";
  TariffCode = "HB";
  form->ConfigSheetShow(nullptr);
  form->InfoSheetShow(nullptr);
  for (const char* language : {"D", "E"}) {
    LanguageCode = language;
    Tick();
    std::vector<std::string> faults;
    CollectLayoutFaults(form, faults);
    EXPECT_THAT(faults, testing::IsEmpty()) << language;
  }
  // Values longer than any box: a host name of 40 characters and a date in
  // a long format stay inside the status tab's box.
  AccountName = "meinlangerhostnamezuhause";
  DomainName = "korvalind.test";
  LastUpdateTime = "Mittwoch, 30. September 2026 23:59:59";
  for (const char* language : {"D", "E"}) {
    LanguageCode = language;
    Tick();
    ASSERT_EQ(40u, form->lbHostName->Caption().size());
    std::vector<std::string> faults;
    CollectLayoutFaults(form->StateSheet, faults);
    EXPECT_THAT(faults, testing::IsEmpty()) << language;
  }
  // The fixed labels keep the size they were given, whatever their text.
  EXPECT_EQ(429, form->lbIPAddress->Width());
  EXPECT_EQ(45, form->lbIPAddress->Height());
  EXPECT_EQ(157, form->lbMess->Height());
  RECT box;
  GetClientRect(form->lbIPAddress->Handle(), &box);
  EXPECT_EQ(45, box.bottom);
}

TEST_F(MainFormTest, WebAddressesInTheRedTextsAreNeverBrokenAcrossLines)
{
  WriteAccountIni();
  TMainForm* form = Form();
  // The web addresses of a text, in their order.
  auto addressesIn = [](const std::string& text) {
    static const std::regex address(R"(http://\S+)");
    std::vector<std::string> found;
    for (std::sregex_iterator it(text.begin(), text.end(), address), end; it != end; ++it)
      found.push_back(it->str());
    return found;
  };
  const struct {
    bool ConfigError, Deactivated;
    const char* Language;
    const std::string& Text;
  } texts[] = {
      {true, false, "D", ConfigErrorTextGerman},
      {true, false, "E", ConfigErrorTextEnglish},
      {false, true, "D", DeactivatedTextGerman},
      {false, true, "E", DeactivatedTextEnglish},
  };
  for (const auto& text : texts) {
    ConfigError = text.ConfigError;
    Deactivated = text.Deactivated;
    form->ApplyLanguage(text.Language);
    ASSERT_EQ(text.Text, form->lbMess->Caption());
    // The label draws the lines of its window text, none wider than itself,
    // so nothing else breaks them.
    const std::string shown = WindowText(form->lbMess->Handle());
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = shown.find("\r\n", start)) != std::string::npos; start = end + 2)
      lines.push_back(shown.substr(start, end - start));
    lines.push_back(shown.substr(start));
    std::vector<std::string> addressesShown;
    for (const std::string& line : lines) {
      EXPECT_LE(TextExtent(form->lbMess, line).cx, form->lbMess->Width()) << line;
      for (const std::string& found : addressesIn(line))
        addressesShown.push_back(found);
    }
    EXPECT_THAT(addressesShown, testing::Not(testing::IsEmpty()));
    EXPECT_EQ(addressesIn(text.Text), addressesShown) << text.Language << " " << text.Text;
  }
}

TEST_F(MainFormTest, ALongServerMessageShowsTheWholeLinesThatFitEndingInAnEllipsis)
{
  WriteAccountIni();
  TMainForm* form = Form();
  std::string message;
  while (message.size() < 700)
    message += "Wartungsarbeiten am Server in der Nacht, bitte haben Sie Geduld. ";
  message.resize(700);
  MessageText = message;
  Tick();
  EXPECT_EQ(message, form->lbMess->Caption());
  EXPECT_EQ(429, form->lbMess->Width());
  EXPECT_EQ(157, form->lbMess->Height());
  const std::string shown = WindowText(form->lbMess->Handle());
  ASSERT_GT(shown.size(), 3u);
  EXPECT_EQ("…", shown.substr(shown.size() - 1));
  // As the label draws it: within its box, with room for no further line.
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, form->lbMess->Font.Handle());
  RECT box{0, 0, form->lbMess->Width(), 0};
  DrawTextA(dc, shown.c_str(), static_cast<int>(shown.size()), &box, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  EXPECT_LE(box.bottom, 157);
  EXPECT_GT(box.bottom + metrics.tmHeight, 157);
  const std::string words = shown.substr(0, shown.size() - 1);
  std::string unbroken;
  for (std::size_t at = 0, next; at < words.size(); at = next + 2) {
    next = words.find("\r\n", at);
    if (next == std::string::npos)
      next = words.size();
    unbroken += (unbroken.empty() ? "" : " ") + words.substr(at, next - at);
  }
  EXPECT_EQ(message.substr(0, unbroken.size()), unbroken) << "whole words of the message, in order";
}

TEST_F(MainFormTest, TabsReadTheIniAgainWhenTheWindowComesBackFromTheTray)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->Show();
  EXPECT_FALSE(form->chkOffline->Checked());

  // Changed outside the window while it sat in the tray.
  form->TrayIcon->HideToTray();
  TIniFile(ConfigFilePath()).WriteBool(AccountSection, "Offline", true);
  core_->TimerSetIP->SetInterval(5000);
  form->TrayIcon->RestoreFromTray();
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_TRUE(form->chkOffline->Checked());
  EXPECT_EQ(BST_CHECKED, SendMessageA(form->chkOffline->Handle(), BM_GETCHECK, 0, 0));
  EXPECT_EQ(2500u, core_->TimerSetIP->Interval()) << "the flipped box asks for an update";

  // The settings tab, chosen by the user, loses unsaved edits the same way.
  form->PageControl1->SetActivePage(form->ConfigSheet);
  EXPECT_EQ(TestAccount, WindowText(form->txtAccount->Handle()));
  SetWindowTextA(form->txtAccount->Handle(), "unsaved");
  form->TrayIcon->HideToTray();
  form->TrayIcon->RestoreFromTray();
  EXPECT_EQ(TestAccount, WindowText(form->txtAccount->Handle()));
}

TEST_F(MainFormTest, TrayIconDoubleClickAndMinimizeMoveTheWindowIntoTheTrayAndBack)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->Show();
  HWND appWindow = application_->Handle();
  auto inTray = [&] { return !IsWindowVisible(form->Handle()) && !IsWindowVisible(appWindow); };
  auto doubleClick = [&] {
    for (LPARAM event : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
      SendMessageA(SharedTrayHandler->Handle(), TTrayIcon::CallbackMessage, form->TrayIcon->Identifier(), event);
  };

  doubleClick();
  EXPECT_TRUE(inTray());
  doubleClick();
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_TRUE(IsWindowVisible(appWindow));

  shellRequests_.clear();
  SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(inTray());
  EXPECT_THAT(shellRequests_, testing::Not(testing::Contains(static_cast<DWORD>(NIM_DELETE))))
      << "the icon stays in the tray";

  // A restarted shell gets the icon back.
  ASSERT_NE(0u, TaskbarCreatedMessage);
  shellRequests_.clear();
  SendMessageA(appWindow, TaskbarCreatedMessage, 0, 0);
  EXPECT_THAT(shellRequests_, testing::Contains(static_cast<DWORD>(NIM_ADD)));

  doubleClick();
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_EQ(wsNormal, form->WindowState());
}

TEST_F(MainFormTest, TrayMenuBeendenEndsTheProgram)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->Show();
  TrayShell().GetCursorPos = [](POINT* point) {
    *point = POINT{600, 700};
    return TRUE;
  };
  std::vector<std::string> items;
  TPopupMenu::SetTrackFunction([&](HMENU menu, int, int, HWND) -> UINT {
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      char text[64] = "";
      GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
      items.push_back((GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR) != 0 ? "-" : text);
    }
    return form->itemExit->Command();
  });
  SendMessageA(SharedTrayHandler->Handle(), TTrayIcon::CallbackMessage, form->TrayIcon->Identifier(), WM_RBUTTONDOWN);
  EXPECT_EQ((std::vector<std::string>{"-", "Beenden"}), items);
  EXPECT_FALSE(IsWindowVisible(form->Handle()));
  application_->ProcessMessages();
  EXPECT_TRUE(application_->Terminated());
}

// Another program holding the file open with read sharing only: nothing can
// write it, not even an administrator (Wine ignores a read-only bit for root).
class TLockedFile {
public:
  explicit TLockedFile(const std::string& path)
      : handle_(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr))
  {
    EXPECT_NE(INVALID_HANDLE_VALUE, handle_) << path;
  }
  ~TLockedFile() { CloseHandle(handle_); }
  TLockedFile(const TLockedFile&) = delete;
  TLockedFile& operator=(const TLockedFile&) = delete;

private:
  HANDLE handle_;
};

TEST_F(MainFormTest, AnIniThatCannotBeWrittenWhenTheWindowFirstShowsIsReported)
{
  // The status tab's first show sets the offline box from the ini, and the
  // box's click writes the ini.
  WriteAccountIni("Offline=1\r\n");
  TMainForm* form = Form();
  const TLockedFile lock(ConfigFilePath());
  std::vector<std::string> reported;
  application_->OnException = [&](TObject*, const std::exception& e) { reported.push_back(e.what()); };
  PostQuitMessage(0);  // the loop ends once the window is shown
  EXPECT_NO_THROW(application_->Run());
  EXPECT_THAT(reported, testing::ElementsAre(testing::HasSubstr("korvalind.ini")));
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_TRUE(form->chkOffline->Checked());
}

TEST_F(MainFormTest, EnterOnEitherButtonWithAnIniThatCannotBeWrittenIsReportedAndKeepsTheEdits)
{
  // With the flag set, "Jetzt Aktualisieren" writes the ini as "Speichern" does.
  WriteAccountIni("Language=D\r\nCONFIGERROR=1\r\n");
  TMainForm* form = Form();
  form->Show();
  form->PageControl1->SetActivePage(form->ConfigSheet);
  SetWindowTextA(form->txtAccount->Handle(), "unsaved");
  std::vector<std::string> pressed;
  for (TButton* button : {form->btnSaveConfig, form->btnLastSetIP}) {
    button->OnClick = [&pressed, button, click = button->OnClick](TObject* sender) {
      pressed.push_back(button->Caption());
      click(sender);
    };
  }
  std::vector<std::string> reported;
  application_->OnException = [&](TObject*, const std::exception& e) { reported.push_back(e.what()); };
  const TLockedFile lock(ConfigFilePath());

  const struct {
    TWinControl* Focus;
    const char* Pressed;
  } keys[] = {
      {form->txtAccount, "Speichern"},  // the default button
      {form->btnLastSetIP, "Jetzt Aktualisieren"},
  };
  for (const auto& key : keys) {
    pressed.clear();
    reported.clear();
    key.Focus->SetFocus();
    PostMessageA(key.Focus->Handle(), WM_KEYDOWN, VK_RETURN, 1);
    EXPECT_NO_THROW(application_->ProcessMessages()) << key.Pressed;
    EXPECT_THAT(pressed, testing::ElementsAre(key.Pressed));
    EXPECT_THAT(reported, testing::ElementsAre(testing::HasSubstr("korvalind.ini"))) << key.Pressed;
  }
  EXPECT_FALSE(application_->Terminated());
  EXPECT_EQ("unsaved", WindowText(form->txtAccount->Handle()));
}

TEST_F(MainFormTest, AFailedOfflineWriteShowsTheStoredStateAgainAndOneClickGivesOneReport)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->Show();
  std::vector<std::string> reported;
  application_->OnException = [&](TObject*, const std::exception& e) { reported.push_back(e.what()); };
  core_->TimerSetIP->SetInterval(5000);
  const TLockedFile lock(ConfigFilePath());

  // The user's click on the box.
  SendMessageA(form->chkOffline->Handle(), BM_CLICK, 0, 0);
  EXPECT_THAT(reported, testing::ElementsAre(testing::HasSubstr("korvalind.ini")));
  EXPECT_FALSE(form->chkOffline->Checked());
  EXPECT_EQ(BST_UNCHECKED, SendMessageA(form->chkOffline->Handle(), BM_GETCHECK, 0, 0));
  EXPECT_EQ(5000u, core_->TimerSetIP->Interval()) << "nothing was stored, no update is asked for";

  // The status tab shown again: chosen by the user, and with the window
  // restored from the tray.
  form->PageControl1->SetActivePage(form->ConfigSheet);
  form->PageControl1->SetActivePage(form->StateSheet);
  DoubleClickTrayIcon();
  DoubleClickTrayIcon();
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_EQ(1u, reported.size());
  EXPECT_EQ("(none)", Ini(AccountSection, "Offline"));
}

TEST_F(MainFormTest, RestoringFromTheTrayWithAnIniThatCannotBeWrittenIsReportedOnce)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->Show();
  DoubleClickTrayIcon();
  ASSERT_FALSE(IsWindowVisible(form->Handle()));
  // Changed outside while the window sat in the tray, then held open: the
  // status tab's show flips the box, whose click writes the ini.
  TIniFile(ConfigFilePath()).WriteBool(AccountSection, "Offline", true);
  const TLockedFile lock(ConfigFilePath());
  std::vector<std::string> reported;
  application_->OnException = [&](TObject*, const std::exception& e) { reported.push_back(e.what()); };
  DoubleClickTrayIcon();
  EXPECT_THAT(reported, testing::ElementsAre(testing::HasSubstr("korvalind.ini")));
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
  EXPECT_TRUE(form->chkOffline->Checked()) << "as stored";
  DoubleClickTrayIcon();
  DoubleClickTrayIcon();
  EXPECT_EQ(1u, reported.size());
  EXPECT_FALSE(application_->Terminated());
}

// Counts the texts set into one window.
WNDPROC countedProc = nullptr;
int textsSet = 0;
LRESULT CALLBACK CountTexts(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
  if (message == WM_SETTEXT)
    ++textsSet;
  return CallWindowProcA(countedProc, window, message, wParam, lParam);
}

TEST_F(MainFormTest, TheMessageLabelIsSetOnlyWhenItsTextChanges)
{
  WriteAccountIni();
  TMainForm* form = Form();
  HWND label = form->lbMess->Handle();
  countedProc =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrA(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CountTexts)));
  MessageText = "Hallo";
  const struct {
    bool ConfigError, Deactivated;
    const std::string& Shown;
  } states[] = {
      {true, true, DeactivatedTextEnglish},
      {true, false, ConfigErrorTextEnglish},
      {false, true, DeactivatedTextEnglish},
      {false, false, MessageText},
  };
  for (const auto& state : states) {
    ConfigError = state.ConfigError;
    Deactivated = state.Deactivated;
    textsSet = 0;
    for (int i = 0; i < 3; ++i)
      Tick();
    EXPECT_EQ(state.Shown, form->lbMess->Caption());
    EXPECT_EQ(1, textsSet) << state.ConfigError << state.Deactivated;
  }
  SetWindowLongPtrA(label, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(countedProc));
}

TEST_F(MainFormTest, StatusTimerCopiesEachCoreValueIntoItsControls)
{
  WriteAccountIni();
  TMainForm* form = Form();
  // Every value distinct, so a swapped copy shows.
  AccountName = "konto";
  DomainName = "example.test";
  CurrentIP = "203.0.113.9";
  LastUpdateTime = "01.02.2026 03:04:05";
  LastDetectTime = "06.07.2026 08:09:10";
  LastMessage = ">>>>>    last line";
  Tick();
  const struct {
    TWinControl* Control;
    std::string Shown;
  } controls[] = {
      {form->lbHostName, "konto.example.test"}, {form->lbActualIP, CurrentIP},
      {form->lbIPAddress, CurrentIP},           {form->txtActualIP, CurrentIP},
      {form->lbLastUpdate, LastUpdateTime},     {form->txtLastSetIP, LastUpdateTime},
      {form->txtLastIPDetect, LastDetectTime},
  };
  for (const auto& control : controls)
    EXPECT_EQ(control.Shown, WindowText(control.Control->Handle())) << control.Control->Name();
  // The three edits are not read-only: what the user types, even after ticks
  // that changed nothing, goes at the next tick.
  Tick();
  SendMessageA(form->txtActualIP->Handle(), WM_CHAR, '7', 0);
  ASSERT_NE(CurrentIP, WindowText(form->txtActualIP->Handle()));
  Tick();
  EXPECT_EQ(CurrentIP, WindowText(form->txtActualIP->Handle()));
  char status[256] = "";
  // In simple mode the first part is the simple panel.
  SendMessageA(form->StatusBar->Handle(), SB_GETTEXTA, 0, reinterpret_cast<LPARAM>(status));
  EXPECT_STREQ(">>>>>    last line", status);
}

TEST(LogListLineTest, DateAndTimeComeFromTheOneMomentGiven)
{
  // The last and the first moment of a year: a second reading of the clock
  // between date and time would mix the two.
  const struct {
    SYSTEMTIME Moment;
    const char* Year;
    const char* Seconds;
  } moments[] = {
      {{2026, 12, 4, 31, 23, 59, 59, 999}, "2026", ":59"},
      {{2027, 1, 5, 1, 0, 0, 0, 0}, "2027", ":00"},
  };
  // date, two blanks, time (which may carry an AM/PM marker), three blanks
  const std::regex line(R"((\S+)  (\S+)(?: \S+)?   >>>>>    text)");
  for (const auto& moment : moments) {
    std::smatch parts;
    const std::string text = LogListLine(">>>>>    text", moment.Moment);
    ASSERT_TRUE(std::regex_match(text, parts, line)) << text;
    EXPECT_THAT(parts[1].str(), testing::HasSubstr(moment.Year)) << text;
    EXPECT_THAT(parts[2].str(), testing::EndsWith(moment.Seconds)) << text;
  }
}

}  // namespace
