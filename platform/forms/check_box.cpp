#include "platform/forms/check_box.h"

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
