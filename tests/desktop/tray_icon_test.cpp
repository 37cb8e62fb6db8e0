#include "desktop/tray_icon.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "desktop/tray_shell.h"
#include "platform/application.h"
#include "platform/forms/controls.h"
#include "platform/forms/form.h"
#include "platform/forms/menus.h"
#include "tests/support/test_icons.h"
#include "tests/platform/handler_paths.h"
#include "tests/support/message_pump.h"
#include "tests/support/notification_area.h"

using namespace std::chrono_literals;

namespace {

struct ShellRequest {
  DWORD Message;
  NOTIFYICONDATAA Data;
};

// Replaces the shell, the cursor, the keyboard and the double-click time.
class TrayIconTest : public testing::Test {
protected:
  void SetUp() override
  {
    TrayShell().NotifyIcon = [this](DWORD message, NOTIFYICONDATAA* data) {
      requests.push_back({message, *data});
      return shellAnswer;
    };
    TrayShell().GetCursorPos = [this](POINT* point) {
      *point = cursor;
      return cursorReadable ? TRUE : FALSE;
    };
    TrayShell().GetAsyncKeyState = [this](int key) -> SHORT { return keysDown.count(key) ? SHORT(0x8000) : 0; };
    TrayShell().GetDoubleClickTime = [this] { return doubleClickTime; };
  }
  void TearDown() override
  {
    ResetTrayShell();
    TPopupMenu::SetTrackFunction(nullptr);
  }

  const ShellRequest& Last() const { return requests.back(); }
  std::vector<DWORD> Messages() const
  {
    std::vector<DWORD> messages;
    for (const auto& request : requests)
      messages.push_back(request.Message);
    return messages;
  }
  // The shell's callback as the shared window receives it.
  static void Callback(const TTrayIcon& icon, UINT event)
  {
    SendMessageA(SharedTrayHandler->Handle(), TTrayIcon::CallbackMessage, icon.Identifier(), event);
  }

  TApplication application;
  std::vector<ShellRequest> requests;
  BOOL shellAnswer = TRUE;
  POINT cursor{300, 400};
  bool cursorReadable = true;
  std::set<int> keysDown;
  UINT doubleClickTime = 150;
};

TEST_F(TrayIconTest, RecordFitsTheSdkLayoutAndAddRemoveFollowIconVisible)
{
  TTrayIcon icon(nullptr);
  EXPECT_TRUE(requests.empty()) << "construction sends nothing";
  const NOTIFYICONDATAA& data = icon.NotifyData();
  EXPECT_EQ(data.cbSize, sizeof(NOTIFYICONDATAA));
  EXPECT_EQ(data.hWnd, SharedTrayHandler->Handle());
  EXPECT_EQ(data.uID, icon.Identifier());
  EXPECT_EQ(data.uFlags, 7u);
  EXPECT_EQ(data.uCallbackMessage, 2048u);

  icon.SetIconVisible(true);
  EXPECT_TRUE(icon.IconVisible());
  EXPECT_EQ(Last().Message, static_cast<DWORD>(NIM_ADD));
  shellAnswer = FALSE;
  EXPECT_FALSE(icon.AddTrayIcon()) << "a refused add is reported";
  EXPECT_TRUE(icon.IconVisible());
  shellAnswer = TRUE;
  icon.SetIconVisible(false);
  EXPECT_FALSE(icon.IconVisible());
  EXPECT_EQ(Last().Message, static_cast<DWORD>(NIM_DELETE));

  TTrayIcon other(nullptr);
  EXPECT_NE(other.Identifier(), icon.Identifier());
}

TEST_F(TrayIconTest, TooltipIsCutTo127AndEmptyWithoutHintOrShowHint)
{
  TTrayIcon icon(nullptr);
  const std::string hint(200, 'h');
  icon.SetHint(hint);
  EXPECT_EQ(Last().Message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(std::string(Last().Data.szTip), hint.substr(0, 127));

  icon.SetShowHint(false);
  EXPECT_EQ(std::string(Last().Data.szTip, sizeof Last().Data.szTip), std::string(128, '\0'));
  icon.SetShowHint(true);
  EXPECT_EQ(std::string(Last().Data.szTip).size(), 127u);
  icon.SetHint("");
  EXPECT_EQ(std::string(Last().Data.szTip, sizeof Last().Data.szTip), std::string(128, '\0'));
}

TEST_F(TrayIconTest, BalloonTextsAreCutTimeoutInMillisecondsFlagsBackToSeven)
{
  TTrayIcon icon(nullptr);
  EXPECT_TRUE(icon.ShowTrayBalloon(std::string(100, 't'), std::string(300, 'x'), TBalloonHintIcon::bhiInfo, 20));
  ASSERT_EQ(requests.size(), 2u) << "the old balloon is cleared first";
  const auto& clear = requests[0].Data;
  EXPECT_EQ(clear.uFlags, 0x17u);
  EXPECT_EQ(clear.szInfo[0], '\0');
  const auto& shown = requests[1].Data;
  EXPECT_EQ(requests[1].Message, static_cast<DWORD>(NIM_MODIFY));
  EXPECT_EQ(shown.uFlags, 0x17u);
  EXPECT_EQ(std::string(shown.szInfoTitle), std::string(63, 't'));
  EXPECT_EQ(std::string(shown.szInfo), std::string(255, 'x'));
  EXPECT_EQ(shown.uTimeout, 20000u);
  EXPECT_EQ(shown.dwInfoFlags, static_cast<DWORD>(NIIF_INFO));
  EXPECT_EQ(icon.NotifyData().uFlags, 7u);

  const struct {
    TBalloonHintIcon Kind;
    DWORD InfoFlags;
    std::uint8_t Seconds;
    UINT Timeout;
  } kinds[] = {
      {TBalloonHintIcon::bhiWarning, NIIF_WARNING, 255, 255000},
      {TBalloonHintIcon::bhiError, NIIF_ERROR, 1, 1000},
      {TBalloonHintIcon::bhiNone, NIIF_NONE, 1, 1000},
  };
  for (const auto& kind : kinds) {
    icon.ShowTrayBalloon("t", "text", kind.Kind, kind.Seconds);
    EXPECT_EQ(Last().Data.dwInfoFlags, kind.InfoFlags);
    EXPECT_EQ(Last().Data.uTimeout, kind.Timeout);
  }

  // A plain clear leaves NIF_INFO set for the requests that follow.
  icon.ClearTrayBalloon();
  icon.SetHint("next");
  EXPECT_EQ(Last().Data.uFlags, 0x17u);
  EXPECT_EQ(Last().Data.szInfo[0], '\0');
}

TEST_F(TrayIconTest, TrayVersionAndLoadedRequests)
{
  TTrayIcon icon(nullptr);
  icon.SetTrayVersion(TNotifyBehaviour::nbVersion3);
  EXPECT_EQ(Last().Message, static_cast<DWORD>(NIM_SETVERSION));
  EXPECT_EQ(Last().Data.uVersion, 3u);
  const auto unknown = static_cast<TNotifyBehaviour>(7);
  icon.SetTrayVersion(unknown);
  EXPECT_EQ(Last().Data.uVersion, 3u) << "an unknown behaviour leaves uVersion";
  EXPECT_EQ(icon.NotifyBehaviour(), unknown);
  icon.SetTrayVersion(TNotifyBehaviour::nbClassic);
  EXPECT_EQ(Last().Data.uVersion, 0u);

  requests.clear();
  icon.SetIconVisible(true);
  icon.Loaded();
  EXPECT_EQ(Messages(), (std::vector<DWORD>{NIM_ADD, NIM_MODIFY, NIM_ADD, NIM_SETVERSION}));
}

TEST_F(TrayIconTest, IconPictureChangesUpdateTheTray)
{
  TTrayIcon icon(nullptr);
  TIcon picture;
  picture.SetHandle(MakeTestIcon(24));
  icon.SetIcon(picture);
  ASSERT_EQ(requests.size(), 1u) << "writing Icon sends one request";
  EXPECT_EQ(IconWidth(Last().Data.hIcon), 24);
  icon.Icon().SetHandle(MakeTestIcon(32));
  EXPECT_EQ(requests.size(), 2u);
  EXPECT_EQ(IconWidth(Last().Data.hIcon), 32);
}

TEST_F(TrayIconTest, IconIndexIsClampedToTheListAndZeroWithout)
{
  TCustomImageList list(nullptr);
  for (int width : {16, 24, 32})
    list.AddIconHandle(MakeTestIcon(width));
  TTrayIcon icon(nullptr);
  icon.SetIconIndex(5);
  EXPECT_EQ(icon.IconIndex(), 0);

  icon.SetIconList(&list);
  icon.SetIconIndex(10);
  EXPECT_EQ(icon.IconIndex(), 2);
  EXPECT_EQ(IconWidth(Last().Data.hIcon), 32);
  icon.SetIconIndex(1);
  EXPECT_EQ(IconWidth(Last().Data.hIcon), 24);
  icon.SetIconIndex(-1);
  EXPECT_EQ(icon.IconIndex(), -1);
  EXPECT_EQ(Last().Data.hIcon, nullptr) << "a negative index yields no image";
}

TEST_F(TrayIconTest, CyclingWalksTheListAndWrapsAround)
{
  TCustomImageList list(nullptr);
  for (int width : {16, 24, 32})
    list.AddIconHandle(MakeTestIcon(width));
  TTrayIcon icon(nullptr);
  icon.SetIconList(&list);
  icon.SetIconIndex(2);

  std::vector<int> nextIndices;
  std::vector<int> shownAfterTick;
  icon.OnCycle = [&](TObject* sender, int next) {
    EXPECT_EQ(sender, &icon);
    nextIndices.push_back(next);
  };
  icon.SetCycleIcons(true);
  EXPECT_EQ(icon.IconIndex(), 0);
  EXPECT_FALSE(icon.IconCycleTimer().Enabled()) << "interval 0 starts nothing";

  icon.SetIconIndex(2);
  icon.SetCycleInterval(40);
  EXPECT_EQ(icon.IconIndex(), 0) << "a new interval restarts from the first icon";
  EXPECT_TRUE(icon.IconCycleTimer().Enabled());
  std::size_t seen = 0;
  ASSERT_TRUE(PumpMessagesUntil(
      [&] {
        if (nextIndices.size() > seen) {
          seen = nextIndices.size();
          shownAfterTick.push_back(icon.IconIndex());
        }
        return seen >= 4;
      },
      5s));
  icon.SetCycleIcons(false);
  EXPECT_EQ(std::vector<int>(nextIndices.begin(), nextIndices.begin() + 4), (std::vector<int>{1, 2, 0, 1}));
  EXPECT_EQ(std::vector<int>(shownAfterTick.begin(), shownAfterTick.begin() + 4), (std::vector<int>{1, 2, 0, 1}));
  EXPECT_FALSE(icon.IconCycleTimer().Enabled());
}

TEST_F(TrayIconTest, RemovedListAndMenuAreForgotten)
{
  TTrayIcon icon(nullptr);
  auto list = std::make_unique<TCustomImageList>(nullptr);
  for (int width : {16, 24})
    list->AddIconHandle(MakeTestIcon(width));
  auto menu = std::make_unique<TPopupMenu>(nullptr);
  icon.SetIconList(list.get());
  icon.SetIconIndex(1);
  icon.SetPopupMenu(menu.get());
  requests.clear();

  list.reset();
  EXPECT_EQ(icon.IconList(), nullptr);
  EXPECT_EQ(icon.IconIndex(), 0);
  EXPECT_FALSE(requests.empty()) << "the tray is updated";
  menu.reset();
  EXPECT_EQ(icon.PopupMenu(), nullptr);
}

TEST_F(TrayIconTest, SharedWindowLivesWithTheIconsAndStaleCallbacksAreDropped)
{
  auto first = std::make_unique<TTrayIcon>(nullptr);
  const HWND window = SharedTrayHandler->Handle();
  auto second = std::make_unique<TTrayIcon>(nullptr);
  EXPECT_EQ(SharedTrayHandler->UserCount(), 2u);

  int clicks = 0;
  second->OnClick = [&](TObject*) { ++clicks; };
  const std::uint32_t goneId = second->Identifier();
  PostMessageA(window, TTrayIcon::CallbackMessage, goneId, WM_LBUTTONDOWN);
  PostMessageA(window, TTrayIcon::CallbackMessage, goneId, WM_LBUTTONUP);
  second.reset();
  PumpMessagesFor(50ms);
  EXPECT_EQ(clicks, 0);

  first.reset();
  EXPECT_EQ(SharedTrayHandler, nullptr);
  EXPECT_FALSE(IsWindow(window));
  TTrayIcon later(nullptr);
  ASSERT_NE(SharedTrayHandler, nullptr);
  EXPECT_TRUE(IsWindow(SharedTrayHandler->Handle()));
  EXPECT_EQ(later.NotifyData().hWnd, SharedTrayHandler->Handle());
}

TEST_F(TrayIconTest, ClickWithoutDoubleClickHandlerFiresAtTheRelease)
{
  TTrayIcon icon(nullptr);
  std::vector<std::string> events;
  icon.OnClick = [&](TObject*) { events.push_back("click"); };
  icon.OnMouseDown = [&](TObject*, TMouseButton button, TShiftState shift, int x, int y) {
    EXPECT_EQ(button, mbLeft);
    EXPECT_TRUE(shift.Contains(ssLeft));
    EXPECT_TRUE(shift.Contains(ssShift));
    EXPECT_FALSE(shift.Contains(ssCtrl));
    EXPECT_EQ(x, 300);
    EXPECT_EQ(y, 400);
    events.push_back("down");
  };
  icon.OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { events.push_back("up"); };
  keysDown = {VK_SHIFT};
  Callback(icon, WM_LBUTTONDOWN);
  Callback(icon, WM_LBUTTONUP);
  EXPECT_EQ(events, (std::vector<std::string>{"down", "click", "up"}));
  EXPECT_FALSE(icon.ClickDelayTimer().Enabled());
}

TEST_F(TrayIconTest, ClickWithDoubleClickHandlerWaitsForTheDoubleClickTime)
{
  TTrayIcon icon(nullptr);
  std::vector<std::string> events;
  icon.OnClick = [&](TObject*) { events.push_back("click"); };
  icon.OnDblClick = [&](TObject*) { events.push_back("dblclick"); };
  icon.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { events.push_back("down"); };
  icon.OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { events.push_back("up"); };

  // Single click: down and up at once, the click after the double-click time.
  const auto pressed = std::chrono::steady_clock::now();
  Callback(icon, WM_LBUTTONDOWN);
  EXPECT_EQ(icon.ClickDelayTimer().Interval(), 150u);
  Callback(icon, WM_LBUTTONUP);
  EXPECT_EQ(events, (std::vector<std::string>{"down", "up"}));
  ASSERT_TRUE(PumpMessagesUntil([&] { return events.size() == 3; }, 5s));
  EXPECT_GE(std::chrono::steady_clock::now() - pressed, 120ms);
  EXPECT_EQ(events.back(), "click");

  // Double-click: no click at all.
  events.clear();
  Callback(icon, WM_LBUTTONDOWN);
  Callback(icon, WM_LBUTTONUP);
  Callback(icon, WM_LBUTTONDBLCLK);
  Callback(icon, WM_LBUTTONUP);
  PumpMessagesFor(400ms);
  EXPECT_EQ(events, (std::vector<std::string>{"down", "up", "dblclick", "up"}));

  // Held longer than the double-click time: the click comes at the release.
  events.clear();
  Callback(icon, WM_LBUTTONDOWN);
  ASSERT_TRUE(PumpMessagesUntil([&] { return !icon.ClickDelayTimer().Enabled(); }, 5s));
  EXPECT_EQ(events, (std::vector<std::string>{"down"}));
  Callback(icon, WM_LBUTTONUP);
  EXPECT_EQ(events, (std::vector<std::string>{"down", "click", "up"}));
}

TEST_F(TrayIconTest, DisabledIconIgnoresTheMouseButNotBalloons)
{
  TTrayIcon icon(nullptr);
  TPopupMenu menu(nullptr);
  icon.SetPopupMenu(&menu);
  int opened = 0;
  TPopupMenu::SetTrackFunction([&](HMENU, int, int, HWND) -> UINT {
    ++opened;
    return 0;
  });
  int mouse = 0;
  icon.OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int, int) { ++mouse; };
  icon.OnMouseMove = [&](TObject*, TShiftState, int, int) { ++mouse; };
  std::vector<std::string> balloons;
  icon.OnBalloonHintShow = [&](TObject*) { balloons.push_back("show"); };
  icon.OnBalloonHintHide = [&](TObject*) { balloons.push_back("hide"); };
  icon.OnBalloonHintTimeout = [&](TObject*) { balloons.push_back("timeout"); };
  icon.OnBalloonHintClick = [&](TObject*) { balloons.push_back("click"); };
  icon.SetEnabled(false);
  for (UINT event : std::initializer_list<UINT>{WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN})
    Callback(icon, event);
  for (UINT event :
       std::initializer_list<UINT>{NIN_BALLOONSHOW, NIN_BALLOONHIDE, NIN_BALLOONTIMEOUT, NIN_BALLOONUSERCLICK})
    Callback(icon, event);
  Callback(icon, 0x7777);  // an unknown event is ignored
  EXPECT_EQ(mouse, 0);
  EXPECT_EQ(opened, 0);
  EXPECT_EQ(balloons, (std::vector<std::string>{"show", "hide", "timeout", "click"}));
}

TEST_F(TrayIconTest, RightPressOpensTheMenuAfterMouseDown)
{
  TTrayIcon icon(nullptr);
  std::vector<std::string> events;
  icon.OnMouseDown = [&](TObject*, TMouseButton button, TShiftState shift, int, int) {
    events.push_back(button == mbRight && shift.Contains(ssRight) ? "right down" : "other down");
  };
  icon.OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { events.push_back("up"); };
  Callback(icon, WM_RBUTTONDOWN);
  EXPECT_EQ(events, (std::vector<std::string>{"right down"})) << "no menu, nothing else";

  TPopupMenu menu(nullptr);
  icon.SetPopupMenu(&menu);
  POINT openedAt{};
  TPopupMenu::SetTrackFunction([&](HMENU, int x, int y, HWND) -> UINT {
    openedAt = {x, y};
    events.push_back("menu");
    return 0;
  });
  Callback(icon, WM_RBUTTONDOWN);
  EXPECT_EQ(events.back(), "menu");
  EXPECT_EQ(openedAt.x, 300);
  EXPECT_EQ(openedAt.y, 400);
  EXPECT_EQ(menu.PopupComponent(), &icon);

  // The cursor cannot be read: no menu.
  events.clear();
  cursorReadable = false;
  Callback(icon, WM_RBUTTONDOWN);
  EXPECT_EQ(events, (std::vector<std::string>{"right down"}));
  cursorReadable = true;

  // LeftPopup: the left press opens it, after OnMouseDown.
  events.clear();
  icon.SetLeftPopup(true);
  Callback(icon, WM_LBUTTONDOWN);
  EXPECT_EQ(events, (std::vector<std::string>{"other down", "menu"}));
  menu.SetAutoPopup(false);
  events.clear();
  Callback(icon, WM_LBUTTONDOWN);
  EXPECT_EQ(events, (std::vector<std::string>{"other down"}));
}

TEST_F(TrayIconTest, RightReleaseIsTheEventTheNotifyBehaviourNames)
{
  TTrayIcon icon(nullptr);
  int rightUps = 0;
  icon.OnMouseUp = [&](TObject*, TMouseButton button, TShiftState shift, int, int) {
    EXPECT_EQ(button, mbRight);
    EXPECT_TRUE(shift.Contains(ssRight));
    ++rightUps;
  };
  const struct {
    TNotifyBehaviour Behaviour;
    UINT Event;
    bool FiresMouseUp;
  } events[] = {
      {TNotifyBehaviour::nbClassic, WM_RBUTTONUP, true},   {TNotifyBehaviour::nbClassic, WM_CONTEXTMENU, false},
      {TNotifyBehaviour::nbClassic, NIN_SELECT, false},    {TNotifyBehaviour::nbClassic, NIN_KEYSELECT, false},
      {TNotifyBehaviour::nbVersion3, WM_RBUTTONUP, false}, {TNotifyBehaviour::nbVersion3, WM_CONTEXTMENU, true},
      {TNotifyBehaviour::nbVersion3, NIN_SELECT, true},    {TNotifyBehaviour::nbVersion3, NIN_KEYSELECT, true},
  };
  for (const auto& event : events) {
    icon.SetTrayVersion(event.Behaviour);
    rightUps = 0;
    Callback(icon, event.Event);
    EXPECT_EQ(rightUps, event.FiresMouseUp ? 1 : 0)
        << "behaviour " << static_cast<int>(event.Behaviour) << ", event " << event.Event;
  }
}

TEST_F(TrayIconTest, DoubleClickRunsTheMenusDefaultItem)
{
  TTrayIcon icon(nullptr);
  TPopupMenu menu(nullptr);
  auto* first = new TMenuItem(&menu);
  auto* second = new TMenuItem(&menu);
  menu.Add(first);
  menu.Add(second);
  second->SetDefault(true);
  int firstClicks = 0;
  int secondClicks = 0;
  first->OnClick = [&](TObject*) { ++firstClicks; };
  second->OnClick = [&](TObject*) { ++secondClicks; };
  icon.SetPopupMenu(&menu);
  icon.OnDblClick = [](TObject*) {};

  Callback(icon, WM_LBUTTONDBLCLK);
  EXPECT_EQ(secondClicks, 1);
  EXPECT_EQ(firstClicks, 0);
  icon.SetLeftPopup(true);
  Callback(icon, WM_LBUTTONDBLCLK);
  EXPECT_EQ(secondClicks, 1);
  icon.SetLeftPopup(false);
  menu.SetAutoPopup(false);
  Callback(icon, WM_LBUTTONDBLCLK);
  EXPECT_EQ(secondClicks, 1);
}

TEST_F(TrayIconTest, EnterOnFirstMoveExitWhenTheCursorLeaves)
{
  TTrayIcon icon(nullptr);
  std::vector<std::string> events;
  icon.OnMouseEnter = [&](TObject*) { events.push_back("enter"); };
  icon.OnMouseExit = [&](TObject*) { events.push_back("exit"); };
  icon.OnMouseMove = [&](TObject*, TShiftState shift, int, int) {
    EXPECT_EQ(shift, TShiftState{});
    events.push_back("move");
  };
  Callback(icon, WM_MOUSEMOVE);
  EXPECT_EQ(events, (std::vector<std::string>{"move"})) << "no enter unless asked for";

  icon.SetWantEnterExitEvents(true);
  EXPECT_TRUE(icon.MouseExitTimer().Enabled());
  events.clear();
  Callback(icon, WM_MOUSEMOVE);
  Callback(icon, WM_MOUSEMOVE);
  PumpMessagesFor(100ms);
  EXPECT_EQ(events, (std::vector<std::string>{"enter", "move", "move"})) << "the cursor stayed";

  cursorReadable = false;
  cursor = {5, 5};
  PumpMessagesFor(100ms);
  EXPECT_EQ(events.size(), 3u) << "an unreadable cursor decides nothing";
  cursorReadable = true;
  ASSERT_TRUE(PumpMessagesUntil([&] { return events.size() == 4; }, 5s));
  EXPECT_EQ(events.back(), "exit");
  Callback(icon, WM_MOUSEMOVE);
  EXPECT_EQ(events[4], "enter");
}

TEST_F(TrayIconTest, HandlerMayDestroyTheIcon)
{
  auto* icon = new TTrayIcon(nullptr);
  icon->OnMouseDown = [&](TObject* sender, TMouseButton, TShiftState, int, int) { delete sender; };
  Callback(*icon, WM_LBUTTONDOWN);

  icon = new TTrayIcon(nullptr);
  TPopupMenu menu(nullptr);
  auto* exitItem = new TMenuItem(&menu);
  menu.Add(exitItem);
  exitItem->OnClick = [&](TObject*) { delete icon; };
  icon->SetPopupMenu(&menu);
  TPopupMenu::SetTrackFunction([&](HMENU, int, int, HWND) -> UINT { return exitItem->Command(); });
  Callback(*icon, WM_RBUTTONDOWN);
  EXPECT_EQ(SharedTrayHandler, nullptr);
}

TEST_F(TrayIconTest, APopupRequestWhileTheMenuIsOpenIsIgnored)
{
  TTrayIcon icon(nullptr);
  TPopupMenu menu(nullptr);
  icon.SetPopupMenu(&menu);
  auto queueRightPress = [&] {
    PostMessageA(SharedTrayHandler->Handle(), TTrayIcon::CallbackMessage, icon.Identifier(), WM_RBUTTONDOWN);
  };
  int opened = 0;
  int depth = 0;
  int deepest = 0;
  TPopupMenu::SetTrackFunction([&](HMENU, int, int, HWND) -> UINT {
    deepest = std::max(deepest, ++depth);
    // The menu's own loop handles a right press that arrives while it is open.
    if (++opened == 1) {
      queueRightPress();
      PumpMessagesFor(20ms);
    }
    --depth;
    return 0;
  });
  // A second press already queued: the request pumps it before the menu opens.
  queueRightPress();
  Callback(icon, WM_RBUTTONDOWN);
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(deepest, 1);
  Callback(icon, WM_RBUTTONDOWN);
  EXPECT_EQ(opened, 2) << "once closed, the menu opens again";
}

TEST_F(TrayIconTest, AnIconWhoseConstructionFailsLeavesNothingBehind)
{
  TTrayIcon first(nullptr);
  // An owner whose window cannot be made: hooking it is the last step.
  class TNoWindow : public TWinControl {
  public:
    using TWinControl::TWinControl;

  protected:
    void CreateParams(TCreateParams& params) override { params.ClassName = "KorvalindNoSuchClass"; }
  } owner(nullptr);
  EXPECT_THROW(new TTrayIcon(&owner), std::exception);
  EXPECT_EQ(SharedTrayHandler->UserCount(), 1u);
  EXPECT_EQ(SharedTrayHandler->Find(first.Identifier() + 1), nullptr);
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST_F(TrayIconTest, ShellRestartAddsTheIconAgainWhenVisible)
{
  EXPECT_TRUE(CommonControlsAnnounceTaskbarCreated(4, 71));
  EXPECT_TRUE(CommonControlsAnnounceTaskbarCreated(6, 0));
  EXPECT_FALSE(CommonControlsAnnounceTaskbarCreated(4, 70));
  ASSERT_NE(TaskbarCreatedMessage, 0u) << "Wine's common controls are newer than 4.71";

  TTrayIcon icon(nullptr);
  const HWND appWindow = application.Handle();
  SendMessageA(appWindow, TaskbarCreatedMessage, 0, 0);
  EXPECT_TRUE(requests.empty()) << "not in the tray, not added";
  icon.SetIconVisible(true);
  requests.clear();
  SendMessageA(appWindow, TaskbarCreatedMessage, 0, 0);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(Last().Message, static_cast<DWORD>(NIM_ADD));

  // Without the registered number (old common controls) nothing comes back.
  const UINT registered = TaskbarCreatedMessage;
  TaskbarCreatedMessage = 0;
  requests.clear();
  SendMessageA(appWindow, registered, 0, 0);
  TaskbarCreatedMessage = registered;
  EXPECT_TRUE(requests.empty());
}

}  // namespace

namespace {

// A main form that holds its tray icon, as the program's main window does.
class TTrayForm : public TForm {
public:
  explicit TTrayForm(TComponent* owner) : TForm(owner)
  {
    WindowProcBeforeTray = GetWindowLongPtrA(Handle(), GWLP_WNDPROC);
    Tray = new TTrayIcon(this);
  }
  LONG_PTR WindowProcBeforeTray;
  TTrayIcon* Tray;
};

class TrayFormTest : public TrayIconTest {
protected:
  void SetUp() override
  {
    TrayIconTest::SetUp();
    form = application.CreateForm<TTrayForm>();
    form->Tray->SetMinimizeToTray(true);
    form->Show();
    ASSERT_TRUE(PumpMessagesUntil([&] { return IsWindowVisible(application.Handle()) != FALSE; }, 5s));
  }
  void Minimize() { SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0); }
  bool InTray() { return !form->Visible() && !IsWindowVisible(application.Handle()); }

  TTrayForm* form = nullptr;
};

TEST_F(TrayFormTest, MinimizeWithTheEventHidesWithoutMinimizing)
{
  int fired = 0;
  form->Tray->OnMinimizeToTray = [&](TObject*) { ++fired; };
  Minimize();
  EXPECT_TRUE(PumpMessagesUntil([&] { return InTray(); }, 5s));
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(application.Minimized());
  EXPECT_TRUE(form->Tray->IconVisible());
  EXPECT_EQ(Last().Message, static_cast<DWORD>(NIM_ADD));
}

TEST_F(TrayFormTest, MinimizeWithoutTheEventGoesThroughTheApplicationWindow)
{
  Minimize();
  EXPECT_TRUE(PumpMessagesUntil([&] { return InTray(); }, 5s));
  EXPECT_TRUE(form->Tray->IconVisible());

  // The restore command of the taskbar brings the main form back.
  SendMessageA(application.Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
  PumpMessagesFor(50ms);
  EXPECT_TRUE(form->Visible());
}

TEST_F(TrayFormTest, WithoutMinimizeToTrayTheFormJustMinimizes)
{
  int fired = 0;
  form->Tray->OnMinimizeToTray = [&](TObject*) { ++fired; };
  form->Tray->SetMinimizeToTray(false);
  Minimize();
  EXPECT_TRUE(PumpMessagesUntil([&] { return application.Minimized(); }, 5s));
  EXPECT_EQ(fired, 0);
  EXPECT_FALSE(form->Tray->IconVisible());
}

TEST_F(TrayFormTest, HideToTrayAndRestoreFromTray)
{
  form->Tray->HideToTray();
  EXPECT_TRUE(InTray());
  EXPECT_TRUE(requests.empty()) << "the icon is not touched";
  form->Tray->RestoreFromTray();
  PumpMessagesFor(50ms);
  EXPECT_TRUE(form->Visible());
  EXPECT_EQ(form->WindowState(), wsNormal);
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST_F(TrayFormTest, EveryWayTheTrayRunsAHandlerReportsWhatItThrowsAndTheLoopGoesOn)
{
  std::vector<std::string> reported;
  application.OnException = [&](TObject*, const std::exception& e) { reported.push_back(e.what()); };
  form->Tray->OnDblClick = [](TObject*) { throw std::runtime_error("double-click"); };
  form->Tray->OnMinimizeToTray = [](TObject*) { throw std::runtime_error("into the tray"); };
  form->OnShow = [](TObject*) { throw std::runtime_error("shown"); };
  // Through the message loop, as the shell and the taskbar send them.
  auto post = [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    PostMessageA(window, message, wParam, lParam);
    application.ProcessMessages();
  };

  const std::vector<THandlerPath> paths = {
      {"tray callback",
       [&] {
         post(SharedTrayHandler->Handle(), TTrayIcon::CallbackMessage, form->Tray->Identifier(), WM_LBUTTONDBLCLK);
       },
       "double-click"},
      {"minimise of the owner window", [&] { post(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0); }, "into the tray"},
      {"restore from the taskbar", [&] { post(application.Handle(), WM_SYSCOMMAND, SC_RESTORE, 0); }, "shown"},
      // What Windows sends the owned windows of a window it minimises.
      {"owner window hidden with the application window",
       [&] { post(form->Handle(), WM_SHOWWINDOW, FALSE, SW_PARENTCLOSING); }, "into the tray"},
  };
  ExpectEachPathReportsWhatItsHandlerThrows(paths, reported);
  EXPECT_FALSE(application.Terminated());
  form->OnShow = nullptr;
  form->Tray->RestoreFromTray();
  EXPECT_TRUE(IsWindowVisible(form->Handle()));
}

TEST_F(TrayFormTest, OwnerWindowHooksChainAndComeOff)
{
  const LONG_PTR original = form->WindowProcBeforeTray;
  EXPECT_NE(GetWindowLongPtrA(form->Handle(), GWLP_WNDPROC), original);
  auto* second = new TTrayIcon(form);
  second->SetMinimizeToTray(true);
  int secondFired = 0;
  second->OnMinimizeToTray = [&](TObject*) { ++secondFired; };
  Minimize();
  EXPECT_TRUE(PumpMessagesUntil([&] { return InTray(); }, 5s));
  EXPECT_EQ(secondFired, 1) << "the last hooked sees the message first";

  delete second;
  EXPECT_NE(GetWindowLongPtrA(form->Handle(), GWLP_WNDPROC), original);
  delete form->Tray;
  EXPECT_EQ(GetWindowLongPtrA(form->Handle(), GWLP_WNDPROC), original);
}

}  // namespace

namespace {

// Against Wine's own notification area, where the sandbox's display has one.
TEST(TrayIconRealShell, AddModifyBalloonDelete)
{
  ResetTrayShell();
  TApplication application;
  TTrayIcon icon(nullptr);
  icon.Icon().SetHandle(MakeTestIcon(16));
  icon.SetHint("Korvalind");
  if (!icon.AddTrayIcon())
    SKIP_OR_FAIL_WITHOUT_NOTIFICATION_AREA();
  EXPECT_FALSE(icon.AddTrayIcon()) << "the shell refuses a second add";
  EXPECT_TRUE(icon.UpdateTrayIcon());
  EXPECT_TRUE(icon.ShowTrayBalloon("Korvalind", "Balloon", TBalloonHintIcon::bhiInfo, 5));
  EXPECT_TRUE(icon.RemoveTrayIcon());
  EXPECT_FALSE(icon.RemoveTrayIcon());
  EXPECT_FALSE(icon.UpdateTrayIcon()) << "not in the tray any more";
}

}  // namespace
