// Builds every SOCKS request from arbitrary texts and checks each against its
// wire layout: a request that fits carries its texts where the relay reads
// them, one that does not is spoiled, and the size check says the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/socks_messages.h"

namespace {

void Check(bool condition)
{
  if (!condition)
    std::abort();
}

bool Carries(const TSocksMessage& message, int at, const std::string& text)
{
  return at + static_cast<int>(text.size()) <= message.Length() &&
         std::memcmp(message.Data() + at, text.data(), text.size()) == 0;
}

// A built request against its expected length; the check's text against
// whether it was spoiled.
void CheckFit(const TSocksMessage& message, std::size_t expected, const std::string& oversized)
{
  const bool fits = expected <= static_cast<std::size_t>(TSocksMessage::kCapacity);
  Check(message.Spoiled() != fits);
  Check(oversized.empty() == fits);
  Check(message.Spoiled() || message.Length() == static_cast<int>(expected));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  // Two texts, split at the first zero byte (or at the end).
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string first = input.substr(0, split);
  const std::string second = split == std::string::npos ? std::string() : input.substr(split + 1);
  const bool noZero = second.find('\0') == std::string::npos;

  const TSocksMessage socks4 = Socks4ConnectRequest(1080, 0x0100007f, first);
  CheckFit(socks4, 9 + first.size(), OversizedSocks4Request(first));
  Check(socks4.Spoiled() || Carries(socks4, 8, first));

  if (noZero) {
    const TSocksMessage socks4A = Socks4AConnectRequest(1080, first, second);
    CheckFit(socks4A, 10 + first.size() + second.size(), OversizedSocks4ARequest(first, second));
    Check(socks4A.Spoiled() || Carries(socks4A, 9 + static_cast<int>(first.size()), second));
  }

  const TSocksMessage socks5 = Socks5ConnectRequest(first, 443);
  CheckFit(socks5, 7 + first.size(), OversizedSocks5Request(first));
  Check(socks5.Spoiled() || (socks5.Data()[4] == first.size() && Carries(socks5, 5, first)));

  const TSocksMessage credentials = Socks5Credentials(first, second);
  CheckFit(credentials, 3 + first.size() + second.size(), OversizedSocks5Credentials(first, second));
  if (!credentials.Spoiled()) {
    const int passwordAt = 2 + static_cast<int>(first.size());
    Check(credentials.Data()[1] == first.size() && Carries(credentials, 2, first));
    Check(credentials.Data()[passwordAt] == second.size() && Carries(credentials, passwordAt + 1, second));
  }
  return 0;
}
