// MD5 over arbitrary bytes: feeding in pieces must give the digest of one
// feed, and both must equal OpenSSL's.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include <openssl/evp.h>

#include "core/md5.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  const std::string text(reinterpret_cast<const char*>(data), size);
  const TMd5Digest whole = Md5DigestOfText(text);

  unsigned char expected[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_Digest(data, size, expected, &length, EVP_md5(), nullptr) != 1 || length != 16 ||
      std::memcmp(expected, whole.data(), 16) != 0)
    std::abort();

  // Piece sizes from the input itself, so the fuzzer explores block edges.
  DigestContext context;
  Md5Begin(context);
  std::size_t done = 0;
  for (std::size_t i = 0; done < size; ++i) {
    std::size_t piece = data[i % size] % 131;
    if (piece > size - done)
      piece = size - done;
    Md5Feed(context, data + done, piece);  // empty pieces too
    if (piece == 0) {
      piece = 1;
      Md5Feed(context, data + done, piece);
    }
    done += piece;
  }
  if (Md5End(context) != whole)
    std::abort();

  const std::string hex = Md5DigestToHex(whole);
  if (hex.size() != 32 || hex.find_first_not_of("0123456789abcdef") != std::string::npos)
    std::abort();
  return 0;
}
