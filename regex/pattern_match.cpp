#include "regex/pattern_match.h"

#include "regex/pattern_expr.h"

bool MatchPattern(const std::string& pattern, const std::string& text)
{
  TPatternExpr expr;
  expr.SetExpression(pattern);
  return expr.Exec(text);
}
