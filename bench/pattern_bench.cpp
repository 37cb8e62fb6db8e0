// The core's real load: every address test compiles its pattern afresh, so
// each iteration here compiles and matches, for the engine and its peers alike.
#include <benchmark/benchmark.h>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "core/address_patterns.h"
#include "regex/pattern_expr.h"
#include "regex/pattern_match.h"

namespace {

const std::string DottedQuad = DottedQuadPattern;
const std::vector<std::string> QuadTexts{"192.168.1.20", "203.0.113.7", "0.0.0.0", "", "1.2.3.4 ", "10.0.0"};
const std::vector<std::string> PrivateTexts{"192.168.1.1", "172.20.5.5", "203.0.113.7", "10.1.2.3"};

bool EngineMatch(const std::string& pattern, const std::string& text)
{
  return MatchPattern(pattern, text);
}

bool StdRegexMatch(const std::string& pattern, const std::string& text)
{
  return std::regex_search(text, std::regex(pattern));
}

bool Pcre2Match(const std::string& pattern, const std::string& text)
{
  int error = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code =
      pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), 0, &error, &offset, nullptr);
  if (code == nullptr) {
    return false;
  }
  pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
  int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), 0, 0, data, nullptr);
  pcre2_match_data_free(data);
  pcre2_code_free(code);
  return rc >= 0;
}

template <bool (*Match)(const std::string&, const std::string&)>
void DottedQuadLoad(benchmark::State& state)
{
  int hits = 0;
  for (auto _ : state) {
    for (const std::string& text : QuadTexts) {
      hits += Match(DottedQuad, text) ? 1 : 0;
    }
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(QuadTexts.size()));
}

template <bool (*Match)(const std::string&, const std::string&)>
void PrivateRangeLoad(benchmark::State& state)
{
  const std::vector<std::string> patterns(std::begin(PrivatePatterns), std::end(PrivatePatterns));
  int hits = 0;
  for (auto _ : state) {
    for (const std::string& text : PrivateTexts) {
      bool any = false;
      for (const std::string& pattern : patterns) {
        any = Match(pattern, text) || any;  // all 18, no early exit, as the core does
      }
      hits += any ? 1 : 0;
    }
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(PrivateTexts.size() * patterns.size()));
}

std::string Repeated(const std::string& piece, int times)
{
  std::string text;
  for (int i = 0; i < times; ++i) {
    text += piece;
  }
  return text;
}

// The matcher alone, on an expression compiled once: the address rule, and the
// repetitions whose bounds and bodies it reads from the program's operands.
void MatchOnly(benchmark::State& state, const char* pattern, const std::vector<std::string>& texts)
{
  TPatternExpr expr;
  expr.SetExpression(pattern);
  expr.CompileExpression();
  int hits = 0;
  for (auto _ : state) {
    for (const std::string& text : texts) {
      hits += expr.Exec(text) ? 1 : 0;
    }
  }
  benchmark::DoNotOptimize(hits);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(texts.size()));
}

const std::vector<std::string> LoopTexts{Repeated("ab", 300) + "c", Repeated("ab", 300) + "x"};
const std::vector<std::string> RepeatTexts{Repeated("x", 60) + "y", Repeated("x", 60) + "zy"};
const std::vector<std::string> AlternationTexts{Repeated("ab", 200) + "c", Repeated("ba", 200) + "cab"};

}  // namespace

BENCHMARK_CAPTURE(MatchOnly, DottedQuad, DottedQuadPattern, QuadTexts);
BENCHMARK_CAPTURE(MatchOnly, CountedLoop, "^(ab){2,500}c$", LoopTexts);
BENCHMARK_CAPTURE(MatchOnly, LazyLoop, "^(?-g)(ab)*c$", LoopTexts);
BENCHMARK_CAPTURE(MatchOnly, CountedRepeat, "x{2,40}y", RepeatTexts);
BENCHMARK_CAPTURE(MatchOnly, GreedyAlternation, "(a|b)*c", AlternationTexts);
BENCHMARK(DottedQuadLoad<EngineMatch>)->Name("DottedQuad/MatchPattern");
BENCHMARK(DottedQuadLoad<StdRegexMatch>)->Name("DottedQuad/std_regex");
BENCHMARK(DottedQuadLoad<Pcre2Match>)->Name("DottedQuad/pcre2");
BENCHMARK(PrivateRangeLoad<EngineMatch>)->Name("PrivateRanges/MatchPattern");
BENCHMARK(PrivateRangeLoad<StdRegexMatch>)->Name("PrivateRanges/std_regex");
BENCHMARK(PrivateRangeLoad<Pcre2Match>)->Name("PrivateRanges/pcre2");

BENCHMARK_MAIN();
