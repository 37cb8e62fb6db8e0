#pragma once

#include <string>

#include "platform/forms/controls.h"

// A one-line edit. PasswordChar other than '\0' hides the text behind it.
class TEdit : public TWinControl {
public:
  explicit TEdit(TComponent* owner);

  std::string GetText() const override;
  char PasswordChar() const { return passwordChar_; }
  void SetPasswordChar(char value);

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
