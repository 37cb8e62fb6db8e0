#include "platform/forms/graphics.h"

#include <cstdlib>

COLORREF ColorToRGB(TColor color)
{
  if ((color & SystemColorBase) != 0)
    return GetSysColor(static_cast<int>(color & 0xFF));
  return static_cast<COLORREF>(color & 0xFFFFFF);
}

TFont::TFont(const TFont& other)
    : name_(other.name_), height_(other.height_), style_(other.style_), color_(other.color_)
{}

TFont& TFont::operator=(const TFont& other)
{
  Assign(other);
  return *this;
}

TFont::~TFont()
{
  ReleaseHandle();
}

void TFont::SetName(const std::string& value)
{
  if (value == name_)
    return;
  name_ = value;
  Changed();
}

void TFont::SetHeight(int value)
{
  value = std::abs(value);
  if (value == height_)
    return;
  height_ = value;
  Changed();
}

void TFont::SetStyle(TFontStyles value)
{
  if (value == style_)
    return;
  style_ = value;
  Changed();
}

void TFont::SetColor(TColor value)
{
  if (value == color_)
    return;
  color_ = value;
  // The colour is not part of the GDI font; the holder only redraws.
  if (OnChange)
    OnChange();
}

void TFont::Assign(const TFont& other)
{
  if (SameAs(other))
    return;
  const bool sameShape = name_ == other.name_ && height_ == other.height_ && style_ == other.style_;
  name_ = other.name_;
  height_ = other.height_;
  style_ = other.style_;
  color_ = other.color_;
  if (!sameShape)
    ReleaseHandle();
  if (OnChange)
    OnChange();
}

bool TFont::SameAs(const TFont& other) const
{
  return name_ == other.name_ && height_ == other.height_ && style_ == other.style_ && color_ == other.color_;
}

HFONT TFont::Handle() const
{
  if (handle_ == nullptr) {
    handle_ =
        CreateFontA(-height_, 0, 0, 0, style_.Contains(fsBold) ? FW_BOLD : FW_NORMAL, style_.Contains(fsItalic),
                    style_.Contains(fsUnderline), style_.Contains(fsStrikeOut), DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, name_.c_str());
  }
  return handle_;
}

void TFont::Changed()
{
  ReleaseHandle();
  if (OnChange)
    OnChange();
}

void TFont::ReleaseHandle() const
{
  // A window may still hold the old font: its holder hands it the new one in
  // OnChange, before anything paints again.
  if (handle_ != nullptr) {
    DeleteObject(handle_);
    handle_ = nullptr;
  }
}
