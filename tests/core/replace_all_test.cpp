#include <gtest/gtest.h>

#include <string>

#include "core/replace_all.h"

namespace {

TEST(ReplaceAllTest, Cases)
{
  const struct {
    const char* text;
    const char* searched;
    const char* replacement;
    const char* expected;
  } cases[] = {
      {"1.0.2.7", ".", "", "1027"},
      {"4.3.0.701", ".", "", "430701"},
      {".", ".", "", "."},     // not longer than the searched text
      {"ab", "ab", "", "ab"},  // same length
      {"abc", "x", "y", "abc"},
      {"abc", "", "y", "abc"},   // an empty searched text is never found
      {"a.b", ".", ".", "a.b"},  // searched equals replacement
      {"aab", "ab", "b", "b"},   // occurrences made by a replacement are replaced too
      {"xaaaay", "aa", "a", "xay"},
      {"aab", "ab", "ba", "baa"},  // at equal length too
      {"abcabcab", "cab", "c", "abcc"},
      // the replacement holds the searched text: once from left to right
      {"a.b.c", ".", "..", "a..b..c"},
      {"xx", "x", "xx", "xxxx"},
      {"abab", "ab", "abab", "abababab"},
      {"1.0", ".", "[.]", "1[.]0"},
      // a longer replacement that rebuilds the searched text with its
      // neighbours: rescanning would grow "aab" for ever and double the a's
      // of "bbb...a" per b, so these go once from left to right too
      {"aab", "ab", "bbaa", "abbaa"},
      {"bba", "ba", "aab", "baab"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected, ReplaceAll(c.text, c.searched, c.replacement))
        << "'" << c.text << "' '" << c.searched << "' -> '" << c.replacement << "'";
}

}  // namespace
