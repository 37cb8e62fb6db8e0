#include "platform/forms/list_box.h"

#include <algorithm>
#include <string>

#include "platform/forms/font_dc.h"

namespace {

// How wide a list box draws a line: it leaves a little room on either side.
int ListLineWidth(const TFontDc& dc, const std::string& line)
{
  constexpr int LineMargin = 4;
  return dc.TextWidth(line) + LineMargin;
}

}  // namespace

TListBox::TListBox(TComponent* owner) : TWinControl(owner)
{
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 121, 97);
  Items.OnInsert = [this](int index, const std::string& value) { ItemInserted(index, value); };
  Items.OnDelete = [this](int index) { ItemDeleted(index); };
  Items.OnClear = [this] { ItemsCleared(); };
}

int TListBox::ItemIndex() const
{
  return itemIndex_;
}

void TListBox::SetItemIndex(int value)
{
  CheckItemIndex(value, Items.Count());
  itemIndex_ = value;
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), LB_SETCURSEL, static_cast<WPARAM>(value), 0);
}

void TListBox::CreateParams(TCreateParams& params)
{
  params.ClassName = "LISTBOX";
  // The system shows the horizontal bar only while the scroll width exceeds the list.
  params.Style = LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_HSCROLL;
  params.ExStyle = WS_EX_CLIENTEDGE;
}

void TListBox::CreateWnd()
{
  HWND window = WindowHandle();
  for (const std::string& item : Items.Values())
    SendMessageA(window, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
  if (itemIndex_ >= 0)
    SendMessageA(window, LB_SETCURSEL, static_cast<WPARAM>(itemIndex_), 0);
  if (topIndex_ > 0)
    SendMessageA(window, LB_SETTOPINDEX, static_cast<WPARAM>(topIndex_), 0);
  MeasureAllLines();
}

void TListBox::DestroyWnd()
{
  topIndex_ = static_cast<int>(SendMessageA(WindowHandle(), LB_GETTOPINDEX, 0, 0));
  lineWidths_.clear();
}

void TListBox::FontChanged()
{
  TWinControl::FontChanged();
  MeasureAllLines();
}

void TListBox::MeasureAllLines()
{
  lineWidths_.clear();
  if (WindowHandle() == nullptr)
    return;
  const TFontDc dc(WindowHandle(), Font.Handle());
  for (const std::string& item : Items.Values())
    lineWidths_.push_back(ListLineWidth(dc, item));
  UpdateScrollWidth();
}

void TListBox::UpdateScrollWidth()
{
  const int widest = lineWidths_.empty() ? 0 : *std::max_element(lineWidths_.begin(), lineWidths_.end());
  if (SendMessageA(WindowHandle(), LB_GETHORIZONTALEXTENT, 0, 0) != widest)
    SendMessageA(WindowHandle(), LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
}

bool TListBox::CommandNotify(WORD code)
{
  if (code == LBN_SELCHANGE) {
    const LRESULT selected = SendMessageA(WindowHandle(), LB_GETCURSEL, 0, 0);
    itemIndex_ = selected >= 0 && selected < Items.Count() ? static_cast<int>(selected) : -1;
    Click();
  } else if (code == LBN_DBLCLK && OnDblClick) {
    OnDblClick(this);
  }
  return true;
}

void TListBox::ItemInserted(int index, const std::string& value)
{
  if (WindowHandle() != nullptr) {
    SendMessageA(WindowHandle(), LB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(value.c_str()));
    lineWidths_.insert(lineWidths_.begin() + index, ListLineWidth(TFontDc(WindowHandle(), Font.Handle()), value));
    UpdateScrollWidth();
  }
  if (itemIndex_ >= index)
    ++itemIndex_;
}

void TListBox::ItemDeleted(int index)
{
  if (WindowHandle() != nullptr) {
    SendMessageA(WindowHandle(), LB_DELETESTRING, static_cast<WPARAM>(index), 0);
    lineWidths_.erase(lineWidths_.begin() + index);
    UpdateScrollWidth();
  }
  if (itemIndex_ == index)
    itemIndex_ = -1;
  else if (itemIndex_ > index)
    --itemIndex_;
}

void TListBox::ItemsCleared()
{
  if (WindowHandle() != nullptr) {
    SendMessageA(WindowHandle(), LB_RESETCONTENT, 0, 0);
    lineWidths_.clear();
    UpdateScrollWidth();
  }
  itemIndex_ = -1;
  topIndex_ = 0;
}
