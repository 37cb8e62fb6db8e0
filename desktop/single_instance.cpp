#include "desktop/single_instance.h"

#include <cstdlib>

HANDLE SingleInstanceHandle = nullptr;

namespace {

const char* const MutexName = "Korvalind";

// Closes the handle at the normal end of the process, including the early
// exit of a second instance (std::exit runs static destructors).
struct TMutexFinalization {
  ~TMutexFinalization()
  {
    if (SingleInstanceHandle != nullptr) {
      CloseHandle(SingleInstanceHandle);
      SingleInstanceHandle = nullptr;
    }
  }
} MutexFinalization;

}  // namespace

void SingleInstanceMutex()
{
  // Only the answer of this call may count, not an error left over from the
  // start of the process.
  SetLastError(ERROR_SUCCESS);
  SingleInstanceHandle = CreateMutexA(nullptr, TRUE, MutexName);
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    MessageBoxA(nullptr, "Anwendung läuft bereits.", "Korvalind", MB_OK | MB_ICONINFORMATION | MB_TASKMODAL);
    std::exit(0);
  }
}
