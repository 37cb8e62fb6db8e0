#include <gtest/gtest.h>

#include "platform/application.h"
#include "platform/forms/form.h"
#include "platform/forms/menus.h"

namespace {

struct MenusTest : testing::Test {
  ~MenusTest() override { TPopupMenu::SetTrackFunction(nullptr); }
  TApplication application;
};

TEST_F(MenusTest, PopupRunsTheChosenItemsClickBeforeItReturns)
{
  auto* menu = new TPopupMenu(&application);
  auto* line = new TMenuItem(&application);
  line->SetCaption("-");
  auto* exitItem = new TMenuItem(&application);
  exitItem->SetCaption("Beenden");
  exitItem->SetDefault(true);
  int exits = 0;
  exitItem->OnClick = [&](TObject*) { ++exits; };
  menu->Add(line);
  menu->Items()->Add(exitItem);
  ASSERT_EQ(2, menu->Count());
  EXPECT_EQ(exitItem, menu->Items()->DefaultItem());
  UINT defaultCommand = 0;
  int entries = 0;
  TPopupMenu::SetTrackFunction([&](HMENU shown, int, int, HWND owner) -> UINT {
    EXPECT_EQ(application.Handle(), owner);
    entries = GetMenuItemCount(shown);
    defaultCommand = GetMenuDefaultItem(shown, FALSE, 0);
    return exitItem->Command();
  });
  menu->Popup(10, 10);
  EXPECT_EQ(1, exits);
  EXPECT_EQ(2, entries);
  EXPECT_EQ(exitItem->Command(), defaultCommand);
  exitItem->SetEnabled(false);
  menu->Popup(10, 10);
  EXPECT_EQ(1, exits);
}

TEST_F(MenusTest, NotificationTellsOfDestroyedComponents)
{
  struct TWatcher : TComponent {
    using TComponent::TComponent;
    TComponent* watched = nullptr;
    void Notification(TComponent* component, TOperation operation) override
    {
      TComponent::Notification(component, operation);
      if (operation == opRemove && component == watched)
        watched = nullptr;
    }
  };
  TComponent elsewhere(nullptr);
  auto* watcher = new TWatcher(&application);
  auto* sibling = new TPopupMenu(&application);
  auto* foreign = new TPopupMenu(&elsewhere);
  watcher->watched = sibling;
  delete sibling;
  EXPECT_EQ(nullptr, watcher->watched);
  watcher->watched = foreign;
  watcher->FreeNotification(foreign);
  delete foreign;
  EXPECT_EQ(nullptr, watcher->watched);
  // The popup menu drops a popup component that goes.
  auto* menu = new TPopupMenu(&application);
  auto* opener = new TComponent(&application);
  menu->SetPopupComponent(opener);
  delete opener;
  EXPECT_EQ(nullptr, menu->PopupComponent());
}

}  // namespace
