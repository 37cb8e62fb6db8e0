#include <algorithm>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>
#include <shellapi.h>

#include "tests/desktop/desktop_program.h"
#include "tests/support/test_paths.h"
#include "tests/support/notification_area.h"

using namespace std::chrono_literals;

namespace {

// The tray callback message and the first tray icon's identifier in a fresh
// korvalind.exe (the main window's icon is the only one).
constexpr UINT TrayCallbackMessage = WM_USER + 1024;
constexpr WPARAM FirstTrayIconIdentifier = 1;

// korvalind.exe with a German account in a folder of its own.
class DesktopWindowTest : public testing::Test {
protected:
  void SetUp() override
  {
    const auto* info = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = FreshTestDir(std::string("desktop window.") + info->name());
    std::ofstream(dir_ + "\\korvalind.ini", std::ios::binary)
        << "[ACCOUNT]\r\nAccount=demo\r\nDomain=korvalind.test\r\n"
           "Passwd=5ebe2294ecd0e0f08eab7690d2a6ee69\r\nLanguage=D\r\n";
    program_ = std::make_unique<TDesktopProgram>(dir_);
    ASSERT_TRUE(program_->Start());
    window_ = program_->WaitForWindow(nullptr, MainWindowCaption, 60s);
    ASSERT_NE(nullptr, window_) << "no main window";
  }
  void TearDown() override
  {
    if (program_ != nullptr && program_->Running()) {
      PostMessageA(window_, WM_CLOSE, 0, 0);
      EXPECT_TRUE(program_->WaitForEnd(30s));
      EXPECT_EQ(0u, program_->ExitCode());
    }
  }

  std::string dir_;
  std::unique_ptr<TDesktopProgram> program_;
  HWND window_ = nullptr;
};

std::string TextOf(HWND window)
{
  char text[1024] = "";
  DWORD_PTR copied = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
  return text;
}

// The first descendant window of the class, with the text when one is given.
HWND FindDescendant(HWND parent, const char* className, const char* text = nullptr)
{
  struct Search {
    const char* ClassName;
    const char* Text;
    HWND Found;
  } search{className, text, nullptr};
  EnumChildWindows(
      parent,
      [](HWND child, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        char name[64] = "";
        GetClassNameA(child, name, sizeof name);
        if (lstrcmpiA(name, s->ClassName) != 0 || (s->Text != nullptr && TextOf(child) != s->Text))
          return TRUE;
        s->Found = child;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.Found;
}

// The lines of another process's list box (the system copies the text across
// processes for the wide-character request).
std::vector<std::string> ListLines(HWND list)
{
  std::vector<std::string> lines;
  const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t wide[1024] = L"";
    if (SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0) < 1024)
      SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide));
    char line[2048] = "";
    WideCharToMultiByte(1252, 0, wide, -1, line, sizeof line, nullptr, nullptr);
    lines.emplace_back(line);
  }
  return lines;
}

TEST_F(DesktopWindowTest, TheLogTabShowsTheStartBanner)
{
  HWND list = FindDescendant(window_, "ListBox");
  ASSERT_NE(nullptr, list);
  ASSERT_TRUE(WaitUntil([&] { return SendMessageA(list, LB_GETCOUNT, 0, 0) >= 3; }, 30s));
  const std::vector<std::string> lines = ListLines(list);
  // date, two blanks, time, three blanks, then the logged text
  const std::regex started(
      R"(\S+  \S+(?: \S+)?   >>>>>  Korvalind-Poster 4\.3 \(Build:4\.3\.0\.701;[A-Za-z]{3};Windows NT\) started\.)");
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
    return std::regex_match(line, started);
  })) << testing::PrintToString(lines);
}

TEST_F(DesktopWindowTest, TheTaskbarButtonCarriesTheProgramName)
{
  HWND appWindow = GetWindow(window_, GW_OWNER);
  ASSERT_NE(nullptr, appWindow);
  EXPECT_EQ("korvalind", TextOf(appWindow));
}

TEST_F(DesktopWindowTest, MinimizingHidesIntoTheTrayAndADoubleClickBringsItBack)
{
  HWND appWindow = GetWindow(window_, GW_OWNER);
  HWND tray = program_->FindWindowOf("TKorvalindTrayIconWindow", nullptr);
  ASSERT_NE(nullptr, tray);

  PostMessageA(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindowVisible(window_) && !IsWindowVisible(appWindow); }, 30s))
      << "the window and its taskbar button must go";

  for (LPARAM event : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    PostMessageA(tray, TrayCallbackMessage, FirstTrayIconIdentifier, event);
  EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(window_) && !IsIconic(appWindow); }, 30s));
}

// Whether the notification area holds the icon that the window and
// identifier name: the shell accepts a change only for an icon it has.
bool ShellHasIcon(HWND window, UINT identifier)
{
  NOTIFYICONDATAA data{};
  data.cbSize = sizeof data;
  data.hWnd = window;
  data.uID = identifier;
  return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

TEST_F(DesktopWindowTest, TheIconStaysInTheNotificationAreaWhileTheWindowIsInTheTray)
{
  if (FindWindowA("Shell_TrayWnd", nullptr) == nullptr)
    SKIP_OR_FAIL_WITHOUT_NOTIFICATION_AREA();
  HWND tray = program_->FindWindowOf("TKorvalindTrayIconWindow", nullptr);
  ASSERT_NE(nullptr, tray);
  EXPECT_TRUE(WaitUntil([&] { return ShellHasIcon(tray, FirstTrayIconIdentifier); }, 30s));
  PostMessageA(window_, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindowVisible(window_); }, 30s));
  EXPECT_TRUE(ShellHasIcon(tray, FirstTrayIconIdentifier));
}

TEST_F(DesktopWindowTest, ASettingsFileThatCannotBeWrittenIsReportedOnSave)
{
  // A folder where the file should be: no profile write can succeed, not
  // even for an administrator. The program may still hold the file for a
  // read of its own, and then the name outlives the delete for a moment.
  const std::string ini = dir_ + "\\korvalind.ini";
  ASSERT_TRUE(WaitUntil(
      [&] {
        DeleteFileA(ini.c_str());
        return CreateDirectoryA(ini.c_str(), nullptr) != FALSE;
      },
      30s));
  HWND save = FindDescendant(window_, "Button", "Speichern");
  ASSERT_NE(nullptr, save);
  // The button's click as its parent hears it.
  PostMessageA(GetParent(save), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(save), BN_CLICKED), reinterpret_cast<LPARAM>(save));

  HWND box = program_->WaitForWindow("#32770", nullptr, 30s);
  ASSERT_NE(nullptr, box) << "the failed save went unnoticed";
  auto says = [&](const std::string& text) {
    for (const std::string& line : ChildTexts(box, "Static"))
      if (line.find(text) != std::string::npos)
        return true;
    return false;
  };
  EXPECT_TRUE(WaitUntil([&] { return says("korvalind.ini"); }, 30s));
  EXPECT_EQ("korvalind", TextOf(box));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, 30s));
  EXPECT_TRUE(program_->Running());
}

}  // namespace
