#include "core/random_source.h"

#include <cstdint>

#include <windows.h>

void Randomize()
{
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  const std::uint64_t clock = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  // The counter and the process id tell apart two programs started in the
  // same clock tick (desktop client and service at logon).
  SetRandomState(clock ^ (static_cast<std::uint64_t>(counter.QuadPart) << 17) ^
                 (static_cast<std::uint64_t>(GetCurrentProcessId()) << 48));
}
