#include "platform/forms/group_box.h"

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
