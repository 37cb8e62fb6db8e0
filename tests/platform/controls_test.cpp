#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "platform/application.h"
#include "platform/forms/check_box.h"
#include "platform/forms/combo_box.h"
#include "platform/forms/edit.h"
#include "platform/forms/form.h"
#include "platform/forms/group_box.h"
#include "platform/forms/image.h"
#include "platform/forms/label.h"
#include "platform/forms/list_box.h"

namespace {

struct ControlsTest : testing::Test {
  TApplication application;
  TForm* form = application.CreateForm<TForm>();

  // The language box of the settings tab, "Deutsch" chosen.
  TComboBox* LanguageList()
  {
    auto* list = new TComboBox(form);
    list->SetStyle(csDropDownList);
    list->Items.Add("Deutsch");
    list->Items.Add("English");
    list->SetItemIndex(0);
    list->SetParent(form);
    return list;
  }
};

TEST_F(ControlsTest, CheckBoxSetterFiresOnClickOnlyOnChange)
{
  auto* box = new TCheckBox(form);
  box->SetParent(form);
  int clicks = 0;
  box->OnClick = [&](TObject*) { ++clicks; };
  box->SetChecked(false);
  EXPECT_EQ(0, clicks);
  box->SetChecked(true);
  EXPECT_EQ(1, clicks);
  EXPECT_EQ(BST_CHECKED, SendMessageA(box->Handle(), BM_GETCHECK, 0, 0));
  box->SetChecked(true);
  EXPECT_EQ(1, clicks);
  // A click of the user toggles through the same setter.
  SendMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), reinterpret_cast<LPARAM>(box->Handle()));
  EXPECT_FALSE(box->Checked());
  EXPECT_EQ(2, clicks);
  box->SetAlignment(taLeftJustify);
  EXPECT_NE(0, GetWindowLongPtrA(box->Handle(), GWL_STYLE) & BS_LEFTTEXT);
  EXPECT_EQ(BST_UNCHECKED, SendMessageA(box->Handle(), BM_GETCHECK, 0, 0));
}

TEST_F(ControlsTest, SettingTheShownChoiceLeavesAnOpenListAlone)
{
  TComboBox* list = LanguageList();
  form->Show();
  SendMessageA(list->Handle(), CB_SHOWDROPDOWN, TRUE, 0);
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetComboBoxInfo(list->Handle(), &info));
  // The user points at the second line of the open list.
  SendMessageA(info.hwndList, LB_SETCURSEL, 1, 0);
  list->SetItemIndex(0);  // what a refresh of the window does ten times a second
  EXPECT_EQ(1, SendMessageA(info.hwndList, LB_GETCURSEL, 0, 0));
  SendMessageA(list->Handle(), CB_SHOWDROPDOWN, FALSE, 0);
}

TEST_F(ControlsTest, ComboItemIndexAndTextAgreeInBothStyles)
{
  TComboBox* list = LanguageList();
  EXPECT_EQ(0, SendMessageA(list->Handle(), CB_GETCURSEL, 0, 0));
  EXPECT_EQ("Deutsch", list->Text());
  list->SetText("English");
  EXPECT_EQ(1, list->ItemIndex());
  list->SetText("Klingon");
  EXPECT_EQ(1, list->ItemIndex());
  EXPECT_EQ("English", list->Text());
  EXPECT_THROW(list->SetItemIndex(2), std::out_of_range);
  EXPECT_EQ(1, list->ItemIndex());
  int changes = 0;
  list->OnChange = [&](TObject*) { ++changes; };
  list->SetItemIndex(0);
  EXPECT_EQ(0, changes);
  // The user's choice arrives as a selection change.
  SendMessageA(list->Handle(), CB_SETCURSEL, 1, 0);
  SendMessageA(form->Handle(), WM_COMMAND, MAKEWPARAM(0, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list->Handle()));
  EXPECT_EQ(1, changes);
  EXPECT_EQ(1, list->ItemIndex());
  EXPECT_EQ("English", list->Text());

  auto* edit = new TComboBox(form);
  edit->SetParent(form);
  for (const char* level : {"low", "normal", "high", "debug"})
    edit->Items.Add(level);
  edit->SetText("normal");
  EXPECT_EQ(1, edit->ItemIndex());
  edit->SetText("loud");
  EXPECT_EQ(-1, edit->ItemIndex());
  EXPECT_EQ("loud", edit->Text());
  edit->Items.Delete(0);
  edit->SetText("debug");
  EXPECT_EQ(2, edit->ItemIndex());
  EXPECT_EQ(3, SendMessageA(edit->Handle(), CB_GETCOUNT, 0, 0));
}

TEST_F(ControlsTest, ListBoxAddAndDeleteReachTheWindowAndKeepTheSelection)
{
  auto* logs = new TListBox(form);
  logs->Items.Add("first");
  logs->SetParent(form);
  logs->Items.Add("second");
  logs->Items.Add("third");
  ASSERT_EQ(3, SendMessageA(logs->Handle(), LB_GETCOUNT, 0, 0));
  logs->SetItemIndex(2);
  logs->Items.Delete(0);
  EXPECT_EQ(1, logs->ItemIndex());
  EXPECT_EQ("third", logs->Items.Strings(1));
  char text[32] = {};
  SendMessageA(logs->Handle(), LB_GETTEXT, 0, reinterpret_cast<LPARAM>(text));
  EXPECT_STREQ("second", text);
  EXPECT_THROW(logs->Items.Delete(5), std::out_of_range);
  EXPECT_EQ(2, logs->Items.Count());
  logs->Items.Delete(1);
  EXPECT_EQ(-1, logs->ItemIndex());
  logs->Items.Clear();
  EXPECT_EQ(0, SendMessageA(logs->Handle(), LB_GETCOUNT, 0, 0));
}

// How wide a line of text is in a control's font.
int TextWidth(TControl* control, const std::string& line)
{
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, control->Font.Handle());
  SIZE extent{};
  GetTextExtentPoint32A(dc, line.c_str(), static_cast<int>(line.size()), &extent);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return static_cast<int>(extent.cx);
}

TEST_F(ControlsTest, ListBoxScrollWidthFollowsItsWidestLineInItsFont)
{
  auto* logs = new TListBox(form);
  const std::string wide(120, 'w');
  logs->Items.Add("short");
  logs->Items.Add(wide);  // before the list has a window
  logs->SetParent(form);
  auto scrollWidth = [&] { return static_cast<int>(SendMessageA(logs->Handle(), LB_GETHORIZONTALEXTENT, 0, 0)); };
  auto drawnWidth = [&](const std::string& line) { return TextWidth(logs, line); };
  EXPECT_GE(scrollWidth(), drawnWidth(wide));
  const int before = scrollWidth();
  logs->Font.SetHeight(logs->Font.Height() * 2);
  EXPECT_GE(scrollWidth(), drawnWidth(wide));
  EXPECT_GT(scrollWidth(), before);
  logs->Items.Clear();
  EXPECT_EQ(0, scrollWidth());
}

TEST_F(ControlsTest, WrappingLabelBreaksAtBlanksOnlyAndKeepsItsCaption)
{
  auto* label = new TLabel(form);
  label->SetAutoSize(false);
  label->SetWordWrap(true);
  label->SetParent(form);
  auto windowText = [&] {
    char text[256] = "";
    GetWindowTextA(label->Handle(), text, sizeof text);
    return std::string(text);
  };
  auto width = [&](const std::string& line) { return TextWidth(label, line); };
  const std::string text = "Mehr auf http://www.korvalind.test/account/\r\nEnde";
  label->SetBounds(0, 0, width("Mehr auf http://www.korvalind.test/acc"), 60);
  label->SetCaption(text);
  EXPECT_EQ(text, label->Caption());
  EXPECT_EQ("Mehr auf\r\nhttp://www.korvalind.test/account/\r\nEnde", windowText());
  // Wide enough again: the line comes back whole.
  label->SetWidth(width("Mehr auf http://www.korvalind.test/account/") + 1);
  EXPECT_EQ(text, windowText());
}

TEST_F(ControlsTest, WrappingLabelOfFixedSizeShowsTheWholeLinesThatFitAndEndsTheLastInAnEllipsis)
{
  auto* label = new TLabel(form);
  label->SetAutoSize(false);
  label->SetWordWrap(true);
  label->SetEllipsisPosition(epEndEllipsis);
  label->SetParent(form);
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, label->Font.Handle());
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  const int line = metrics.tmHeight;
  const int width = TextWidth(label, "abcd abcd") + 1;
  const std::string word(40, 'w');
  const struct {
    const char* Name;
    std::string Text;
    int Height;
    std::string Shown;
  } cases[] = {
      {"all lines fit", "abcd abcd abcd abcd abcd", 3 * line, "abcd abcd\r\nabcd abcd\r\nabcd"},
      {"a line left out", "abcd abcd abcd abcd abcd", 2 * line + line / 2, "abcd abcd\r\nabcd…"},
      {"its own line breaks", "abcd\r\nabcd\r\nabcd", 2 * line, "abcd\r\nabcd…"},
      {"less than one line high", "abcd abcd abcd", line / 2, "abcd…"},
      {"a word wider than the label", word + " abcd", line, ""},
  };
  for (const auto& c : cases) {
    label->SetBounds(0, 0, width, c.Height);
    label->SetCaption(c.Text);
    EXPECT_EQ(c.Text, label->Caption()) << c.Name;
    EXPECT_EQ(c.Height, label->Height()) << c.Name;
    char text[256] = "";
    GetWindowTextA(label->Handle(), text, sizeof text);
    const std::string shown = text;
    if (!c.Shown.empty()) {
      EXPECT_EQ(c.Shown, shown) << c.Name;
      continue;
    }
    ASSERT_GT(shown.size(), 1u) << c.Name;
    EXPECT_EQ(word.substr(0, shown.size() - 1) + "…", shown) << c.Name;
    EXPECT_LE(TextWidth(label, shown), width) << c.Name;
    EXPECT_GT(TextWidth(label, word.substr(0, shown.size()) + "…"), width) << c.Name;
  }
}

TEST_F(ControlsTest, EditKeepsItsTextAndPasswordCharAcrossARecreatedWindow)
{
  auto* password = new TEdit(form);
  password->SetParent(form);
  password->SetPasswordChar('*');
  password->SetText("secret");
  EXPECT_EQ('*', SendMessageA(password->Handle(), EM_GETPASSWORDCHAR, 0, 0));
  SetWindowTextA(password->Handle(), "typed");
  EXPECT_EQ("typed", password->Text());
  form->SetBorderStyle(bsSingle);
  EXPECT_EQ("typed", password->Text());
}

// An edit keeps the text it last read until the window reports a change;
// each way a text changes in the window must still be seen at once.
TEST_F(ControlsTest, EditSeesEveryChangeMadeInItsWindow)
{
  auto* group = new TGroupBox(form);
  group->SetParent(form);
  auto* moved = new TEdit(form);
  moved->SetParent(group);
  moved->Handle();
  moved->SetParent(form);  // the window moves along; its first parent goes
  delete group;
  auto* loose = new TEdit(form);  // a window of its own, no parent to report to
  auto* edit = new TEdit(form);
  edit->SetParent(form);

  const struct {
    const char* Way;
    void (*Change)(HWND window);
    const char* Shown;
  } ways[] = {
      {"typed", [](HWND w) { SendMessageA(w, WM_CHAR, '9', 0); }, "9address"},
      {"replaced",
       [](HWND w) {
         SendMessageA(w, EM_SETSEL, 0, -1);
         SendMessageA(w, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>("x"));
       },
       "x"},
      {"cleared",
       [](HWND w) {
         SendMessageA(w, EM_SETSEL, 0, -1);
         SendMessageA(w, WM_CLEAR, 0, 0);
       },
       ""},
      {"set from outside", [](HWND w) { SetWindowTextA(w, "typed"); }, "typed"},
  };
  for (TEdit* target : {edit, moved, loose}) {
    for (const auto& way : ways) {
      target->SetText("address");
      ASSERT_EQ("address", target->Text()) << way.Way;
      SendMessageA(target->Handle(), EM_SETSEL, 0, 0);
      way.Change(target->Handle());
      EXPECT_EQ(way.Shown, target->Text()) << way.Way;
    }
  }
}

TEST_F(ControlsTest, LabelFollowsItsParentsFontUntilItGetsItsOwn)
{
  auto* label = new TLabel(form);
  label->SetParent(form);
  form->Font.SetName("Arial");
  EXPECT_EQ("Arial", label->Font.Name());
  label->Font.SetHeight(40);
  label->Font.SetStyle({fsBold});
  form->Font.SetName("Courier New");
  EXPECT_EQ("Arial", label->Font.Name());
  EXPECT_FALSE(label->ParentFont());
  LOGFONTA info{};
  GetObjectA(reinterpret_cast<HFONT>(SendMessageA(label->Handle(), WM_GETFONT, 0, 0)), sizeof(info), &info);
  EXPECT_EQ(-40, info.lfHeight);
  EXPECT_EQ(FW_BOLD, info.lfWeight);
  label->Font.SetColor(clRed);
  HDC dc = GetDC(label->Handle());
  SendMessageA(form->Handle(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
               reinterpret_cast<LPARAM>(label->Handle()));
  EXPECT_EQ(RGB(255, 0, 0), GetTextColor(dc));
  ReleaseDC(label->Handle(), dc);
}

TEST_F(ControlsTest, DestroyedParentLeavesItsChildrenLoose)
{
  auto* group = new TGroupBox(form);
  group->SetParent(form);
  auto* label = new TLabel(form);
  label->SetParent(group);
  ASSERT_TRUE(label->HandleAllocated());
  delete group;
  EXPECT_EQ(nullptr, label->Parent());
  EXPECT_FALSE(label->HandleAllocated());
  label->SetParent(form);
  EXPECT_TRUE(label->HandleAllocated());
}

// Every message to a control finds it through its window: a stale entry would
// hand a later window's messages to a freed control.
TEST_F(ControlsTest, AWindowLeadsToItsControlOnlyWhileItExists)
{
  auto* label = new TLabel(form);
  label->SetParent(form);
  const HWND first = label->Handle();
  EXPECT_EQ(label, TWinControl::FromHandle(first));
  EXPECT_EQ(form, TWinControl::FromHandle(form->Handle()));
  TWinControl* seenByThread = nullptr;
  std::thread([&] { seenByThread = TWinControl::FromHandle(first); }).join();
  EXPECT_EQ(label, seenByThread);

  label->SetAlignment(taCenter);  // makes the window anew
  const HWND second = label->Handle();
  ASSERT_NE(first, second);
  EXPECT_EQ(nullptr, TWinControl::FromHandle(first));
  EXPECT_EQ(label, TWinControl::FromHandle(second));

  // Destroyed from outside, as the system does when the parent window goes.
  DestroyWindow(second);
  EXPECT_FALSE(label->HandleAllocated());
  EXPECT_EQ(nullptr, TWinControl::FromHandle(second));
  const HWND third = label->Handle();
  EXPECT_EQ(label, TWinControl::FromHandle(third));
  delete label;
  EXPECT_EQ(nullptr, TWinControl::FromHandle(third));
  EXPECT_EQ(nullptr, TWinControl::FromHandle(GetDesktopWindow()));
}

TEST_F(ControlsTest, ProportionalPictureFitsAndCentres)
{
  auto* image = new TImage(form);
  image->SetBounds(0, 0, 100, 50);
  HDC screen = GetDC(nullptr);
  image->Picture.SetBitmap(CreateCompatibleBitmap(screen, 200, 200));
  ReleaseDC(nullptr, screen);
  image->SetProportional(true);
  image->SetCenter(true);
  const RECT dest = image->DestRect();
  EXPECT_EQ(25, dest.left);
  EXPECT_EQ(0, dest.top);
  EXPECT_EQ(50, dest.right - dest.left);
  EXPECT_EQ(50, dest.bottom - dest.top);
  EXPECT_FALSE(image->Picture.LoadFromResourceName(GetModuleHandleA(nullptr), "NO_SUCH_PICTURE"));
  EXPECT_EQ(200, image->Picture.Width());
}

}  // namespace
