#include "core/md5.h"

#include <bit>
#include <cstring>

namespace {

inline std::uint32_t LoadLittleEndian(const std::uint8_t* p)
{
  std::uint32_t word;
  std::memcpy(&word, p, 4);
  if constexpr (std::endian::native == std::endian::big)
    word = (word >> 24) | ((word >> 8) & 0xFF00u) | ((word << 8) & 0xFF0000u) | (word << 24);
  return word;
}

inline void StoreLittleEndian(std::uint8_t* p, std::uint32_t word)
{
  p[0] = static_cast<std::uint8_t>(word);
  p[1] = static_cast<std::uint8_t>(word >> 8);
  p[2] = static_cast<std::uint8_t>(word >> 16);
  p[3] = static_cast<std::uint8_t>(word >> 24);
}

// The auxiliary functions in forms with short dependency chains: F and G need
// no NOT of the chained value, and G's two halves never overlap, so "+" may
// stand for "|".
inline std::uint32_t F(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
  return z ^ (x & (y ^ z));
}
inline std::uint32_t G(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
  return (x & z) + (y & ~z);
}
inline std::uint32_t H(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
  return x ^ y ^ z;
}
inline std::uint32_t I(std::uint32_t x, std::uint32_t y, std::uint32_t z)
{
  return y ^ (x | ~z);
}

// The word and the constant are added first: they do not depend on the
// previous step, so the processor can do that work early.
#define MD5_STEP(f, a, b, c, d, word, constant, shift) \
  a += (word) + (constant);                            \
  a += f(b, c, d);                                     \
  a = std::rotl(a, shift) + b;

void ZeroBytes(void* p, std::size_t size)
{
  // Through a volatile pointer so the wipe of a dying context is not dropped.
  volatile std::uint8_t* bytes = static_cast<volatile std::uint8_t*>(p);
  for (std::size_t i = 0; i < size; ++i)
    bytes[i] = 0;
}

// The four rounds of 16 steps, each with its own auxiliary function, word
// order and shifts (inlined: the compression stays one run of straight code).
inline void Md5Round1(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d, const std::uint32_t* x)
{
  MD5_STEP(F, a, b, c, d, x[0], 0xd76aa478u, 7)
  MD5_STEP(F, d, a, b, c, x[1], 0xe8c7b756u, 12)
  MD5_STEP(F, c, d, a, b, x[2], 0x242070dbu, 17)
  MD5_STEP(F, b, c, d, a, x[3], 0xc1bdceeeu, 22)
  MD5_STEP(F, a, b, c, d, x[4], 0xf57c0fafu, 7)
  MD5_STEP(F, d, a, b, c, x[5], 0x4787c62au, 12)
  MD5_STEP(F, c, d, a, b, x[6], 0xa8304613u, 17)
  MD5_STEP(F, b, c, d, a, x[7], 0xfd469501u, 22)
  MD5_STEP(F, a, b, c, d, x[8], 0x698098d8u, 7)
  MD5_STEP(F, d, a, b, c, x[9], 0x8b44f7afu, 12)
  MD5_STEP(F, c, d, a, b, x[10], 0xffff5bb1u, 17)
  MD5_STEP(F, b, c, d, a, x[11], 0x895cd7beu, 22)
  MD5_STEP(F, a, b, c, d, x[12], 0x6b901122u, 7)
  MD5_STEP(F, d, a, b, c, x[13], 0xfd987193u, 12)
  MD5_STEP(F, c, d, a, b, x[14], 0xa679438eu, 17)
  MD5_STEP(F, b, c, d, a, x[15], 0x49b40821u, 22)
}

inline void Md5Round2(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d, const std::uint32_t* x)
{
  MD5_STEP(G, a, b, c, d, x[1], 0xf61e2562u, 5)
  MD5_STEP(G, d, a, b, c, x[6], 0xc040b340u, 9)
  MD5_STEP(G, c, d, a, b, x[11], 0x265e5a51u, 14)
  MD5_STEP(G, b, c, d, a, x[0], 0xe9b6c7aau, 20)
  MD5_STEP(G, a, b, c, d, x[5], 0xd62f105du, 5)
  MD5_STEP(G, d, a, b, c, x[10], 0x02441453u, 9)
  MD5_STEP(G, c, d, a, b, x[15], 0xd8a1e681u, 14)
  MD5_STEP(G, b, c, d, a, x[4], 0xe7d3fbc8u, 20)
  MD5_STEP(G, a, b, c, d, x[9], 0x21e1cde6u, 5)
  MD5_STEP(G, d, a, b, c, x[14], 0xc33707d6u, 9)
  MD5_STEP(G, c, d, a, b, x[3], 0xf4d50d87u, 14)
  MD5_STEP(G, b, c, d, a, x[8], 0x455a14edu, 20)
  MD5_STEP(G, a, b, c, d, x[13], 0xa9e3e905u, 5)
  MD5_STEP(G, d, a, b, c, x[2], 0xfcefa3f8u, 9)
  MD5_STEP(G, c, d, a, b, x[7], 0x676f02d9u, 14)
  MD5_STEP(G, b, c, d, a, x[12], 0x8d2a4c8au, 20)
}

inline void Md5Round3(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d, const std::uint32_t* x)
{
  MD5_STEP(H, a, b, c, d, x[5], 0xfffa3942u, 4)
  MD5_STEP(H, d, a, b, c, x[8], 0x8771f681u, 11)
  MD5_STEP(H, c, d, a, b, x[11], 0x6d9d6122u, 16)
  MD5_STEP(H, b, c, d, a, x[14], 0xfde5380cu, 23)
  MD5_STEP(H, a, b, c, d, x[1], 0xa4beea44u, 4)
  MD5_STEP(H, d, a, b, c, x[4], 0x4bdecfa9u, 11)
  MD5_STEP(H, c, d, a, b, x[7], 0xf6bb4b60u, 16)
  MD5_STEP(H, b, c, d, a, x[10], 0xbebfbc70u, 23)
  MD5_STEP(H, a, b, c, d, x[13], 0x289b7ec6u, 4)
  MD5_STEP(H, d, a, b, c, x[0], 0xeaa127fau, 11)
  MD5_STEP(H, c, d, a, b, x[3], 0xd4ef3085u, 16)
  MD5_STEP(H, b, c, d, a, x[6], 0x04881d05u, 23)
  MD5_STEP(H, a, b, c, d, x[9], 0xd9d4d039u, 4)
  MD5_STEP(H, d, a, b, c, x[12], 0xe6db99e5u, 11)
  MD5_STEP(H, c, d, a, b, x[15], 0x1fa27cf8u, 16)
  MD5_STEP(H, b, c, d, a, x[2], 0xc4ac5665u, 23)
}

inline void Md5Round4(std::uint32_t& a, std::uint32_t& b, std::uint32_t& c, std::uint32_t& d, const std::uint32_t* x)
{
  MD5_STEP(I, a, b, c, d, x[0], 0xf4292244u, 6)
  MD5_STEP(I, d, a, b, c, x[7], 0x432aff97u, 10)
  MD5_STEP(I, c, d, a, b, x[14], 0xab9423a7u, 15)
  MD5_STEP(I, b, c, d, a, x[5], 0xfc93a039u, 21)
  MD5_STEP(I, a, b, c, d, x[12], 0x655b59c3u, 6)
  MD5_STEP(I, d, a, b, c, x[3], 0x8f0ccc92u, 10)
  MD5_STEP(I, c, d, a, b, x[10], 0xffeff47du, 15)
  MD5_STEP(I, b, c, d, a, x[1], 0x85845dd1u, 21)
  MD5_STEP(I, a, b, c, d, x[8], 0x6fa87e4fu, 6)
  MD5_STEP(I, d, a, b, c, x[15], 0xfe2ce6e0u, 10)
  MD5_STEP(I, c, d, a, b, x[6], 0xa3014314u, 15)
  MD5_STEP(I, b, c, d, a, x[13], 0x4e0811a1u, 21)
  MD5_STEP(I, a, b, c, d, x[4], 0xf7537e82u, 6)
  MD5_STEP(I, d, a, b, c, x[11], 0xbd3af235u, 10)
  MD5_STEP(I, c, d, a, b, x[2], 0x2ad7d2bbu, 15)
  MD5_STEP(I, b, c, d, a, x[9], 0xeb86d391u, 21)
}

}  // namespace

void Md5CompressBlock(DigestContext& context, const std::uint8_t* block)
{
  std::uint32_t x[16];
  for (int i = 0; i < 16; ++i)
    x[i] = LoadLittleEndian(block + 4 * i);

  std::uint32_t a = context.A, b = context.B, c = context.C, d = context.D;
  Md5Round1(a, b, c, d, x);
  Md5Round2(a, b, c, d, x);
  Md5Round3(a, b, c, d, x);
  Md5Round4(a, b, c, d, x);

  context.A += a;
  context.B += b;
  context.C += c;
  context.D += d;
}

#undef MD5_STEP

void Md5Begin(DigestContext& context)
{
  context.A = 0x67452301u;
  context.B = 0xefcdab89u;
  context.C = 0x98badcfeu;
  context.D = 0x10325476u;
  context.CountLow = 0;
  context.CountHigh = 0;
  std::memset(context.Buffer, 0, sizeof context.Buffer);
}

void Md5Feed(DigestContext& context, const void* bytes, std::size_t count)
{
  const std::uint8_t* input = static_cast<const std::uint8_t*>(bytes);
  const std::size_t position = (context.CountLow >> 3) & 63;

  const std::uint32_t oldLow = context.CountLow;
  context.CountLow += static_cast<std::uint32_t>(count << 3);
  if (context.CountLow < oldLow)
    ++context.CountHigh;
  context.CountHigh += static_cast<std::uint32_t>(count >> 29);

  const std::size_t room = 64 - position;
  if (count < room) {
    if (count != 0)
      std::memcpy(context.Buffer + position, input, count);
    return;
  }
  std::memcpy(context.Buffer + position, input, room);
  Md5CompressBlock(context, context.Buffer);
  std::size_t done = room;
  for (; done + 64 <= count; done += 64)
    Md5CompressBlock(context, input + done);
  if (count != done)
    std::memcpy(context.Buffer, input + done, count - done);
}

TMd5Digest Md5End(DigestContext& context)
{
  std::uint8_t bits[8];
  StoreLittleEndian(bits, context.CountLow);
  StoreLittleEndian(bits + 4, context.CountHigh);

  static const std::uint8_t padding[64] = {0x80};
  const std::size_t position = (context.CountLow >> 3) & 63;
  Md5Feed(context, padding, position < 56 ? 56 - position : 120 - position);
  Md5Feed(context, bits, sizeof bits);

  TMd5Digest digest;
  StoreLittleEndian(digest.data(), context.A);
  StoreLittleEndian(digest.data() + 4, context.B);
  StoreLittleEndian(digest.data() + 8, context.C);
  StoreLittleEndian(digest.data() + 12, context.D);
  ZeroBytes(&context, sizeof context);
  return digest;
}

TMd5Digest Md5DigestOfText(const std::string& text)
{
  DigestContext context;
  Md5Begin(context);
  Md5Feed(context, text.data(), text.size());
  return Md5End(context);
}

std::string Md5DigestToHex(const TMd5Digest& digest)
{
  static const char digits[] = "0123456789abcdef";
  std::string hex(32, '0');
  for (std::size_t i = 0; i < digest.size(); ++i) {
    hex[2 * i] = digits[digest[i] >> 4];
    hex[2 * i + 1] = digits[digest[i] & 15];
  }
  return hex;
}
