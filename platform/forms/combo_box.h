#pragma once

#include <string>

#include "platform/forms/controls.h"
#include "platform/forms/string_list.h"

enum TComboBoxStyle { csDropDown, csDropDownList };

// A combo box. csDropDown: an edit with a list; csDropDownList: the list only,
// Text is the chosen item's. ItemIndex -1 is no choice. OnChange fires for
// the user's choice or typing only, not for the program's ItemIndex or Text.
// Height is the closed box's; the open list gets eight lines.
class TComboBox : public TWinControl {
public:
  explicit TComboBox(TComponent* owner);

  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle value);

  TStrings Items;

  // -1 .. Items.Count()-1; other values raise std::out_of_range.
  int ItemIndex() const;
  void SetItemIndex(int value);
  std::string GetText() const override;

  TNotifyEvent OnChange;

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  bool CommandNotify(WORD code) override;
  void TextChanged() override;
  void BoundsChanged() override;
  int WindowHeight() const override;

private:
  void ItemInserted(int index, const std::string& value);
  void ItemDeleted(int index);
  void ItemsCleared();

  TComboBoxStyle style_ = csDropDown;
  int itemIndex_ = -1;
  int dropDownCount_ = 8;
  bool settingText_ = false;
};
