#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "regex/pattern_error.h"
#include "regex/pattern_program.h"

// Modifier bits of ModifierSet (letters i, r, s, g, m, x in modifier groups).
enum TPatternModifier : int {
  ModifierI = 1,   // case-insensitive literals, classes and back-references
  ModifierR = 2,   // Cyrillic letter ranges in classes
  ModifierS = 4,   // "." matches line breaks too
  ModifierG = 8,   // quantifiers are greedy
  ModifierM = 16,  // "^" and "$" match at line breaks
  ModifierX = 32,  // blanks and "#" comments in the pattern are ignored
};

// A regular expression: its text and modifiers, the compiled node program,
// and the state of the last match. Not shared between threads.
class TPatternExpr {
public:
  TPatternExpr();
  virtual ~TPatternExpr();
  TPatternExpr(const TPatternExpr&) = delete;
  TPatternExpr& operator=(const TPatternExpr&) = delete;

  const std::string& Expression() const { return expressionText_; }
  void SetExpression(const std::string& text);

  int ModifierSet() const { return modifierSet_; }
  void SetModifierByIndex(int index, bool on);
  // Applies modifier letters ("i", "-g", "iM-x") to `set`; false at the first
  // character that is no modifier letter (changes made before it stay).
  static bool ParseModifierLetters(const std::string& letters, int& set);

  const std::string& InputString() const { return inputText_; }
  void SetInputString(const std::string& text);

  void CompileExpression();
  bool Exec(const std::string& text);
  bool ExecFrom(int offset);

  // Where group n (0 = whole match) matched in the input, 1-based, and its
  // length; -1 for a group that is not set.
  int MatchPos(int n) const;
  int MatchLen(int n) const;

  const std::string& BlankChars() const { return blankChars_; }
  void SetBlankChars(const std::string& chars) { blankChars_ = chars; }
  const std::string& WordCharacters() const { return wordCharacters_; }
  void SetWordCharacters(const std::string& chars) { wordCharacters_ = chars; }
  const std::string& LineBreakChars() const { return lineBreakChars_; }
  void SetLineBreakChars(const std::string& chars) { lineBreakChars_ = chars; }
  std::string LinePairedSeparator() const;
  void SetLinePairedSeparator(const std::string& pair);

  // Maps a character to its other case; DefaultCaseSwap unless replaced.
  std::function<char(char)> CaseSwap;

  // Run-time bound for fuzzing and tests: a run stops after that many node
  // steps with error 1017 (0, the default, for none). Recursion that grows
  // with the text always has a bound: beyond it a run raises error 1016.
  void SetStepLimit(std::int64_t steps) { stepLimit_ = steps; }

  int LastErrorCode() const { return lastErrorCode_; }
  int CompileErrorOffset() const;

  // The compiled program and its start hints, for dumps, verification and tests.
  bool Compiled() const { return compiled_; }
  const unsigned char* ProgramBytes() const { return program_; }
  int ProgramLength() const { return program_ != nullptr ? programSize_ : 0; }
  char StartChar() const { return startChar_; }
  bool Anchored() const { return anchored_ != 0; }
  std::string RequiredText() const;
  bool StartCharSetHas(unsigned char c) const { return CharSetHas(startCharSet_, c); }

protected:
  // Stores the code and throws EPatternExpr; compile errors carry the cursor
  // offset in the message.
  [[noreturn]] virtual void RaiseError(int code);

public:
  // Declared after RaiseError: the two virtual operations keep that slot order.
  virtual std::string ErrorText(int code) const;

private:
  using Node = unsigned char*;
  using CNode = const unsigned char*;

  static constexpr std::int32_t MaxLoopDepth = 10;       // counted loops active at once
  static constexpr std::size_t InlineProgramSize = 384;  // bytes; most programs fit

  // the object (pattern_expr.cpp)
  bool PrepareProgram();
  void DiscardProgram();

  // the compiler (pattern_compiler.cpp)
  void CompileText();
  void EmitInto(unsigned char* buffer, std::int32_t size, int& flags);
  [[noreturn]] void EmitOverflow();
  bool Sizing() const { return static_cast<const void*>(emitPos_) == static_cast<const void*>(&sizingSentinel_); }
  Node AppendNode(unsigned char kind);
  void AppendByte(unsigned char byte);
  void AppendInt(std::int32_t value);
  void InsertNodeBefore(unsigned char kind, Node position, int size);
  void LinkTail(Node chain, Node target);
  void LinkOperandTail(Node node, Node target);
  Node NextNodeOf(Node node) const;
  Node ParseReg(bool inGroup, int& flags);
  Node ParseAlternative(int& flags);
  Node ParseQuantified(int& flags);
  bool ParseBraces(std::int32_t& min, std::int32_t& max);
  void EmitGreedyStar(Node atom);
  void EmitGreedyPlus(Node atom);
  void EmitGreedyOptional(Node atom);
  void EmitCountedRepeat(Node atom, std::int32_t min, std::int32_t max, bool lazy);
  void EmitCountedLoop(Node atom, std::int32_t min, std::int32_t max, bool lazy);
  Node ParseAtom(int& flags);
  Node ParseParenthesis(int& flags);
  Node ParseEscape(int& flags);
  Node ParseLiteralRun(int& flags);

  // escapes and character classes (pattern_classes.cpp)
  unsigned char ReadEscapedChar();
  Node ParseClass();
  Node EmitCharClass(const std::string& members, bool negated);

  // the start hints (pattern_start_hints.cpp)
  void DeriveStartHints(bool alwaysConsumes, bool startsWithRepeat);
  void FillStartCharSet(CNode start, std::uint64_t* visited);

  // the matcher (pattern_matcher.cpp)
  // The node that follows in sequence, or null for none or an offset that
  // leaves the program.
  CNode NextNode(CNode node) const
  {
    std::int32_t offset = NextOffsetOf(node);
    std::int64_t at = (node - program_) + static_cast<std::int64_t>(offset);
    if (offset == 0 || at < 1 || at >= programSize_) {
      return nullptr;
    }
    return program_ + at;
  }
  CNode OperandOf(CNode node) const;
  bool RequiredTextOccurs(const char* from, const char* end) const;
  bool MatchAt(const char* position);
  bool MatchPrim(CNode node);
  bool MatchChain(CNode node);
  bool AssertionHolds(unsigned char kind) const;
  bool AtLineStart() const;
  bool AtLineEnd() const;
  bool ConsumeAtom(CNode node);
  bool LiteralAt(CNode node, bool fold, const char*& at) const;
  bool CapturedText(int group, const char*& text, std::int64_t& length) const;
  bool RepeatsCapture(const char* at, const char* text, std::int64_t length, bool fold) const;
  bool MatchAlternatives(CNode node);
  bool MatchGroupBound(const char*& bound, CNode next);
  bool MatchRepeat(CNode node, CNode next);
  std::int64_t RepeatStep(CNode repeated) const;
  std::int64_t RegRepeat(CNode node, std::int64_t max);
  bool MatchLoopEntry(CNode next);
  bool MatchLoop(CNode node, CNode next);
  CNode LoopBody(CNode loop) const;
  bool MatchLoopBody(CNode loop);
  bool MatchAfterLoop(CNode next);
  bool PassConsumedNothing(CNode body) const;
  bool IsWordChar(unsigned char c) const;
  bool IsLineBreak(unsigned char c) const;

  const char* matchStart_[MaxGroupNumber + 1] = {};  // 0 for the whole match
  const char* matchEnd_[MaxGroupNumber + 1] = {};
  std::int32_t loopCounters_[MaxLoopDepth + 1] = {};  // used 1..MaxLoopDepth
  std::int32_t loopDepth_ = 0;
  char startChar_ = 0;
  std::uint8_t anchored_ = 0;
  const char* requiredText_ = nullptr;
  std::int32_t requiredLength_ = 0;
  bool mayMatchEmpty_ = false;
  bool hasBackRef_ = false;
  std::uint8_t startCharSet_[ClassSetSize] = {};
  const char* inputPos_ = nullptr;
  const char* textStart_ = nullptr;
  const char* textEnd_ = nullptr;
  const char* parsePos_ = nullptr;
  std::int32_t groupCount_ = 0;
  std::uint32_t sizingSentinel_ = 0;
  unsigned char* emitPos_ = nullptr;
  unsigned char* emitLimit_ = nullptr;
  std::int32_t programSize_ = 0;
  const char* exprStart_ = nullptr;
  bool compiled_ = false;
  unsigned char* program_ = nullptr;
  std::unique_ptr<unsigned char[]> programHeap_;
  unsigned char programInline_[InlineProgramSize];
  std::string expressionText_;
  bool hasExpression_ = false;
  std::string inputText_;
  bool hasInput_ = false;
  int lastErrorCode_ = 0;
  int modifierSet_ = 0;
  int parseModifierSet_ = 0;
  int programModifierSet_ = 0;
  std::string blankChars_;
  std::string wordCharacters_;
  std::string lineBreakChars_;
  bool pairedSeparatorSet_ = false;
  char pairedSeparatorHead_ = 0;
  char pairedSeparatorTail_ = 0;
  std::uint8_t lineBreakSet_[ClassSetSize] = {};
  std::int32_t matchDepth_ = 0;  // MatchPrim calls active in the current run
  std::int64_t stepLimit_ = 0;
  std::int64_t steps_ = 0;
};
