#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/random_source.h"

namespace {

TEST(RandomLettersTest, LettersFromAToYOnly)
{
  EXPECT_EQ("", RandomLetters(0));
  EXPECT_EQ(255u, RandomLetters(255).size());
  std::set<char> seen;
  for (int i = 0; i < 2000; ++i) {
    const std::string letters = RandomLetters(6);
    ASSERT_EQ(6u, letters.size());
    for (char c : letters) {
      ASSERT_GE(c, 'a');
      ASSERT_LE(c, 'y');
      seen.insert(c);
    }
  }
  EXPECT_EQ(25u, seen.size());
}

TEST(RandomSourceTest, SameStateGivesSameDrawsAndStaysInRange)
{
  SetRandomState(42);
  const std::string first = RandomLetters(20);
  SetRandomState(42);
  EXPECT_EQ(first, RandomLetters(20));
  EXPECT_EQ(0, RandomBelow(1));
  int counts[4] = {};
  for (int i = 0; i < 40000; ++i) {
    const int draw = RandomBelow(4);
    ASSERT_GE(draw, 0);
    ASSERT_LT(draw, 4);
    ++counts[draw];
  }
  for (int count : counts)
    EXPECT_NEAR(10000, count, 600);
}

}  // namespace
