#include "platform/forms/image.h"

#include <algorithm>

TImage::TImage(TComponent* owner) : TWinControl(owner)
{
  SetBounds(0, 0, 105, 105);
  Picture.OnChange = [this] { Repaint(); };
}

void TImage::SetCenter(bool value)
{
  center_ = value;
  Repaint();
}

void TImage::SetProportional(bool value)
{
  proportional_ = value;
  Repaint();
}

void TImage::SetStretch(bool value)
{
  stretch_ = value;
  Repaint();
}

RECT TImage::DestRect() const
{
  const int clientWidth = Width();
  const int clientHeight = Height();
  int width = Picture.Width();
  int height = Picture.Height();
  if (width <= 0 || height <= 0)
    return RECT{0, 0, 0, 0};
  if (stretch_ || (proportional_ && (width > clientWidth || height > clientHeight))) {
    if (proportional_) {
      // The larger of the two ratios decides, so the whole picture fits.
      const double scale =
          std::min(static_cast<double>(clientWidth) / width, static_cast<double>(clientHeight) / height);
      width = static_cast<int>(width * scale + 0.5);
      height = static_cast<int>(height * scale + 0.5);
    } else {
      width = clientWidth;
      height = clientHeight;
    }
  }
  RECT dest{0, 0, width, height};
  if (center_)
    OffsetRect(&dest, (clientWidth - width) / 2, (clientHeight - height) / 2);
  return dest;
}

void TImage::CreateParams(TCreateParams& params)
{
  params.ClassName = PlainWindowClass();
}

LRESULT TImage::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  switch (message) {
  case WM_PAINT: {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(WindowHandle(), &paint);
    Picture.Draw(dc, DestRect());
    EndPaint(WindowHandle(), &paint);
    return 0;
  }
  case WM_LBUTTONDOWN:
  case WM_LBUTTONDBLCLK:
    pressed_ = true;
    SetCapture(WindowHandle());
    return 0;
  case WM_LBUTTONUP: {
    const bool wasPressed = pressed_;
    pressed_ = false;
    if (GetCapture() == WindowHandle())
      ReleaseCapture();
    // A click is a press and a release over the picture.
    const POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    RECT client;
    GetClientRect(WindowHandle(), &client);
    if (wasPressed && PtInRect(&client, at))
      Click();
    return 0;
  }
  case WM_CAPTURECHANGED: pressed_ = false; break;
  default: break;
  }
  return TWinControl::WndProc(message, wParam, lParam);
}

void TImage::Repaint()
{
  if (WindowHandle() != nullptr)
    InvalidateRect(WindowHandle(), nullptr, TRUE);
}
