#include "platform/forms/menus.h"

#include <algorithm>
#include <stdexcept>

#include "platform/application.h"

namespace {

UINT NextCommand()
{
  // Menu commands travel in 16 bits; 0 means "nothing chosen".
  static UINT next = 0;
  next = next % 0xFFFE + 1;
  return next;
}

TPopupMenu::TTrackFunction& TrackFunction()
{
  static TPopupMenu::TTrackFunction track;
  return track;
}

}  // namespace

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner), command_(NextCommand()) {}

TMenuItem::~TMenuItem()
{
  for (TMenuItem* item : items_)
    item->parent_ = nullptr;
  items_.clear();
  if (parent_ != nullptr)
    parent_->Remove(this);
}

void TMenuItem::Add(TMenuItem* item)
{
  Insert(Count(), item);
}

void TMenuItem::Insert(int index, TMenuItem* item)
{
  if (item == nullptr || item == this)
    return;
  for (TMenuItem* p = this; p != nullptr; p = p->parent_)
    if (p == item)
      throw std::invalid_argument("a menu item cannot hold itself");
  if (item->parent_ != nullptr)
    item->parent_->Remove(item);
  index = std::clamp(index, 0, Count());
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
}

void TMenuItem::Remove(TMenuItem* item)
{
  auto it = std::find(items_.begin(), items_.end(), item);
  if (it == items_.end())
    return;
  items_.erase(it);
  item->parent_ = nullptr;
}

int TMenuItem::IndexOf(const TMenuItem* item) const
{
  auto it = std::find(items_.begin(), items_.end(), item);
  return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

TMenuItem* TMenuItem::DefaultItem() const
{
  for (TMenuItem* item : items_)
    if (item->default_)
      return item;
  return nullptr;
}

void TMenuItem::Click()
{
  if (enabled_ && OnClick)
    OnClick(this);
}

TMenuItem* TMenuItem::Find(UINT command)
{
  if (command == command_)
    return this;
  for (TMenuItem* item : items_)
    if (TMenuItem* found = item->Find(command); found != nullptr)
      return found;
  return nullptr;
}

void TMenuItem::AppendTo(HMENU menu) const
{
  for (TMenuItem* item : items_) {
    if (!item->visible_)
      continue;
    if (item->IsLine()) {
      AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
      continue;
    }
    UINT flags =
        static_cast<UINT>(MF_STRING | (item->enabled_ ? MF_ENABLED : MF_GRAYED) | (item->checked_ ? MF_CHECKED : 0));
    if (!item->items_.empty()) {
      HMENU sub = CreatePopupMenu();
      item->AppendTo(sub);
      AppendMenuA(menu, flags | MF_POPUP, reinterpret_cast<UINT_PTR>(sub), item->caption_.c_str());
    } else {
      AppendMenuA(menu, flags, item->command_, item->caption_.c_str());
    }
  }
  if (TMenuItem* chosen = DefaultItem(); chosen != nullptr && chosen->visible_ && !chosen->IsLine())
    SetMenuDefaultItem(menu, chosen->command_, FALSE);
}

TPopupMenu::TPopupMenu(TComponent* owner) : TComponent(owner), items_(new TMenuItem(this)) {}

void TPopupMenu::SetTrackFunction(TTrackFunction track)
{
  TrackFunction() = std::move(track);
}

void TPopupMenu::Popup(int x, int y)
{
  if (OnPopup)
    OnPopup(this);
  HWND owner = Application != nullptr ? Application->Handle() : nullptr;
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr)
    return;
  items_->AppendTo(menu);
  UINT command = 0;
  if (TrackFunction())
    command = TrackFunction()(menu, x, y, owner);
  else if (owner != nullptr)
    command = static_cast<UINT>(
        TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, x, y, 0, owner, nullptr));
  DestroyMenu(menu);
  if (command == 0)
    return;
  if (TMenuItem* item = items_->Find(command); item != nullptr && item != items_) {
    // The chosen item's handler runs here, not in a window procedure.
    try {
      item->Click();
    } catch (...) {
      ReportCurrentException(item);
    }
  }
}

void TPopupMenu::Notification(TComponent* component, TOperation operation)
{
  TComponent::Notification(component, operation);
  if (operation == TOperation::opRemove && component == popupComponent_)
    popupComponent_ = nullptr;
  if (operation == TOperation::opRemove && component == items_)
    items_ = nullptr;
}
