#pragma once

#include <string>
#include <vector>

#include "platform/forms/controls.h"
#include "platform/forms/string_list.h"

// A list of lines. ItemIndex -1 is no selection. It scrolls sideways as far
// as its widest line reaches, whatever lines come and go.
class TListBox : public TWinControl {
public:
  explicit TListBox(TComponent* owner);

  TStrings Items;

  int ItemIndex() const;
  // -1 .. Items.Count()-1; other values raise std::out_of_range.
  void SetItemIndex(int value);

  TNotifyEvent OnDblClick;

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  bool CommandNotify(WORD code) override;
  void FontChanged() override;

private:
  void ItemInserted(int index, const std::string& value);
  void ItemDeleted(int index);
  void ItemsCleared();
  void MeasureAllLines();
  void UpdateScrollWidth();

  int itemIndex_ = -1;
  int topIndex_ = 0;
  // The drawn width of each line while the window exists, in item order.
  std::vector<int> lineWidths_;
};
