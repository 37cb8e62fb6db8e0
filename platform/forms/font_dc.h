#pragma once

#include <string>

#include <windows.h>

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
