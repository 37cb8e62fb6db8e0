#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/md5.h"

namespace {

std::string HexOf(const std::string& text)
{
  return Md5DigestToHex(Md5DigestOfText(text));
}

struct TVector {
  std::string text;
  const char* digest;
};

TEST(Md5Test, Rfc1321TestSuite)
{
  const TVector vectors[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const TVector& v : vectors)
    EXPECT_EQ(v.digest, HexOf(v.text)) << "text: " << v.text;
}

TEST(Md5Test, LengthsAroundTheBlockAndPaddingBoundaries)
{
  // 55 bytes take padding and length in one block, 56-63 need a second one,
  // 64 fill a block before any padding.
  const struct {
    std::size_t length;
    const char* digest;
  } cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"}, {56, "3b0c8ac703f828b04c6c197006d17218"},
      {63, "b06521f39153d618550606be297466d5"}, {64, "014842d480b571495a4a0363793f7367"},
      {65, "c743a45e0d2e6a95cb859adae0248435"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.digest, HexOf(std::string(c.length, 'a'))) << c.length << " bytes";
}

TEST(Md5Test, HighBytesAreHashedAsStored)
{
  std::string high;
  for (int b = 0x80; b <= 0xFF; ++b)
    high += static_cast<char>(b);
  EXPECT_EQ("16f404156c0500ac48efa2d3abc5fbcf", HexOf(high));
  // "Müller" as the window's code page stores it, one byte for the umlaut.
  EXPECT_EQ("52295df07df43961283f2f6dbf08d62c", HexOf("M\xFCller"));
}

TEST(Md5Test, HexIsLowerCaseWithLeadingZeros)
{
  TMd5Digest digest{};
  digest[0] = 0x00;
  digest[1] = 0x0F;
  digest[2] = 0xAB;
  digest[15] = 0xF0;
  EXPECT_EQ("000fab000000000000000000000000f0", Md5DigestToHex(digest));
}

TEST(Md5Test, PiecesOfAnySizeGiveTheDigestOfTheWhole)
{
  std::string text;
  for (int i = 0; i < 300; ++i)
    text += static_cast<char>((i * 37 + 11) & 0xFF);
  const TMd5Digest whole = Md5DigestOfText(text);

  for (std::size_t split = 0; split <= text.size(); ++split) {
    DigestContext context;
    Md5Begin(context);
    Md5Feed(context, text.data(), split);
    Md5Feed(context, text.data() + split, text.size() - split);
    ASSERT_EQ(whole, Md5End(context)) << "split at " << split;
  }

  const std::vector<std::size_t> pieceSizes = {1, 0, 63, 2, 64, 65, 7, 128, 1};
  DigestContext context;
  Md5Begin(context);
  std::size_t done = 0;
  for (std::size_t i = 0; done < text.size(); ++i) {
    const std::size_t n = std::min(pieceSizes[i % pieceSizes.size()], text.size() - done);
    Md5Feed(context, text.data() + done, n);
    done += n;
  }
  EXPECT_EQ(whole, Md5End(context));
}

TEST(Md5Test, OneMillionBytes)
{
  EXPECT_EQ("7707d6ae4e027c70eea2a935c2296f21", HexOf(std::string(1000000, 'a')));
}

TEST(Md5Test, BitCountCarriesIntoTheHighWord)
{
  DigestContext context;
  Md5Begin(context);
  context.CountLow = 0xFFFFFFF8u;  // one byte short of 2^32 bits
  const char byte = 'x';
  Md5Feed(context, &byte, 1);
  EXPECT_EQ(0u, context.CountLow);
  EXPECT_EQ(1u, context.CountHigh);
}

TEST(Md5Test, EndWipesTheContext)
{
  DigestContext context;
  Md5Begin(context);
  Md5Feed(context, "secret", 6);
  Md5End(context);
  const auto* bytes = reinterpret_cast<const unsigned char*>(&context);
  for (std::size_t i = 0; i < sizeof context; ++i)
    ASSERT_EQ(0, bytes[i]) << "byte " << i;
}

}  // namespace
