#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/forms/controls.h"

// A list of texts that a list or combo box shows; changes reach the box's
// window at once.
class TStrings {
public:
  int Count() const { return static_cast<int>(items_.size()); }
  // Out-of-range indexes raise std::out_of_range.
  const std::string& operator[](int index) const { return Strings(index); }
  const std::string& Strings(int index) const;
  void SetStrings(int index, const std::string& value);
  // Appends; returns the new item's index.
  int Add(const std::string& value);
  void Insert(int index, const std::string& value);
  void Delete(int index);
  void Clear();
  // Exact comparison; -1 when absent.
  int IndexOf(const std::string& value) const;
  const std::vector<std::string>& Values() const { return items_; }

  // Set by the box that shows the list.
  std::function<void(int index, const std::string& value)> OnInsert;
  std::function<void(int index)> OnDelete;
  std::function<void()> OnClear;

private:
  void CheckIndex(int index) const;

  std::vector<std::string> items_;
};

// Where a label that cannot show all of its one line cuts it: epNone clips
// the text at the label's edge, epEndEllipsis ends what fits with "...".
enum TEllipsisPosition { epNone, epEndEllipsis };

// A line of text. AutoSize (true by default) sizes it to its text in its font;
// WordWrap breaks long texts inside the given width, at blanks only, so a
// web address stays whole on its line. With a cursor and
// OnClick/OnMouseEnter/OnMouseLeave it serves as a link.
class TLabel : public TWinControl {
public:
  explicit TLabel(TComponent* owner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  TEllipsisPosition EllipsisPosition() const { return ellipsisPosition_; }
  void SetEllipsisPosition(TEllipsisPosition value);

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  bool CommandNotify(WORD code) override;
  void TextChanged() override;
  void FontChanged() override;
  void BoundsChanged() override;

private:
  void AdjustSize();
  // The text as the window gets it: with WordWrap, a line break in place of
  // each blank where the next word would pass the label's width.
  std::string ShownText() const;
  void ShowText();

  TAlignment alignment_ = taLeftJustify;
  bool autoSize_ = true;
  bool wordWrap_ = false;
  TEllipsisPosition ellipsisPosition_ = epNone;
};

// A one-line edit. PasswordChar other than '\0' hides the text behind it.
class TEdit : public TWinControl {
public:
  explicit TEdit(TComponent* owner);

  std::string GetText() const override;
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char value);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool value);
  int MaxLength() const { return maxLength_; }
  void SetMaxLength(int value);

  // The text changed, by the user or by the program.
  TNotifyEvent OnChange;

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  void DestroyWnd() override;
  bool CommandNotify(WORD code) override;
  void TextChanged() override;
  void ParentChanged() override;

private:
  void ForgetShownText() { shownTextKnown_ = false; }

  char passwordChar_ = '\0';
  bool readOnly_ = false;
  int maxLength_ = 0;
  // The window's text as last read, kept while the edit reports no change:
  // a window program compares edits with its values many times a second, and
  // reading the text back is a series of messages. The edit reports a change
  // (EN_CHANGE) to the parent window it was made in, which hands it to this
  // control; without such a parent, or once the window has moved to another
  // one, the text is read every time.
  mutable std::string shownText_;
  mutable bool shownTextKnown_ = false;
  bool changesReported_ = false;
};

// A push button. A Default button is pressed by Enter anywhere in its form
// while it is shown and enabled (see TForm::DialogKey).
class TButton : public TWinControl {
public:
  explicit TButton(TComponent* owner);

  bool Default() const { return default_; }
  void SetDefault(bool value);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool value) { cancel_ = value; }

protected:
  void CreateParams(TCreateParams& params) override;
  bool CommandNotify(WORD code) override;

private:
  bool default_ = false;
  bool cancel_ = false;
};

// A check box. Setting Checked to a new value fires OnClick, as a click does;
// setting the value it has does nothing. A click of the user toggles it.
// Alignment taLeftJustify puts the text left of the box, taRightJustify (the
// start) right of it.
class TCheckBox : public TWinControl {
public:
  explicit TCheckBox(TComponent* owner);

  bool Checked() const { return checked_; }
  void SetChecked(bool value);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  bool CommandNotify(WORD code) override;

private:
  bool checked_ = false;
  TAlignment alignment_ = taRightJustify;
};

enum TComboBoxStyle { csDropDown, csDropDownList };

// A combo box. csDropDown: an edit with a list; csDropDownList: the list only,
// Text is the chosen item's. ItemIndex -1 is no choice. OnChange fires for
// the user's choice or typing only, not for the program's ItemIndex or Text.
// Height is the closed box's; the open list gets DropDownCount lines.
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
  int DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(int value) { dropDownCount_ = value; }

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

// A list of lines. ItemIndex -1 is no selection. It scrolls sideways as far
// as its widest line reaches, whatever lines come and go.
class TListBox : public TWinControl {
public:
  explicit TListBox(TComponent* owner);

  TStrings Items;

  int ItemIndex() const;
  // -1 .. Items.Count()-1; other values raise std::out_of_range.
  void SetItemIndex(int value);
  // The first line shown.
  int TopIndex() const;
  void SetTopIndex(int value);

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

// A frame with a caption around other controls, which name it as parent.
class TGroupBox : public TWinControl {
public:
  explicit TGroupBox(TComponent* owner);

protected:
  void CreateParams(TCreateParams& params) override;
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  RECT AlignRect() const override;
};
