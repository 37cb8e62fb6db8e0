#include "platform/forms/label.h"

#include <algorithm>
#include <string>

#include "platform/forms/font_dc.h"
#include "platform/forms/window_text.h"

TLabel::TLabel(TComponent* owner) : TWinControl(owner)
{
  SetBounds(0, 0, 65, 13);
}

void TLabel::SetAlignment(TAlignment value)
{
  if (value == alignment_)
    return;
  alignment_ = value;
  RecreateWnd();
}

void TLabel::SetAutoSize(bool value)
{
  autoSize_ = value;
  AdjustSize();
}

void TLabel::SetWordWrap(bool value)
{
  if (value == wordWrap_)
    return;
  wordWrap_ = value;
  RecreateWnd();
  AdjustSize();
}

void TLabel::SetEllipsisPosition(TEllipsisPosition value)
{
  if (value == ellipsisPosition_)
    return;
  ellipsisPosition_ = value;
  RecreateWnd();
}

void TLabel::CreateParams(TCreateParams& params)
{
  params.ClassName = "STATIC";
  // SS_NOTIFY: clicks and the hit test, for labels that act as links.
  // A wrapped text gets its ellipsis in ShownText: the system's would end
  // each line, or take the text as one line.
  const bool systemEllipsis = ellipsisPosition_ == epEndEllipsis && !wordWrap_;
  params.Style = SS_NOTIFY | SS_NOPREFIX | (systemEllipsis ? SS_ENDELLIPSIS : 0);
  switch (alignment_) {
  case taCenter: params.Style |= SS_CENTER; break;
  case taRightJustify: params.Style |= SS_RIGHT; break;
  case taLeftJustify: params.Style |= wordWrap_ ? SS_LEFT : SS_LEFTNOWORDWRAP; break;
  }
}

void TLabel::CreateWnd()
{
  if (wordWrap_)
    ShowText();
}

LRESULT TLabel::WndProc(UINT message, WPARAM wParam, LPARAM lParam)
{
  return TWinControl::WndProc(message, wParam, lParam);
}

bool TLabel::CommandNotify(WORD code)
{
  if (code == STN_CLICKED)
    Click();
  return true;
}

void TLabel::TextChanged()
{
  if (wordWrap_)
    ShowText();
  else
    TWinControl::TextChanged();
  AdjustSize();
}

void TLabel::FontChanged()
{
  TWinControl::FontChanged();
  if (wordWrap_)
    ShowText();
  AdjustSize();
}

void TLabel::BoundsChanged()
{
  TWinControl::BoundsChanged();
  if (wordWrap_)
    ShowText();
}

std::string TLabel::ShownText() const
{
  if (!wordWrap_)
    return text_;
  // The system's word break would also break after a "/" or a "-" (Wine
  // does), which cuts a web address in two; so the lines are broken here.
  const TFontDc dc(nullptr, Font.Handle());
  std::string shown;
  std::size_t lineStart = 0;
  std::size_t blank = std::string::npos;  // the last blank of the line so far
  for (std::size_t i = 0; i <= text_.size(); ++i) {
    const bool lineEnd = i == text_.size() || text_[i] == '\r' || text_[i] == '\n';
    if (!lineEnd && text_[i] != ' ')
      continue;
    // A word ends at i: break before it when the line would pass the width.
    if (blank != std::string::npos && dc.TextWidth(text_.substr(lineStart, i - lineStart)) > Width()) {
      shown += text_.substr(lineStart, blank - lineStart) + "\r\n";
      lineStart = blank + 1;
    }
    blank = i;
    if (lineEnd) {
      shown += text_.substr(lineStart, i - lineStart);
      if (i < text_.size())
        shown += text_[i];
      lineStart = i + 1;
      blank = std::string::npos;
    }
  }
  if (ellipsisPosition_ == epEndEllipsis && !autoSize_)
    return CutToHeight(dc, shown);
  return shown;
}

std::string TLabel::CutToHeight(const TFontDc& dc, const std::string& shown) const
{
  TEXTMETRICA metrics{};
  GetTextMetricsA(dc.Handle(), &metrics);
  const int lineHeight = static_cast<int>(metrics.tmHeight);
  const int lines = lineHeight > 0 ? std::max(1, Height() / lineHeight) : 1;
  // The start of the last line that fits, and the break that ends it.
  std::size_t lastStart = 0;
  std::size_t lastEnd = shown.find_first_of("\r\n");
  for (int line = 1; line < lines && lastEnd != std::string::npos; ++line) {
    lastStart = shown.compare(lastEnd, 2, "\r\n") == 0 ? lastEnd + 2 : lastEnd + 1;
    lastEnd = shown.find_first_of("\r\n", lastStart);
  }
  const std::size_t rest = lastEnd == std::string::npos ? lastEnd : shown.find_first_not_of("\r\n", lastEnd);
  if (rest == std::string::npos)
    return shown;
  static const std::string ellipsis = "…";
  std::string last = shown.substr(lastStart, lastEnd - lastStart);
  // Whole words while the ellipsis does not fit beside them; a word longer
  // than the line loses letters.
  while (!last.empty() && dc.TextWidth(last + ellipsis) > Width()) {
    const std::size_t blank = last.find_last_of(' ');
    if (blank == std::string::npos || blank == 0)
      last.pop_back();
    else
      last.erase(last.find_last_not_of(' ', blank - 1) + 1);
  }
  return shown.substr(0, lastStart) + last + ellipsis;
}

void TLabel::ShowText()
{
  if (WindowHandle() == nullptr)
    return;
  const std::string shown = ShownText();
  if (shown != ReadWindowText(WindowHandle()))
    SetWindowTextA(WindowHandle(), shown.c_str());
}

void TLabel::AdjustSize()
{
  if (!autoSize_)
    return;
  RECT box{0, 0, wordWrap_ ? Width() : 0, 0};
  const std::string text = text_.empty() ? std::string(" ") : ShownText();
  DrawTextA(TFontDc(nullptr, Font.Handle()).Handle(), text.c_str(), static_cast<int>(text.size()), &box,
            DT_CALCRECT | DT_NOPREFIX | (wordWrap_ ? DT_WORDBREAK : 0));
  if (wordWrap_)
    SetBounds(Left(), Top(), Width(), box.bottom - box.top);
  else
    SetBounds(Left(), Top(), box.right - box.left, box.bottom - box.top);
}
