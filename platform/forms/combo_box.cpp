#include "platform/forms/combo_box.h"

#include <string>

#include "platform/forms/window_text.h"

TComboBox::TComboBox(TComponent* owner) : TWinControl(owner)
{
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 145, 21);
  Items.OnInsert = [this](int index, const std::string& value) { ItemInserted(index, value); };
  Items.OnDelete = [this](int index) { ItemDeleted(index); };
  Items.OnClear = [this] { ItemsCleared(); };
}

void TComboBox::SetStyle(TComboBoxStyle value)
{
  if (value == style_)
    return;
  style_ = value;
  if (style_ == csDropDownList)
    text_ = itemIndex_ >= 0 ? Items[itemIndex_] : std::string();
  RecreateWnd();
}

int TComboBox::ItemIndex() const
{
  return itemIndex_;
}

void TComboBox::SetItemIndex(int value)
{
  CheckItemIndex(value, Items.Count());
  // Setting the choice the box shows already touches nothing: a list the
  // user has opened keeps the line under the mouse or the arrow keys.
  if (value == itemIndex_ && GetText() == (value >= 0 ? Items[value] : std::string()))
    return;
  itemIndex_ = value;
  text_ = value >= 0 ? Items[value] : std::string();
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), CB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

std::string TComboBox::GetText() const
{
  if (WindowHandle() != nullptr && style_ == csDropDown)
    return ReadWindowText(WindowHandle());
  return text_;
}

void TComboBox::CreateParams(TCreateParams& params)
{
  params.ClassName = "COMBOBOX";
  params.Style = WS_VSCROLL | CBS_AUTOHSCROLL | (style_ == csDropDownList ? CBS_DROPDOWNLIST : CBS_DROPDOWN);
}

void TComboBox::CreateWnd()
{
  HWND window = WindowHandle();
  for (const std::string& item : Items.Values())
    SendMessageA(window, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  if (itemIndex_ >= 0)
    SendMessageA(window, CB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
  else if (style_ == csDropDown)
    SetWindowTextA(window, text_.c_str());
}

void TComboBox::DestroyWnd()
{
  if (style_ == csDropDown)
    text_ = ReadWindowText(WindowHandle());
}

bool TComboBox::CommandNotify(WORD code)
{
  HWND window = WindowHandle();
  switch (code) {
  case CBN_SELCHANGE: {
    const LRESULT selected = SendMessageA(window, CB_GETCURSEL, 0, 0);
    itemIndex_ = selected >= 0 && selected < Items.Count() ? static_cast<int>(selected) : -1;
    text_ = itemIndex_ >= 0 ? Items[itemIndex_] : std::string();
    if (OnChange)
      OnChange(this);
    break;
  }
  case CBN_EDITCHANGE:
    if (!settingText_) {
      text_ = ReadWindowText(window);
      itemIndex_ = Items.IndexOf(text_);
      if (OnChange)
        OnChange(this);
    }
    break;
  default: break;
  }
  return true;
}

void TComboBox::TextChanged()
{
  // A list without an edit shows only its items: a text that is none of
  // them leaves the choice as it is.
  const int index = Items.IndexOf(text_);
  if (style_ == csDropDownList) {
    if (index >= 0)
      SetItemIndex(index);
    else
      text_ = itemIndex_ >= 0 ? Items[itemIndex_] : std::string();
    return;
  }
  itemIndex_ = index;
  if (WindowHandle() != nullptr) {
    settingText_ = true;
    SendMessageA(WindowHandle(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SetWindowTextA(WindowHandle(), text_.c_str());
    settingText_ = false;
  }
}

void TComboBox::BoundsChanged()
{
  TWinControl::BoundsChanged();
}

int TComboBox::WindowHeight() const
{
  // The window's height includes the open list.
  return Height() + dropDownCount_ * (Font.Height() + 5) + 2;
}

void TComboBox::ItemInserted(int index, const std::string& value)
{
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(value.c_str()));
  if (itemIndex_ >= index)
    ++itemIndex_;
}

void TComboBox::ItemDeleted(int index)
{
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), CB_DELETESTRING, static_cast<WPARAM>(index), 0);
  if (itemIndex_ == index) {
    itemIndex_ = -1;
    if (style_ == csDropDownList)
      text_.clear();
  } else if (itemIndex_ > index) {
    --itemIndex_;
  }
}

void TComboBox::ItemsCleared()
{
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), CB_RESETCONTENT, 0, 0);
  itemIndex_ = -1;
  if (style_ == csDropDownList)
    text_.clear();
}
