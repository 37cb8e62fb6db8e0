#include "platform/forms/button.h"

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
