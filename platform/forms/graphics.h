#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include <windows.h>

// A colour: either an RGB value (red in the low byte, as COLORREF) or, with
// the top bit set, a system colour whose index (GetSysColor) is the low byte.
using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clLime = 0x00FF00;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clWhite = 0xFFFFFF;

inline constexpr TColor SystemColorBase = 0x80000000u;
inline constexpr TColor clScrollBar = SystemColorBase | COLOR_SCROLLBAR;
inline constexpr TColor clWindow = SystemColorBase | COLOR_WINDOW;
inline constexpr TColor clWindowText = SystemColorBase | COLOR_WINDOWTEXT;
inline constexpr TColor clBtnFace = SystemColorBase | COLOR_BTNFACE;
inline constexpr TColor clBtnText = SystemColorBase | COLOR_BTNTEXT;
inline constexpr TColor clGrayText = SystemColorBase | COLOR_GRAYTEXT;
inline constexpr TColor clHighlight = SystemColorBase | COLOR_HIGHLIGHT;
inline constexpr TColor clHotLight = SystemColorBase | 26;
inline constexpr TColor clGradientActiveCaption = SystemColorBase | 27;
inline constexpr TColor clGradientInactiveCaption = SystemColorBase | 28;

// The RGB value a colour stands for now (system colours looked up).
COLORREF ColorToRGB(TColor color);

enum TFontStyle : unsigned { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

// A set of font styles: TFontStyles{fsBold, fsUnderline}.
class TFontStyles {
public:
  constexpr TFontStyles() = default;
  constexpr TFontStyles(std::initializer_list<TFontStyle> styles)
  {
    for (TFontStyle style : styles)
      bits_ |= style;
  }
  constexpr bool Contains(TFontStyle style) const { return (bits_ & style) != 0; }
  constexpr TFontStyles With(TFontStyle style) const { return FromBits(bits_ | style); }
  constexpr TFontStyles Without(TFontStyle style) const { return FromBits(bits_ & ~static_cast<unsigned>(style)); }
  constexpr bool operator==(const TFontStyles&) const = default;

private:
  static constexpr TFontStyles FromBits(unsigned bits)
  {
    TFontStyles styles;
    styles.bits_ = bits;
    return styles;
  }
  unsigned bits_ = 0;
};

// A font description and the GDI font made from it. Height is the character
// height in pixels (the font is made with CreateFontA(-Height, ...); a
// negative value is taken as its magnitude). Every change drops the GDI font
// and tells OnChange, so the control that holds the font redraws with it.
// Defaults: "MS Sans Serif", 11 pixels, no style, clWindowText.
class TFont {
public:
  TFont() = default;
  TFont(const TFont& other);
  TFont& operator=(const TFont& other);
  ~TFont();

  const std::string& Name() const { return name_; }
  void SetName(const std::string& value);
  int Height() const { return height_; }
  void SetHeight(int value);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles value);
  TColor Color() const { return color_; }
  void SetColor(TColor value);

  // Copies name, height, style and colour (not OnChange); one OnChange.
  void Assign(const TFont& other);
  bool SameAs(const TFont& other) const;

  // The GDI font, made on first use and owned by this object.
  HFONT Handle() const;

  std::function<void()> OnChange;

private:
  void Changed();
  void ReleaseHandle() const;

  std::string name_ = "MS Sans Serif";
  int height_ = 11;
  TFontStyles style_;
  TColor color_ = clWindowText;
  mutable HFONT handle_ = nullptr;
};
