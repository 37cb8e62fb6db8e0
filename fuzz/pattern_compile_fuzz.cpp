// Compiles arbitrary patterns under arbitrary modifiers. A compile error must
// carry a known code, its fixed message with the cursor offset and a position
// inside the pattern; a compiled program must pass the verifier and survive a
// bounded run over a short text. With both high bits of the first byte set,
// the second byte is a repeat count (in steps of 256) and the rest a piece
// that the pattern repeats, up to 128 KiB, so that patterns reach the sizes
// where the depth of the compiler's walks matters.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "regex/pattern_expr.h"
#include "regex/pattern_program.h"

namespace {

constexpr std::size_t MaxRepeatedSize = 128 * 1024;

[[noreturn]] void Finding(const std::string& what, const std::string& pattern)
{
  std::fprintf(stderr, "finding: %s\npattern (%zu bytes):", what.c_str(), pattern.size());
  for (const char c : pattern) {
    std::fprintf(stderr, " %02X", static_cast<unsigned char>(c));
  }
  std::fprintf(stderr, "\n");
  std::abort();
}

bool IsCompileCode(int code)
{
  switch (code) {
  case 102:
  case 103:
  case 104:
  case 105:
  case 106:
  case 107:
  case 108:
  case 109:
  case 110:
  case 111:
  case 112:
  case 113:
  case 114:
  case 115:
  case 116:
  case 119:
  case 122:
  case 124:
  case 125:
  case 127: return true;
  default: return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  if (size == 0) {
    return 0;
  }
  int modifiers = data[0] & 0x3F;
  std::string pattern;
  if ((data[0] & 0xC0) == 0xC0 && size > 2) {
    std::string piece(reinterpret_cast<const char*>(data + 2), size - 2);
    std::size_t times = std::min<std::size_t>(1 + data[1] * std::size_t{256}, MaxRepeatedSize / piece.size());
    pattern.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) {
      pattern += piece;
    }
  } else {
    pattern.assign(reinterpret_cast<const char*>(data + 1), size - 1);
  }
  pattern = pattern.c_str();  // the expression ends at its first NUL

  TPatternExpr expr;
  for (int i = 1; i <= 6; ++i) {
    expr.SetModifierByIndex(i, (modifiers >> (i - 1)) & 1);
  }
  expr.SetExpression(pattern);
  try {
    expr.CompileExpression();
  } catch (const EPatternExpr& e) {
    if (pattern.empty()) {
      if (e.Code != 1003 || e.Message() != PatternErrorText(1003)) {
        Finding("empty pattern gave " + e.Message(), pattern);
      }
      return 0;
    }
    if (!IsCompileCode(e.Code)) {
      Finding("unexpected compile code " + std::to_string(e.Code), pattern);
    }
    if (e.Position < 0 || static_cast<std::size_t>(e.Position) > pattern.size()) {
      Finding("position outside the pattern: " + std::to_string(e.Position), pattern);
    }
    if (e.Message() != PatternErrorText(e.Code) + " (pos " + std::to_string(e.Position) + ")") {
      Finding("message mismatch: " + e.Message(), pattern);
    }
    if (expr.ProgramBytes() != nullptr || expr.Compiled() || expr.LastErrorCode() != e.Code) {
      Finding("object state after a compile error", pattern);
    }
    return 0;
  }
  std::string problem;
  if (!VerifyPatternProgram(expr.ProgramBytes(), expr.ProgramLength(), &problem)) {
    Finding("program verifier: " + problem + "\n" + DumpPatternProgram(expr.ProgramBytes(), expr.ProgramLength()),
            pattern);
  }
  expr.SetStepLimit(20000);
  try {
    expr.Exec(pattern);
    expr.Exec("");
    expr.Exec("ab 12\r\nAB_-x.");
  } catch (const EPatternExpr& e) {
    if (e.Code != 1014 && e.Code != 1016 && e.Code != 1017) {
      Finding("run-time error " + e.Message(), pattern);
    }
  }
  return 0;
}
