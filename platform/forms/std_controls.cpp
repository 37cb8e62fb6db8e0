#include "platform/forms/std_controls.h"

#include <algorithm>
#include <stdexcept>

namespace {

std::string WindowText(HWND window)
{
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<std::size_t>(length) + 1, '\0');
  const int copied = GetWindowTextA(window, text.data(), length + 1);
  text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
  return text;
}

void CheckItemIndex(int value, int count)
{
  if (value < -1 || value >= count)
    throw std::out_of_range("item index " + std::to_string(value) + " out of range (" + std::to_string(count) +
                            " items)");
}

// A device context with a control's font chosen, for measuring its texts;
// without a window, the screen's.
class TFontDc {
public:
  TFontDc(HWND window, HFONT font) : window_(window), dc_(GetDC(window)), old_(SelectObject(dc_, font)) {}
  ~TFontDc()
  {
    SelectObject(dc_, old_);
    ReleaseDC(window_, dc_);
  }
  TFontDc(const TFontDc&) = delete;
  TFontDc& operator=(const TFontDc&) = delete;

  HDC Handle() const { return dc_; }
  int TextWidth(const std::string& text) const
  {
    SIZE extent{};
    GetTextExtentPoint32A(dc_, text.c_str(), static_cast<int>(text.size()), &extent);
    return extent.cx;
  }

private:
  HWND window_;
  HDC dc_;
  HGDIOBJ old_;
};

// How wide a list box draws a line: it leaves a little room on either side.
int ListLineWidth(const TFontDc& dc, const std::string& line)
{
  constexpr int LineMargin = 4;
  return dc.TextWidth(line) + LineMargin;
}

}  // namespace

// ---- TStrings

void TStrings::CheckIndex(int index) const
{
  if (index < 0 || index >= Count())
    throw std::out_of_range("list index " + std::to_string(index) + " out of range (" + std::to_string(Count()) +
                            " items)");
}

const std::string& TStrings::Strings(int index) const
{
  CheckIndex(index);
  return items_[static_cast<std::size_t>(index)];
}

void TStrings::SetStrings(int index, const std::string& value)
{
  CheckIndex(index);
  if (items_[static_cast<std::size_t>(index)] == value)
    return;
  Delete(index);
  Insert(index, value);
}

int TStrings::Add(const std::string& value)
{
  Insert(Count(), value);
  return Count() - 1;
}

void TStrings::Insert(int index, const std::string& value)
{
  if (index < 0 || index > Count())
    throw std::out_of_range("insert position " + std::to_string(index) + " out of range (" + std::to_string(Count()) +
                            " items)");
  items_.insert(items_.begin() + index, value);
  if (OnInsert)
    OnInsert(index, value);
}

void TStrings::Delete(int index)
{
  CheckIndex(index);
  items_.erase(items_.begin() + index);
  if (OnDelete)
    OnDelete(index);
}

void TStrings::Clear()
{
  items_.clear();
  if (OnClear)
    OnClear();
}

int TStrings::IndexOf(const std::string& value) const
{
  for (std::size_t i = 0; i < items_.size(); ++i)
    if (items_[i] == value)
      return static_cast<int>(i);
  return -1;
}

// ---- TLabel

TLabel::TLabel(TComponent* owner) : TWinControl(owner)
{
  SetBounds(0, 0, 65, 13);
}

void TLabel::SetAlignment(TAlignment value)
{
  if (value == alignment_)
    return;
  alignment_ = value;
  RecreateWnd();
}

void TLabel::SetAutoSize(bool value)
{
  autoSize_ = value;
  AdjustSize();
}

void TLabel::SetWordWrap(bool value)
{
  if (value == wordWrap_)
    return;
  wordWrap_ = value;
  RecreateWnd();
  AdjustSize();
}

void TLabel::SetEllipsisPosition(TEllipsisPosition value)
{
  if (value == ellipsisPosition_)
    return;
  ellipsisPosition_ = value;
  RecreateWnd();
}

void TLabel::CreateParams(TCreateParams& params)
{
  params.ClassName = "STATIC";
  // SS_NOTIFY: clicks and the hit test, for labels that act as links.
  params.Style = SS_NOTIFY | SS_NOPREFIX | (ellipsisPosition_ == epEndEllipsis ? SS_ENDELLIPSIS : 0);
  switch (alignment_) {
  case taCenter: params.Style |= SS_CENTER; break;
  case taRightJustify: params.Style |= SS_RIGHT; break;
  case taLeftJustify: params.Style |= wordWrap_ ? SS_LEFT : SS_LEFTNOWORDWRAP; break;
  }
}

void TLabel::CreateWnd()
{
  if (wordWrap_)
    ShowText();
}

LRESULT TLabel::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  return TWinControl::WndProc(message, wParam, lParam);
}

bool TLabel::CommandNotify(WORD code)
{
  if (code == STN_CLICKED)
    Click();
  return true;
}

void TLabel::TextChanged()
{
  if (wordWrap_)
    ShowText();
  else
    TWinControl::TextChanged();
  AdjustSize();
}

void TLabel::FontChanged()
{
  TWinControl::FontChanged();
  if (wordWrap_)
    ShowText();
  AdjustSize();
}

void TLabel::BoundsChanged()
{
  TWinControl::BoundsChanged();
  if (wordWrap_)
    ShowText();
}

std::string TLabel::ShownText() const
{
  if (!wordWrap_)
    return text_;
  // The system's word break would also break after a "/" or a "-" (Wine
  // does), which cuts a web address in two; so the lines are broken here.
  const TFontDc dc(nullptr, Font.Handle());
  std::string shown;
  std::size_t lineStart = 0;
  std::size_t blank = std::string::npos;  // the last blank of the line so far
  for (std::size_t i = 0; i <= text_.size(); ++i) {
    const bool lineEnd = i == text_.size() || text_[i] == '\r' || text_[i] == '\n';
    if (!lineEnd && text_[i] != ' ')
      continue;
    // A word ends at i: break before it when the line would pass the width.
    if (blank != std::string::npos && dc.TextWidth(text_.substr(lineStart, i - lineStart)) > Width()) {
      shown += text_.substr(lineStart, blank - lineStart) + "\r\n";
      lineStart = blank + 1;
    }
    blank = i;
    if (lineEnd) {
      shown += text_.substr(lineStart, i - lineStart);
      if (i < text_.size())
        shown += text_[i];
      lineStart = i + 1;
      blank = std::string::npos;
    }
  }
  return shown;
}

void TLabel::ShowText()
{
  if (WindowHandle() == nullptr)
    return;
  const std::string shown = ShownText();
  if (shown != WindowText(WindowHandle()))
    SetWindowTextA(WindowHandle(), shown.c_str());
}

void TLabel::AdjustSize()
{
  if (!autoSize_)
    return;
  RECT box{0, 0, wordWrap_ ? Width() : 0, 0};
  const std::string text = text_.empty() ? std::string(" ") : ShownText();
  DrawTextA(TFontDc(nullptr, Font.Handle()).Handle(), text.c_str(), static_cast<int>(text.size()), &box,
            DT_CALCRECT | DT_NOPREFIX | (wordWrap_ ? DT_WORDBREAK : 0));
  if (wordWrap_)
    SetBounds(Left(), Top(), Width(), box.bottom - box.top);
  else
    SetBounds(Left(), Top(), box.right - box.left, box.bottom - box.top);
}

// ---- TEdit

TEdit::TEdit(TComponent* owner) : TWinControl(owner)
{
  SetColor(clWindow);
  SetTabStop(true);
  SetBounds(0, 0, 121, 21);
}

std::string TEdit::GetText() const
{
  if (WindowHandle() == nullptr)
    return text_;
  if (!changesReported_)
    return WindowText(WindowHandle());
  if (!shownTextKnown_) {
    shownText_ = WindowText(WindowHandle());
    shownTextKnown_ = true;
  }
  return shownText_;
}

void TEdit::TextChanged()
{
  TWinControl::TextChanged();
  // The window may keep the text otherwise than it was given.
  ForgetShownText();
}

void TEdit::ParentChanged()
{
  const HWND before = WindowHandle();
  TWinControl::ParentChanged();
  if (WindowHandle() != nullptr && WindowHandle() == before)
    changesReported_ = false;
}

void TEdit::SetPasswordChar(char value)
{
  if (value == passwordChar_)
    return;
  passwordChar_ = value;
  if (WindowHandle() != nullptr) {
    SendMessageA(WindowHandle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(value), 0);
    InvalidateRect(WindowHandle(), nullptr, TRUE);
  }
}

void TEdit::SetReadOnly(bool value)
{
  readOnly_ = value;
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), EM_SETREADONLY, value ? TRUE : FALSE, 0);
}

void TEdit::SetMaxLength(int value)
{
  maxLength_ = value < 0 ? 0 : value;
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

void TEdit::CreateParams(TCreateParams& params)
{
  params.ClassName = "EDIT";
  params.Style = ES_AUTOHSCROLL | (passwordChar_ != '\0' ? ES_PASSWORD : 0) | (readOnly_ ? ES_READONLY : 0);
  params.ExStyle = WS_EX_CLIENTEDGE;
}

void TEdit::CreateWnd()
{
  ForgetShownText();
  changesReported_ = Parent() != nullptr;
  if (passwordChar_ != '\0')
    SendMessageA(WindowHandle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(passwordChar_), 0);
  if (maxLength_ > 0)
    SendMessageA(WindowHandle(), EM_LIMITTEXT, static_cast<WPARAM>(maxLength_), 0);
}

void TEdit::DestroyWnd()
{
  text_ = WindowText(WindowHandle());
  ForgetShownText();
}

bool TEdit::CommandNotify(WORD code)
{
  if (code == EN_UPDATE || code == EN_CHANGE)
    ForgetShownText();
  if (code == EN_CHANGE && OnChange)
    OnChange(this);
  return true;
}

// ---- TButton

TButton::TButton(TComponent* owner) : TWinControl(owner)
{
  SetTabStop(true);
  SetBounds(0, 0, 75, 25);
}

void TButton::SetDefault(bool value)
{
  if (value == default_)
    return;
  default_ = value;
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), BM_SETSTYLE, value ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
}

void TButton::CreateParams(TCreateParams& params)
{
  params.ClassName = "BUTTON";
  params.Style = default_ ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON;
}

bool TButton::CommandNotify(WORD code)
{
  if (code == BN_CLICKED)
    Click();
  return true;
}

// ---- TCheckBox

TCheckBox::TCheckBox(TComponent* owner) : TWinControl(owner)
{
  SetTabStop(true);
  SetBounds(0, 0, 97, 17);
}

void TCheckBox::SetChecked(bool value)
{
  if (value == checked_)
    return;
  checked_ = value;
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED, 0);
  Click();
}

void TCheckBox::SetAlignment(TAlignment value)
{
  if (value == alignment_)
    return;
  alignment_ = value;
  RecreateWnd();
}

void TCheckBox::CreateParams(TCreateParams& params)
{
  params.ClassName = "BUTTON";
  // The box is drawn by the system but its state is ours: a click changes
  // Checked, which fires OnClick once.
  params.Style = BS_CHECKBOX | (alignment_ == taLeftJustify ? BS_LEFTTEXT : 0);
}

void TCheckBox::CreateWnd()
{
  SendMessageA(WindowHandle(), BM_SETCHECK, checked_ ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TCheckBox::CommandNotify(WORD code)
{
  if (code == BN_CLICKED)
    SetChecked(!checked_);
  return true;
}

// ---- TComboBox

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
    return WindowText(WindowHandle());
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
    text_ = WindowText(WindowHandle());
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
      text_ = WindowText(window);
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

// ---- TListBox

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

int TListBox::TopIndex() const
{
  if (WindowHandle() != nullptr)
    return static_cast<int>(SendMessageA(WindowHandle(), LB_GETTOPINDEX, 0, 0));
  return topIndex_;
}

void TListBox::SetTopIndex(int value)
{
  topIndex_ = value < 0 ? 0 : value;
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), LB_SETTOPINDEX, static_cast<WPARAM>(topIndex_), 0);
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

// ---- TGroupBox

TGroupBox::TGroupBox(TComponent* owner) : TWinControl(owner)
{
  SetBounds(0, 0, 185, 105);
}

void TGroupBox::CreateParams(TCreateParams& params)
{
  params.ClassName = "BUTTON";
  params.Style = BS_GROUPBOX | WS_CLIPCHILDREN;
}

LRESULT TGroupBox::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  switch (message) {
  case WM_NCHITTEST:
    // The system's group box lets the mouse through to what lies below.
    return HTCLIENT;
  case WM_ERASEBKGND: {
    RECT client;
    GetClientRect(WindowHandle(), &client);
    FillRect(reinterpret_cast<HDC>(wParam), &client, ColorBrush());
    return 1;
  }
  default: return TWinControl::WndProc(message, wParam, lParam);
  }
}

RECT TGroupBox::AlignRect() const
{
  RECT area = TWinControl::AlignRect();
  area.top += Font.Height() + 4;
  area.left += 2;
  area.right -= 2;
  area.bottom -= 2;
  return area;
}
