#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// The MD5 message digest of RFC 1321.
using TMd5Digest = std::array<std::uint8_t, 16>;

// The running state of one computation; a plain value owned by the caller.
struct DigestContext {
  std::uint32_t A, B, C, D;
  // Message bits processed so far, low word first.
  std::uint32_t CountLow, CountHigh;
  std::uint8_t Buffer[64];
};

// The digest of the text's bytes exactly as stored (no character-set conversion).
TMd5Digest Md5DigestOfText(const std::string& text);
// 32 lower-case hex digits.
std::string Md5DigestToHex(const TMd5Digest& digest);

void Md5Begin(DigestContext& context);
void Md5Feed(DigestContext& context, const void* bytes, std::size_t count);
// Gives the digest and wipes the context.
TMd5Digest Md5End(DigestContext& context);
// The 64-step transform of one 64-byte block into A, B, C, D.
void Md5CompressBlock(DigestContext& context, const std::uint8_t* block);
