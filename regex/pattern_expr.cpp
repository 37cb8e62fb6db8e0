// The expression object: its text, modifiers and settings, the errors it
// raises, and the hand-over between the compiler and the matcher.
#include "regex/pattern_expr.h"

#include <cstring>

#include "regex/case_swap.h"
#include "regex/pattern_program.h"

namespace {

int ModifierBit(char letter)
{
  switch (letter) {
  case 'i':
  case 'I': return ModifierI;
  case 'r':
  case 'R': return ModifierR;
  case 's':
  case 'S': return ModifierS;
  case 'g':
  case 'G': return ModifierG;
  case 'm':
  case 'M': return ModifierM;
  case 'x':
  case 'X': return ModifierX;
  default: return 0;
  }
}

}  // namespace

TPatternExpr::TPatternExpr() : CaseSwap(DefaultCaseSwap)
{
  SetModifierByIndex(1, false);
  SetModifierByIndex(2, true);
  SetModifierByIndex(3, true);
  SetModifierByIndex(4, true);
  SetModifierByIndex(5, false);
  Blanks = " \t\n\r\f";
  WordChars = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
  LineBreaks = "\r\n";
  SetLinePairedSeparator("\r\n");
}

TPatternExpr::~TPatternExpr() = default;

void TPatternExpr::SetExpression(const std::string& text)
{
  if (IsCompiled && HasExpression == !text.empty() && text == ExpressionText) {
    return;
  }
  IsCompiled = false;
  DiscardProgram();
  ExpressionText = text;
  HasExpression = !text.empty();
}

bool TPatternExpr::ModifierByIndex(int index) const
{
  if (index < 1 || index > 6) {
    const_cast<TPatternExpr*>(this)->RaiseError(reModifierUnsupported);
  }
  return (Modifiers & (1 << (index - 1))) != 0;
}

void TPatternExpr::SetModifierByIndex(int index, bool on)
{
  if (index < 1 || index > 6) {
    RaiseError(reModifierUnsupported);
  }
  if (on) {
    Modifiers |= 1 << (index - 1);
  } else {
    Modifiers &= ~(1 << (index - 1));
  }
}

bool TPatternExpr::ParseModifierLetters(const std::string& letters, int& set)
{
  bool on = true;
  for (char c : letters) {
    if (c == '-') {
      on = false;
      continue;
    }
    int bit = ModifierBit(c);
    if (bit == 0) {
      return false;
    }
    if (on) {
      set |= bit;
    } else {
      set &= ~bit;
    }
  }
  return true;
}

void TPatternExpr::SetInputString(const std::string& text)
{
  std::memset(MatchStart, 0, sizeof MatchStart);
  std::memset(MatchEnd, 0, sizeof MatchEnd);
  InputText = text;
  HasInput = true;
}

std::string TPatternExpr::LinePairedSeparator() const
{
  if (!PairedSeparatorSet) {
    return std::string();
  }
  return std::string{PairedSeparatorHead, PairedSeparatorTail};
}

void TPatternExpr::SetLinePairedSeparator(const std::string& pair)
{
  if (pair.size() == 2) {
    if (pair[0] == pair[1]) {
      RaiseError(reCompBadLinePairedSeparator);
    }
    if (!PairedSeparatorSet || PairedSeparatorHead != pair[0] || PairedSeparatorTail != pair[1]) {
      PairedSeparatorSet = true;
      PairedSeparatorHead = pair[0];
      PairedSeparatorTail = pair[1];
      DiscardProgram();
    }
  } else if (pair.empty()) {
    if (PairedSeparatorSet) {
      PairedSeparatorSet = false;
      DiscardProgram();
    }
  } else {
    RaiseError(reCompBadLinePairedSeparator);
  }
}

int TPatternExpr::MatchPos(int n) const
{
  if (n < 0 || n > MaxGroupNumber || MatchStart[n] == nullptr || MatchEnd[n] == nullptr) {
    return -1;
  }
  return static_cast<int>(MatchStart[n] - InputText.c_str()) + 1;
}

int TPatternExpr::MatchLen(int n) const
{
  if (n < 0 || n > MaxGroupNumber || MatchStart[n] == nullptr || MatchEnd[n] == nullptr ||
      MatchEnd[n] < MatchStart[n]) {
    return -1;
  }
  return static_cast<int>(MatchEnd[n] - MatchStart[n]);
}

std::string TPatternExpr::RequiredText() const
{
  if (Required == nullptr) {
    return std::string();
  }
  return std::string(Required, static_cast<size_t>(RequiredLength));
}

int TPatternExpr::CompileErrorOffset() const
{
  if (ParsePos != nullptr && ExprStart != nullptr) {
    return static_cast<int>(ParsePos - ExprStart);
  }
  return 0;
}

std::string TPatternExpr::ErrorText(int code) const
{
  return PatternErrorText(code);
}

void TPatternExpr::RaiseError(int code)
{
  LastError = code;
  std::string message = ErrorText(code);
  int position = CompileErrorOffset();
  if (code < 1000) {
    message += " (pos " + std::to_string(position) + ")";
  }
  throw EPatternExpr(message, code, position);
}

void TPatternExpr::DiscardProgram()
{
  Program = nullptr;
  ProgramHeap.reset();
}

void TPatternExpr::CompileExpression()
{
  if (!HasExpression) {
    RaiseError(reExecNotAssignedExpression);
  }
  CompileText();
}

bool TPatternExpr::PrepareProgram()
{
  if (Modifiers != ProgramModifiers) {
    DiscardProgram();
  }
  std::memset(LineBreakSet, 0, sizeof LineBreakSet);
  for (char c : LineBreaks) {
    CharSetAdd(LineBreakSet, static_cast<unsigned char>(c));
  }
  if (Program == nullptr) {
    CompileExpression();
  }
  if (Program == nullptr || Program[0] != ProgramMarker) {
    RaiseError(reExecCorruptedProgram);
  }
  return true;
}

bool TPatternExpr::Exec(const std::string& text)
{
  SetInputString(text);
  return ExecFrom(1);
}
