#pragma once

// The part of Google Benchmark's interface that the Windows benchmark programs
// use, for the cross build, where no Windows build of the library exists. The
// programs include <benchmark/benchmark.h> instead wherever it is available.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace benchmark {

enum TimeUnit { kNanosecond, kMicrosecond, kMillisecond, kSecond };

class State {
public:
  explicit State(std::int64_t iterations) : iterations_(iterations) {}

  struct Iterator {
    State* state;
    std::int64_t left;
    bool operator!=(const Iterator& other) const
    {
      if (left != other.left)
        return true;
      state->Stop();
      return false;
    }
    void operator++() { --left; }
    struct __attribute__((unused)) Value {};
    Value operator*() const { return Value(); }
  };
  Iterator begin()
  {
    start_ = std::chrono::steady_clock::now();
    return Iterator{this, iterations_};
  }
  Iterator end() { return Iterator{this, 0}; }

  void SetBytesProcessed(std::int64_t bytes) { bytes_ = bytes; }
  void SetLabel(const std::string& label) { label_ = label; }
  void SkipWithError(const char* message) { error_ = message; }
  std::int64_t iterations() const { return iterations_; }

  std::map<std::string, double> counters;

  double Seconds() const { return seconds_; }
  std::int64_t Bytes() const { return bytes_; }
  const std::string& Label() const { return label_; }
  const std::string& Error() const { return error_; }

private:
  void Stop() { seconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count(); }
  std::int64_t iterations_;
  std::chrono::steady_clock::time_point start_;
  double seconds_ = 0;
  std::int64_t bytes_ = 0;
  std::string label_;
  std::string error_;
};

class Benchmark {
public:
  Benchmark(const char* name, void (*fn)(State&)) : name_(name), fn_(fn) {}
  Benchmark* Iterations(std::int64_t n)
  {
    iterations_ = n;
    return this;
  }
  Benchmark* Unit(TimeUnit unit)
  {
    unit_ = unit;
    return this;
  }
  Benchmark* UseRealTime() { return this; }

  void Run() const
  {
    State state(iterations_);
    fn_(state);
    if (!state.Error().empty()) {
      std::printf("%-40s ERROR: %s\n", name_.c_str(), state.Error().c_str());
      return;
    }
    const double perIteration = state.Seconds() / static_cast<double>(iterations_);
    const double scale[] = {1e9, 1e6, 1e3, 1};
    const char* units[] = {"ns", "us", "ms", "s"};
    std::printf("%-40s %12.1f %s %8lld", name_.c_str(), perIteration * scale[unit_], units[unit_],
                static_cast<long long>(iterations_));
    if (state.Bytes() > 0)
      std::printf("  bytes_per_second=%.1fMi/s", static_cast<double>(state.Bytes()) / state.Seconds() / 1048576.0);
    for (const auto& [key, value] : state.counters)
      std::printf("  %s=%g", key.c_str(), value);
    if (!state.Label().empty())
      std::printf("  %s", state.Label().c_str());
    std::printf("\n");
    std::fflush(stdout);
  }

private:
  std::string name_;
  void (*fn_)(State&);
  std::int64_t iterations_ = 1;
  TimeUnit unit_ = kNanosecond;
};

inline std::vector<Benchmark*>& Registry()
{
  static std::vector<Benchmark*> registry;
  return registry;
}

inline Benchmark* Register(const char* name, void (*fn)(State&))
{
  auto* b = new Benchmark(name, fn);
  Registry().push_back(b);
  return b;
}

inline void RunSpecifiedBenchmarks()
{
  std::printf("%-40s %15s %8s\n", "Benchmark", "Time", "Iter");
  for (const Benchmark* b : Registry())
    b->Run();
}

template <class T>
inline void DoNotOptimize(T const&)
{}

}  // namespace benchmark

#define KORVALIND_BENCH_CONCAT2(a, b) a##b
#define KORVALIND_BENCH_CONCAT(a, b) KORVALIND_BENCH_CONCAT2(a, b)
#define BENCHMARK(fn) \
  static ::benchmark::Benchmark* KORVALIND_BENCH_CONCAT(bench_registered_, __LINE__) = ::benchmark::Register(#fn, fn)
#define BENCHMARK_MAIN()                   \
  int main()                               \
  {                                        \
    ::benchmark::RunSpecifiedBenchmarks(); \
    return 0;                              \
  }
