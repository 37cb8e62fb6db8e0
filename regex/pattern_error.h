#pragma once

#include <string>

#include "platform/exception.h"

// Error codes of the pattern engine: below 1000 the compiler, from 1000 on the
// matcher (and the object's own checks).
enum TPatternError : int {
  reNoError = 0,
  reCompNullArgument = 100,
  reCompRegexpTooBig = 101,
  reCompParseRegTooManyBrackets = 102,
  reCompParseRegUnmatchedBrackets = 103,
  reCompParseRegUnmatchedBrackets2 = 104,
  reCompParseRegJunkOnEnd = 105,
  reCompPlusStarOperandCouldBeEmpty = 106,
  reCompNestedQuantifier = 107,
  reCompBadHexDigit = 108,
  reCompInvalidRange = 109,
  reCompParseAtomTrailingBackSlash = 110,
  reCompNoHexCodeAfterBSlashX = 111,
  reCompHexCodeAfterBSlashXTooBig = 112,
  reCompUnmatchedSqBrackets = 113,
  reCompInternalUrp = 114,
  reCompQuantifierFollowsNothing = 115,
  reCompTrailingBackSlash = 116,
  reCompRarseAtomInternalDisaster = 119,
  reCompBracesArgTooBig = 122,
  reCompBracesMinParamGreaterMax = 124,
  reCompUnclosedComment = 125,
  reCompComplexBracesNotImplemented = 126,
  reCompUnrecognizedModifier = 127,
  reCompBadLinePairedSeparator = 128,
  reExecRegRepeatCalledInappropriately = 1000,
  reExecMatchPrimMemoryCorruption = 1001,
  reExecMatchPrimCorruptedPointers = 1002,
  reExecNotAssignedExpression = 1003,
  reExecCorruptedProgram = 1004,
  reExecNoInputStringSpecified = 1005,
  reExecOffsetMustBeGreaterThan0 = 1006,
  reExecNextWithoutExec = 1007,
  reExecGetInputStringWithoutInputString = 1008,
  reDumpCorruptedOpcode = 1011,
  reModifierUnsupported = 1013,
  reExecLoopStackExceeded = 1014,
  reExecLoopWithoutEntry = 1015,
  reExecRecursionTooDeep = 1016,
  reExecStepLimitExceeded = 1017,
};

// The fixed English message of an error code; "Unknown error" for a code
// that has none.
std::string PatternErrorText(int code);

class EPatternExpr : public Exception {
public:
  EPatternExpr(const std::string& message, int code, int position) : Exception(message), Code(code), Position(position)
  {}

  int Code;
  int Position;  // compiler offset at the failure; 0 for run-time errors
};
