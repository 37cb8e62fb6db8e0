#pragma once

#include <string>

#include "platform/forms/controls.h"

class TFontDc;

// Where a label that cannot show all of its text cuts it: epNone clips the
// text at the label's edge, epEndEllipsis ends what fits with "..."; a
// wrapped label of fixed size shows the whole lines that fit its height and
// ends the last with "…".
enum TEllipsisPosition { epNone, epEndEllipsis };

// A line of text. AutoSize (true by default) sizes it to its text in its font;
// WordWrap breaks long texts inside the given width, at blanks only, so a
// web address stays whole on its line. With a cursor and
// OnClick/OnMouseEnter/OnMouseLeave it serves as a link.
class TLabel : public TWinControl {
public:
  explicit TLabel(TComponent* owner);

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  void SetAutoSize(bool value);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool value);
  void SetEllipsisPosition(TEllipsisPosition value);

protected:
  void CreateParams(TCreateParams& params) override;
  void CreateWnd() override;
  LRESULT WndProc(UINT message, WPARAM wParam, LPARAM lParam) override;
  bool CommandNotify(WORD code) override;
  void TextChanged() override;
  void FontChanged() override;
  void BoundsChanged() override;

private:
  void AdjustSize();
  // The text as the window gets it: with WordWrap, a line break in place of
  // each blank where the next word would pass the label's width.
  std::string ShownText() const;
  // The lines of a shown text that fit the label's height, the last ending in
  // an ellipsis when lines are left out.
  std::string CutToHeight(const TFontDc& dc, const std::string& shown) const;
  void ShowText();

  TAlignment alignment_ = taLeftJustify;
  bool autoSize_ = true;
  bool wordWrap_ = false;
  TEllipsisPosition ellipsisPosition_ = epNone;
};
