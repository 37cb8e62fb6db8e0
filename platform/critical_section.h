#pragma once

#include <windows.h>

// A process-wide lock over a Win32 critical section: the thread that holds it
// may take it again, which the Winsock binding relies on (resolving an entry
// point loads the library under the same lock). Taken with std::lock_guard.
class TCriticalSection {
public:
  TCriticalSection() { InitializeCriticalSection(&section_); }
  ~TCriticalSection() { DeleteCriticalSection(&section_); }
  TCriticalSection(const TCriticalSection&) = delete;
  TCriticalSection& operator=(const TCriticalSection&) = delete;

  void lock() { EnterCriticalSection(&section_); }
  void unlock() { LeaveCriticalSection(&section_); }

private:
  CRITICAL_SECTION section_;
};
