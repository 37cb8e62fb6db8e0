#include <benchmark/benchmark.h>

#include <openssl/evp.h>

#include <string>

#include "core/md5.h"

namespace {

std::string Message(std::size_t size)
{
  std::string text(size, '\0');
  for (std::size_t i = 0; i < size; ++i)
    text[i] = static_cast<char>(i * 131 + 7);
  return text;
}

void BM_Md5(benchmark::State& state)
{
  const std::string text = Message(static_cast<std::size_t>(state.range(0)));
  for (auto _ : state) {
    TMd5Digest digest = Md5DigestOfText(text);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

void BM_OpenSslMd5(benchmark::State& state)
{
  const std::string text = Message(static_cast<std::size_t>(state.range(0)));
  const EVP_MD* md5 = EVP_md5();
  for (auto _ : state) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest, &length, md5, nullptr);
    benchmark::DoNotOptimize(digest);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}

// 32 bytes: the stored password digest the update request hashes; 1 MiB: bulk throughput.
BENCHMARK(BM_Md5)->Arg(32)->Arg(1 << 20);
BENCHMARK(BM_OpenSslMd5)->Arg(32)->Arg(1 << 20);

}  // namespace
