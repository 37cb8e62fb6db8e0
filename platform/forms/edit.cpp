#include "platform/forms/edit.h"

#include "platform/forms/window_text.h"

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
    return ReadWindowText(WindowHandle());
  if (!shownTextKnown_) {
    shownText_ = ReadWindowText(WindowHandle());
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

void TEdit::CreateParams(TCreateParams& params)
{
  params.ClassName = "EDIT";
  params.Style = ES_AUTOHSCROLL | (passwordChar_ != '\0' ? ES_PASSWORD : 0);
  params.ExStyle = WS_EX_CLIENTEDGE;
}

void TEdit::CreateWnd()
{
  ForgetShownText();
  changesReported_ = Parent() != nullptr;
  if (passwordChar_ != '\0')
    SendMessageA(WindowHandle(), EM_SETPASSWORDCHAR, static_cast<unsigned char>(passwordChar_), 0);
}

void TEdit::DestroyWnd()
{
  text_ = ReadWindowText(WindowHandle());
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
