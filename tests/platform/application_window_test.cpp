#include <vector>

#include <gtest/gtest.h>

#include "platform/application.h"
#include "platform/forms/form.h"
#include "tests/support/message_pump.h"

namespace {

using namespace std::chrono_literals;

TEST(ApplicationWindowTest, MinimisingTheMainFormReachesTheHooksAsSizeMinimized)
{
  TApplication application;
  auto* form = application.CreateForm<TForm>();
  form->Show();
  std::vector<UINT> seen;
  bool minimizedSeen = false;
  application.HookMainWindow(&seen, [&](MSG& message) {
    seen.push_back(message.message);
    if (message.message == WM_SIZE && message.wParam == SIZE_MINIMIZED)
      minimizedSeen = true;
    return false;
  });
  SendMessageA(form->Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  PumpMessagesFor(50ms);
  EXPECT_TRUE(minimizedSeen);
  EXPECT_TRUE(application.Minimized());
  EXPECT_TRUE(IsIconic(application.Handle()));
  EXPECT_FALSE(IsIconic(form->Handle()));
  application.UnhookMainWindow(&seen);
  const std::size_t count = seen.size();
  application.Restore();
  EXPECT_EQ(count, seen.size());
  EXPECT_FALSE(application.Minimized());
}

TEST(ApplicationWindowTest, RestoreCommandReachesTheHooksAndAHandlingHookStopsTheRest)
{
  TApplication application;
  application.CreateForm<TForm>();
  int restores = 0;
  int later = 0;
  application.HookMainWindow(&restores, [&](MSG& message) {
    if (message.message == WM_SYSCOMMAND && message.wParam == SC_RESTORE)
      ++restores;
    return message.message == WM_USER + 7;
  });
  application.HookMainWindow(&later, [&](MSG& message) {
    if (message.message == WM_USER + 7)
      ++later;
    return false;
  });
  SendMessageA(application.Handle(), WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_EQ(1, restores);
  SendMessageA(application.Handle(), WM_USER + 7, 0, 0);
  EXPECT_EQ(0, later);
  // Hooking again under one id replaces the hook.
  application.HookMainWindow(&restores, [](MSG&) { return false; });
  SendMessageA(application.Handle(), WM_USER + 7, 0, 0);
  EXPECT_EQ(1, later);
}

TEST(ApplicationWindowTest, RunShowsTheMainFormUnlessToldNot)
{
  TApplication application;
  auto* form = application.CreateForm<TForm>();
  int shows = 0;
  form->OnShow = [&](TObject*) {
    ++shows;
    application.Terminate();
  };
  application.Run();
  EXPECT_EQ(1, shows);
  EXPECT_TRUE(IsWindowVisible(form->Handle()));

  TApplication quiet;
  auto* hidden = quiet.CreateForm<TForm>();
  quiet.ShowMainForm = false;
  quiet.Terminate();
  quiet.Run();
  EXPECT_FALSE(hidden->Visible());
}

}  // namespace
