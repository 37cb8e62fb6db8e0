#include <regex>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/log.h"
#include "core/md5.h"
#include "core/settings.h"
#include "desktop/main_form.h"
#include "desktop/tray_icon.h"
#include "desktop/tray_shell.h"
#include "platform/ini_file.h"
#include "platform/page_control.h"
#include "platform/status_bar.h"
#include "platform/std_controls.h"
#include "tests/core/core_fixture.h"

namespace {

// The core's data module (CoreTest) and the main window on top of it; the
// shell's tray requests are recorded instead of sent.
class MainFormTest : public CoreTest {
protected:
  void SetUp() override
  {
    TrayShell().NotifyIcon = [this](DWORD message, NOTIFYICONDATAA* data) {
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
    MainForm = nullptr;
    ResetTrayShell();
  }

  // Made after the test has written its ini file: FormCreate reads it.
  TMainForm* Form()
  {
    if (form_ == nullptr)
      form_ = application_->CreateForm<TMainForm>();
    return form_;
  }
  void Tick() { Form()->StatusTimerTimer(nullptr); }
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
  for (TTimer* timer : {core_->TimerMyIP, core_->TimerDNSCheck, core_->TimerDNSRandom, core_->TimerDNS,
                        core_->TimerSleep})
    EXPECT_FALSE(timer->Enabled()) << timer->Name();
  EXPECT_TRUE(core_->TimerSetIP->Enabled()) << "the start routine switches the update timer on again";
  Tick();
  EXPECT_EQ(ConfigErrorTextEnglish, form->lbMess->Caption());

  form->btnLastSetIPClick(nullptr);
  EXPECT_FALSE(ConfigError);
  EXPECT_EQ("0", Ini("ACCOUNT", "CONFIGERROR"));
  EXPECT_EQ("0", Ini("ACCOUNT", "DEACTIVATED"));
  EXPECT_TRUE(core_->TimerDNS->Enabled());
  EXPECT_EQ(100u, core_->TimerDNS->Interval());
  EXPECT_EQ(2500u, core_->TimerSetIP->Interval());
}

TEST_F(MainFormTest, UpdateButtonWithoutAFlagOnlyAsksForAnUpdate)
{
  WriteAccountIni();
  TMainForm* form = Form();
  core_->TimerDNS->SetInterval(1000);
  form->btnLastSetIPClick(nullptr);
  EXPECT_EQ("(none)", Ini("ACCOUNT", "CONFIGERROR"));
  EXPECT_EQ(1000u, core_->TimerDNS->Interval());
  EXPECT_EQ(2500u, core_->TimerSetIP->Interval());
}

TEST_F(MainFormTest, DeactivatedAlsoClearsBothIniFlagsButStaysSetInMemory)
{
  WriteAccountIni();
  TMainForm* form = Form();
  Deactivated = true;
  form->btnLastSetIPClick(nullptr);
  EXPECT_EQ("0", Ini("ACCOUNT", "DEACTIVATED"));
  EXPECT_TRUE(Deactivated);
}

TEST_F(MainFormTest, AtMostNineLogLinesPerTickInSlotOrder)
{
  WriteAccountIni();
  TMainForm* form = Form();
  Tick();
  const int before = form->lstLogs->Items.Count();
  LogLevel = 40;
  for (int i = 1; i <= 10; ++i)
    LogMessage(">>>>>    line " + std::to_string(i), 10);
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
  Tick();
  EXPECT_EQ(clGradientActiveCaption, form->lbIPAddress->Font.Color());
  DetectErrorCount = 1;
  Tick();
  EXPECT_EQ(TColor{255}, form->lbIPAddress->Font.Color());
  DetectErrorCount = 0;
  UpdateErrorCount = 2;
  Tick();
  EXPECT_EQ(TColor{255}, form->lbIPAddress->Font.Color());
  UpdateErrorCount = 0;
  Tick();
  EXPECT_EQ(clGradientActiveCaption, form->lbIPAddress->Font.Color());
}

TEST_F(MainFormTest, StatusTabShowFollowsTheIniOfflineValue)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->StateSheetShow(nullptr);
  EXPECT_FALSE(form->chkOffline->Checked());
  core_->TimerSetIP->SetInterval(5000);
  TIniFile(ConfigFilePath()).WriteBool("ACCOUNT", "Offline", true);
  form->StateSheetShow(nullptr);
  EXPECT_TRUE(form->chkOffline->Checked());
  EXPECT_EQ("1", Ini("ACCOUNT", "Offline"));
  EXPECT_EQ(2500u, core_->TimerSetIP->Interval()) << "the changed box asks for an update";
}

TEST_F(MainFormTest, SavingUntouchedSettingsKeepsTheStoredDigest)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->ConfigSheetShow(nullptr);
  EXPECT_EQ(TestPasswordDigest, form->txtPassword->Text());
  EXPECT_EQ("debug", form->cbLogging->Text());
  form->btnSaveConfigClick(nullptr);
  EXPECT_EQ(TestPasswordDigest, Ini("ACCOUNT", "Passwd"));
  EXPECT_EQ(TestAccount, Ini("ACCOUNT", "Account"));
  EXPECT_EQ("40", Ini("LOGGING", "Level"));
}

TEST_F(MainFormTest, TypedPasswordsAreStoredAsTheirDigestWhateverTheirLength)
{
  WriteAccountIni();
  TMainForm* form = Form();
  for (std::size_t length : {0u, 29u, 30u, 40u}) {
    const std::string password(length, 'p');
    form->txtPassword->SetText(password);
    form->btnSaveConfigClick(nullptr);
    EXPECT_EQ(Md5DigestToHex(Md5DigestOfText(password)), Ini("ACCOUNT", "Passwd")) << length;
  }
}

TEST_F(MainFormTest, LevelNamesInAnyCaseAndEverythingElseIsNormal)
{
  WriteAccountIni();
  TMainForm* form = Form();
  const struct {
    const char* Name;
    int Level;
  } cases[] = {{"LOW", 10}, {"Normal", 20}, {"hIgH", 30}, {"DeBuG", 40}, {"verbose", 20}, {"", 20}};
  for (const auto& c : cases) {
    form->cbLogging->SetText(c.Name);
    form->btnSaveConfigClick(nullptr);
    EXPECT_EQ(c.Level, LogLevel) << c.Name;
    EXPECT_EQ(std::to_string(c.Level), Ini("LOGGING", "Level")) << c.Name;
  }
  for (const auto& [text, index] : std::vector<std::pair<const char*, int>>{{"10", 0}, {"30", 2}, {"40", 3}, {"50", 1},
                                                                            {"low", 1}}) {
    TIniFile(ConfigFilePath()).WriteString("LOGGING", "Level", text);
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
  EXPECT_EQ("0", Ini("ACCOUNT", "EXIT"));
  EXPECT_EQ("0", Ini("ACCOUNT", "CONFIGERROR"));
  EXPECT_EQ("0", Ini("ACCOUNT", "DEACTIVATED"));
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
  EXPECT_EQ("D", Ini("ACCOUNT", "Language"));
}

TEST_F(MainFormTest, InformationTabShowsDescriptionAndFileVersion)
{
  WriteAccountIni();
  TMainForm* form = Form();
  form->InfoSheetShow(nullptr);
  EXPECT_EQ("Korvalind-Poster GUI 4.3.0.701", form->lbVersion->Caption());
}

}  // namespace
