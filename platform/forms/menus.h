#pragma once

#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/component.h"

// A menu entry. Caption "-" makes a separator. Items that hold items are
// sub-menus. Make it with its owner (usually the form), then add it to a
// menu or another item.
class TMenuItem : public TComponent {
public:
  explicit TMenuItem(TComponent* owner);
  ~TMenuItem() override;

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& value) { caption_ = value; }
  bool IsLine() const { return caption_ == "-"; }
  bool Default() const { return default_; }
  void SetDefault(bool value) { default_ = value; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value) { enabled_ = value; }
  bool Visible() const { return visible_; }
  void SetVisible(bool value) { visible_ = value; }
  bool Checked() const { return checked_; }
  void SetChecked(bool value) { checked_ = value; }

  int Count() const { return static_cast<int>(items_.size()); }
  TMenuItem* Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  TMenuItem* Parent() const { return parent_; }
  void Add(TMenuItem* item);
  void Insert(int index, TMenuItem* item);
  void Remove(TMenuItem* item);
  int IndexOf(const TMenuItem* item) const;

  // The top-level item with the lowest index whose Default is true, or null.
  TMenuItem* DefaultItem() const;

  // Fires OnClick, as choosing the item does (only when enabled).
  virtual void Click();
  TNotifyEvent OnClick;

  // The identifier of the item in a shown menu (unique in the process).
  UINT Command() const { return command_; }
  // The item of this tree with that identifier, or null.
  TMenuItem* Find(UINT command);

private:
  void AppendTo(HMENU menu) const;
  friend class TPopupMenu;

  std::string caption_;
  bool default_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  bool checked_ = false;
  UINT command_;
  TMenuItem* parent_ = nullptr;
  std::vector<TMenuItem*> items_;
};

// A menu that opens at a point. Items: menu->Items()->Add(item), or the
// shortcuts Add/Count/Items(i) below.
class TPopupMenu : public TComponent {
public:
  explicit TPopupMenu(TComponent* owner);

  TMenuItem* Items() const { return items_; }
  TMenuItem* Items(int index) const { return items_->Items(index); }
  int Count() const { return items_->Count(); }
  void Add(TMenuItem* item) { items_->Add(item); }

  // Whether the components that own this menu open it by themselves.
  bool AutoPopup() const { return autoPopup_; }
  void SetAutoPopup(bool value) { autoPopup_ = value; }

  // The component that opened the menu last.
  TComponent* PopupComponent() const { return popupComponent_; }
  void SetPopupComponent(TComponent* value) { popupComponent_ = value; }

  // Shows the menu at the screen point and waits until it closes (a modal
  // loop of the system's); returns after the chosen item's OnClick ran.
  // OnPopup runs first. Owner window of the menu: the application window.
  void Popup(int x, int y);
  TNotifyEvent OnPopup;

  // Replaces the system's TrackPopupMenu for tests: receives the menu and
  // returns the chosen command (0 for none).
  using TTrackFunction = std::function<UINT(HMENU menu, int x, int y, HWND owner)>;
  static void SetTrackFunction(TTrackFunction track);

  void Notification(TComponent* component, TOperation operation) override;

private:
  TMenuItem* items_;
  bool autoPopup_ = true;
  TComponent* popupComponent_ = nullptr;
};
