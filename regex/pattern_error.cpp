#include "regex/pattern_error.h"

std::string PatternErrorText(int code)
{
  switch (code) {
  case reNoError: return "No errors";
  case reCompNullArgument: return "TPatternExpr(comp): Null Argument";
  case reCompRegexpTooBig: return "TPatternExpr(comp): Regexp Too Big";
  case reCompParseRegTooManyBrackets: return "TPatternExpr(comp): ParseReg Too Many ()";
  case reCompParseRegUnmatchedBrackets: return "TPatternExpr(comp): ParseReg Unmatched ()";
  case reCompParseRegUnmatchedBrackets2: return "TPatternExpr(comp): ParseReg Unmatched ()";
  case reCompParseRegJunkOnEnd: return "TPatternExpr(comp): ParseReg Junk On End";
  case reCompPlusStarOperandCouldBeEmpty: return "TPatternExpr(comp): *+ Operand Could Be Empty";
  case reCompNestedQuantifier: return "TPatternExpr(comp): Nested *?+";
  case reCompBadHexDigit: return "TPatternExpr(comp): Bad Hex Digit";
  case reCompInvalidRange: return "TPatternExpr(comp): Invalid [] Range";
  case reCompParseAtomTrailingBackSlash: return "TPatternExpr(comp): Parse Atom Trailing \\";
  case reCompNoHexCodeAfterBSlashX: return "TPatternExpr(comp): No Hex Code After \\x";
  case reCompHexCodeAfterBSlashXTooBig: return "TPatternExpr(comp): Hex Code After \\x Is Too Big";
  case reCompUnmatchedSqBrackets: return "TPatternExpr(comp): Unmatched []";
  case reCompInternalUrp: return "TPatternExpr(comp): Internal Urp";
  case reCompQuantifierFollowsNothing: return "TPatternExpr(comp): ?+*{ Follows Nothing";
  case reCompTrailingBackSlash: return "TPatternExpr(comp): Trailing \\";
  case reCompRarseAtomInternalDisaster: return "TPatternExpr(comp): RarseAtom Internal Disaster";
  case reCompBracesArgTooBig: return "TPatternExpr(comp): BRACES Argument Too Big";
  case reCompBracesMinParamGreaterMax: return "TPatternExpr(comp): BRACE Min Param Greater then Max";
  case reCompUnclosedComment: return "TPatternExpr(comp): Unclosed (?#Comment)";
  case reCompComplexBracesNotImplemented:
    return "TPatternExpr(comp): If you want take part in beta-testing BRACES '{min,max}' and non-greedy ops '*?', "
           "'+?', '?\?' for complex cases - remove '.' from {.$DEFINE ComplexBraces}";
  case reCompUnrecognizedModifier: return "TPatternExpr(comp): Urecognized Modifier";
  case reCompBadLinePairedSeparator:
    return "TPatternExpr(comp): LinePairedSeparator must countain two different chars or no chars at all";
  case reExecRegRepeatCalledInappropriately: return "TPatternExpr(exec): RegRepeat Called Inappropriately";
  case reExecMatchPrimMemoryCorruption: return "TPatternExpr(exec): MatchPrim Memory Corruption";
  case reExecMatchPrimCorruptedPointers: return "TPatternExpr(exec): MatchPrim Corrupted Pointers";
  case reExecNotAssignedExpression: return "TPatternExpr(exec): Not Assigned Expression Property";
  case reExecCorruptedProgram: return "TPatternExpr(exec): Corrupted Program";
  case reExecNoInputStringSpecified: return "TPatternExpr(exec): No Inpit String Specified";
  case reExecOffsetMustBeGreaterThan0: return "TPatternExpr(exec): Offset Must Be Greater Then 0";
  case reExecNextWithoutExec: return "TPatternExpr(exec): ExecNext Without Exec[Pos]";
  case reExecGetInputStringWithoutInputString: return "TPatternExpr(exec): GetInputString Without InputString";
  case reDumpCorruptedOpcode: return "TPatternExpr(dump): Corrupted Opcode";
  case reExecLoopStackExceeded: return "TPatternExpr(exec): Loop Stack Exceeded";
  case reExecLoopWithoutEntry: return "TPatternExpr(exec): Loop Without LoopEntry !";
  case reExecRecursionTooDeep: return "TPatternExpr(exec): Recursion Too Deep";
  case reExecStepLimitExceeded: return "TPatternExpr(exec): Step Limit Exceeded";
  default: return "Unknown error";
  }
}
