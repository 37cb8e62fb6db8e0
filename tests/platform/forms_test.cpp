#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "platform/application.h"
#include "platform/forms/button.h"
#include "platform/forms/edit.h"
#include "platform/forms/form.h"
#include "platform/forms/menus.h"
#include "platform/forms/page_control.h"
#include "platform/forms/status_bar.h"
#include "tests/platform/handler_paths.h"
#include "tests/support/message_pump.h"

namespace {

using namespace std::chrono_literals;

class TTestForm : public TForm {
public:
  explicit TTestForm(TComponent* owner) : TForm(owner)
  {
    SetCaption("Test");
    SetBorderStyle(bsSingle);
    SetBorderIcons({biSystemMenu, biMinimize});
    SetClientWidth(455);
    SetClientHeight(428);
    Pages = new TPageControl(this);
    Pages->SetParent(this);
    Pages->SetBounds(0, 0, 455, 400);
    First = new TTabSheet(this);
    First->SetCaption("Status");
    First->SetPageControl(Pages);
    Second = new TTabSheet(this);
    Second->SetCaption("Einstellungen");
    Second->SetPageControl(Pages);
    Status = new TStatusBar(this);
    Status->SetParent(this);
    Status->SetSimpleText("ready");
    Pages->SetActivePage(First);
    First->OnShow = [this](TObject*) { ++firstShown; };
    Second->OnShow = [this](TObject*) { ++secondShown; };
  }

  TPageControl* Pages;
  TTabSheet* First;
  TTabSheet* Second;
  TStatusBar* Status;
  int firstShown = 0;
  int secondShown = 0;
};

TEST(FormsTest, FirstFormIsTheMainFormAndOnCreateRunsAfterTheControls)
{
  TApplication application;
  auto* form = application.CreateForm<TTestForm>();
  EXPECT_EQ(form, application.MainForm());
  EXPECT_TRUE(form->HandleAllocated());
  EXPECT_EQ(GetWindow(form->Handle(), GW_OWNER), application.Handle());
  RECT client;
  GetClientRect(form->Handle(), &client);
  EXPECT_EQ(455, client.right);
  EXPECT_EQ(428, client.bottom);
  auto* second = application.CreateForm<TTestForm>();
  EXPECT_EQ(form, application.MainForm());
  EXPECT_NE(second, application.MainForm());
}

class TFailingForm : public TForm {
public:
  explicit TFailingForm(TComponent* owner) : TForm(owner)
  {
    OnCreate = [](TObject*) { throw std::runtime_error("cannot start"); };
  }
};

TEST(FormsTest, AFailingCreationHandlerIsReportedAndTheFormStaysTheMainForm)
{
  TApplication application;
  std::vector<std::string> reported;
  application.OnException = [&](TObject*, const std::exception& e) { reported.push_back(e.what()); };
  TFailingForm* form = nullptr;
  EXPECT_NO_THROW(form = application.CreateForm<TFailingForm>());
  EXPECT_EQ(std::vector<std::string>{"cannot start"}, reported);
  EXPECT_EQ(form, application.MainForm());
}

TEST(FormsTest, PageSwitchAndShowingTheFormFireOnShow)
{
  TApplication application;
  auto* form = application.CreateForm<TTestForm>();
  EXPECT_EQ(0, form->firstShown);
  form->Show();
  EXPECT_EQ(1, form->firstShown);
  form->Pages->SetActivePageIndex(1);
  EXPECT_EQ(1, form->secondShown);
  EXPECT_EQ(form->Second, form->Pages->ActivePage());
  EXPECT_FALSE(IsWindowVisible(form->First->Handle()));
  EXPECT_TRUE(IsWindowVisible(form->Second->Handle()));
  form->Hide();
  form->Show();
  EXPECT_EQ(2, form->secondShown);
  EXPECT_EQ(1, form->firstShown);
}

TEST(FormsTest, ClosingTheMainFormEndsRun)
{
  TApplication application;
  auto* form = application.CreateForm<TTestForm>();
  PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
  application.Run();
  EXPECT_TRUE(application.Terminated());
}

TEST(FormsTest, EnterPressesTheDefaultButtonOfTheShownPageOnly)
{
  TApplication application;
  auto* form = application.CreateForm<TTestForm>();
  auto* save = new TButton(form);
  save->SetParent(form->Second);
  save->SetDefault(true);
  auto* edit = new TEdit(form);
  edit->SetParent(form->Second);
  int saves = 0;
  save->OnClick = [&](TObject*) { ++saves; };
  form->Show();
  MSG enter{};
  enter.hwnd = edit->Handle();
  enter.message = WM_KEYDOWN;
  enter.wParam = VK_RETURN;
  EXPECT_FALSE(form->DialogKey(enter));
  EXPECT_EQ(0, saves);
  form->Pages->SetActivePage(form->Second);
  edit->SetFocus();
  EXPECT_TRUE(form->DialogKey(enter));
  EXPECT_EQ(1, saves);
  EXPECT_EQ(BS_DEFPUSHBUTTON, GetWindowLongPtrA(save->Handle(), GWL_STYLE) & 0x0F);
}

TEST(FormsTest, EveryWayOfRunningAHandlerReportsWhatItThrowsAndTheLoopGoesOn)
{
  TApplication application;
  std::vector<std::string> reported;
  application.OnException = [&](TObject*, const std::exception& e) { reported.push_back(e.what()); };
  auto* form = application.CreateForm<TForm>();
  auto* edit = new TEdit(form);
  edit->SetParent(form);
  auto* ok = new TButton(form);
  ok->SetParent(form);
  ok->SetTop(40);
  ok->SetDefault(true);
  auto* cancel = new TButton(form);
  cancel->SetParent(form);
  cancel->SetTop(80);
  cancel->SetCancel(true);
  auto* menu = new TPopupMenu(form);
  auto* item = new TMenuItem(form);
  menu->Add(item);
  form->OnShow = [](TObject*) { throw std::runtime_error("first show"); };
  ok->OnClick = [](TObject*) { throw std::runtime_error("default button"); };
  cancel->OnClick = [](TObject*) { throw 42; };
  item->OnClick = [](TObject*) { throw std::runtime_error("menu command"); };
  TPopupMenu::SetTrackFunction([&](HMENU, int, int, HWND) { return item->Command(); });
  // A hook where a tray icon has its own, on the application window, whose
  // taskbar button minimises and restores the program.
  application.HookMainWindow(&reported, [](MSG& message) {
    if (message.message == WM_SIZE && message.wParam == SIZE_MINIMIZED)
      throw std::runtime_error("minimised");
    if (message.message == WM_SYSCOMMAND && message.wParam == SC_RESTORE)
      throw std::runtime_error("restored");
    return false;
  });
  // A key typed into the edit, through the message loop.
  auto press = [&](WPARAM key) {
    edit->SetFocus();
    PostMessageA(edit->Handle(), WM_KEYDOWN, key, 1);
    application.ProcessMessages();
  };
  auto command = [&](WPARAM code) {
    PostMessageA(application.Handle(), WM_SYSCOMMAND, code, 0);
    application.ProcessMessages();
  };

  const std::vector<THandlerPath> paths = {
      {"first show of the main form",
       [&] {
         PostQuitMessage(0);  // the loop ends once the form is shown
         application.Run();
       },
       "first show"},
      {"Enter", [&] { press(VK_RETURN); }, "default button"},
      {"Escape", [&] { press(VK_ESCAPE); }, "Unknown exception"},
      {"menu command", [&] { menu->Popup(0, 0); }, "menu command"},
      {"minimise of the application window", [&] { command(SC_MINIMIZE); }, "minimised"},
      {"restore of the application window", [&] { command(SC_RESTORE); }, "restored"},
  };
  ExpectEachPathReportsWhatItsHandlerThrows(paths, reported);
  TPopupMenu::SetTrackFunction(nullptr);
  EXPECT_TRUE(application.Minimized()) << "a failing hook keeps the restore from happening";
  application.UnhookMainWindow(&reported);
  command(SC_RESTORE);
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST(FormsTest, CloseThatOnCloseRefusesKeepsTheProgramRunning)
{
  TApplication application;
  auto* form = application.CreateForm<TTestForm>();
  form->OnClose = [](TObject*, TCloseAction& action) { action = caNone; };
  form->Close();
  application.ProcessMessages();
  EXPECT_FALSE(application.Terminated());
  auto* other = application.CreateForm<TTestForm>();
  other->Show();
  other->Close();
  application.ProcessMessages();
  EXPECT_FALSE(application.Terminated());
  EXPECT_FALSE(IsWindowVisible(other->Handle()));
}

TEST(FormsTest, HiddenTabKeepsItsPageAndIndex)
{
  TApplication application;
  auto* form = application.CreateForm<TTestForm>();
  form->First->SetTabVisible(false);
  EXPECT_EQ(1, TabCtrl_GetItemCount(form->Pages->Handle()));
  EXPECT_EQ(2, form->Pages->PageCount());
  EXPECT_EQ(1, form->Second->PageIndex());
  EXPECT_EQ(0, form->Second->TabIndex());
  EXPECT_THROW(form->Pages->SetActivePageIndex(2), std::out_of_range);
}

}  // namespace
