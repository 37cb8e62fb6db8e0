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
  blankChars_ = " \t\n\r\f";
  wordCharacters_ = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ_";
  lineBreakChars_ = "\r\n";
  SetLinePairedSeparator("\r\n");
}

TPatternExpr::~TPatternExpr() = default;

void TPatternExpr::SetExpression(const std::string& text)
{
  if (compiled_ && hasExpression_ == !text.empty() && text == expressionText_) {
    return;
  }
  compiled_ = false;
  DiscardProgram();
  expressionText_ = text;
  hasExpression_ = !text.empty();
}

void TPatternExpr::SetModifierByIndex(int index, bool on)
{
  if (index < 1 || index > 6) {
    RaiseError(reModifierUnsupported);
  }
  if (on) {
    modifierSet_ |= 1 << (index - 1);
  } else {
    modifierSet_ &= ~(1 << (index - 1));
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
  std::memset(matchStart_, 0, sizeof matchStart_);
  std::memset(matchEnd_, 0, sizeof matchEnd_);
  inputText_ = text;
  hasInput_ = true;
}

std::string TPatternExpr::LinePairedSeparator() const
{
  if (!pairedSeparatorSet_) {
    return std::string();
  }
  return std::string{pairedSeparatorHead_, pairedSeparatorTail_};
}

void TPatternExpr::SetLinePairedSeparator(const std::string& pair)
{
  if (pair.size() == 2) {
    if (pair[0] == pair[1]) {
      RaiseError(reCompBadLinePairedSeparator);
    }
    if (!pairedSeparatorSet_ || pairedSeparatorHead_ != pair[0] || pairedSeparatorTail_ != pair[1]) {
      pairedSeparatorSet_ = true;
      pairedSeparatorHead_ = pair[0];
      pairedSeparatorTail_ = pair[1];
      DiscardProgram();
    }
  } else if (pair.empty()) {
    if (pairedSeparatorSet_) {
      pairedSeparatorSet_ = false;
      DiscardProgram();
    }
  } else {
    RaiseError(reCompBadLinePairedSeparator);
  }
}

int TPatternExpr::MatchPos(int n) const
{
  if (n < 0 || n > MaxGroupNumber || matchStart_[n] == nullptr || matchEnd_[n] == nullptr) {
    return -1;
  }
  return static_cast<int>(matchStart_[n] - inputText_.c_str()) + 1;
}

int TPatternExpr::MatchLen(int n) const
{
  if (n < 0 || n > MaxGroupNumber || matchStart_[n] == nullptr || matchEnd_[n] == nullptr ||
      matchEnd_[n] < matchStart_[n]) {
    return -1;
  }
  return static_cast<int>(matchEnd_[n] - matchStart_[n]);
}

std::string TPatternExpr::RequiredText() const
{
  if (requiredText_ == nullptr) {
    return std::string();
  }
  return std::string(requiredText_, static_cast<size_t>(requiredLength_));
}

int TPatternExpr::CompileErrorOffset() const
{
  if (parsePos_ != nullptr && exprStart_ != nullptr) {
    return static_cast<int>(parsePos_ - exprStart_);
  }
  return 0;
}

std::string TPatternExpr::ErrorText(int code) const
{
  return PatternErrorText(code);
}

void TPatternExpr::RaiseError(int code)
{
  lastErrorCode_ = code;
  std::string message = ErrorText(code);
  int position = CompileErrorOffset();
  if (code < 1000) {
    message += " (pos " + std::to_string(position) + ")";
  }
  throw EPatternExpr(message, code, position);
}

void TPatternExpr::DiscardProgram()
{
  program_ = nullptr;
  programHeap_.reset();
}

void TPatternExpr::CompileExpression()
{
  if (!hasExpression_) {
    RaiseError(reExecNotAssignedExpression);
  }
  CompileText();
}

bool TPatternExpr::PrepareProgram()
{
  if (modifierSet_ != programModifierSet_) {
    DiscardProgram();
  }
  std::memset(lineBreakSet_, 0, sizeof lineBreakSet_);
  for (char c : lineBreakChars_) {
    CharSetAdd(lineBreakSet_, static_cast<unsigned char>(c));
  }
  if (program_ == nullptr) {
    CompileExpression();
  }
  if (program_ == nullptr || program_[0] != ProgramMarker) {
    RaiseError(reExecCorruptedProgram);
  }
  return true;
}

bool TPatternExpr::Exec(const std::string& text)
{
  SetInputString(text);
  return ExecFrom(1);
}
