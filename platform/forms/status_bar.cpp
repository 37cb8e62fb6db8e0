#include "platform/forms/status_bar.h"

#include <commctrl.h>

TStatusBar::TStatusBar(TComponent* owner) : TWinControl(owner)
{
  SetBounds(0, 0, 200, 19);
  SetAlign(alBottom);
}

void TStatusBar::SetSimplePanel(bool value)
{
  if (value == simplePanel_)
    return;
  simplePanel_ = value;
  if (WindowHandle() != nullptr)
    SendMessageA(WindowHandle(), SB_SIMPLE, value ? TRUE : FALSE, 0);
  ApplyText();
}

void TStatusBar::SetSimpleText(const std::string& value)
{
  if (value == simpleText_)
    return;
  simpleText_ = value;
  ApplyText();
}

void TStatusBar::CreateParams(TCreateParams& params)
{
  InitCommonControlsOnce();
  params.ClassName = STATUSCLASSNAMEA;
  // The layer places the bar itself (Align), not the common control.
  params.Style = CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER;
}

void TStatusBar::CreateWnd()
{
  SendMessageA(WindowHandle(), SB_SIMPLE, simplePanel_ ? TRUE : FALSE, 0);
  ApplyText();
}

void TStatusBar::ApplyText()
{
  if (WindowHandle() == nullptr)
    return;
  // SB_SIMPLEID (255) is the simple panel's part number.
  const WPARAM part = simplePanel_ ? SB_SIMPLEID : 0;
  SendMessageA(WindowHandle(), SB_SETTEXTA, part, reinterpret_cast<LPARAM>(simpleText_.c_str()));
}
