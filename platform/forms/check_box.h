#pragma once

#include "platform/forms/controls.h"

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
