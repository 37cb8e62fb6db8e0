#pragma once

#include <windows.h>

// The desktop client runs at most once per logon session: the first instance
// holds the named mutex "Korvalind" for its whole run.

// The mutex handle, kept open until the process ends; 0 when the creation
// failed (the start then goes on unguarded).
extern HANDLE SingleInstanceHandle;

// Claims the mutex before anything else of the program exists. A second
// instance shows "Anwendung läuft bereits." and ends with exit code 0; the
// running one is not disturbed. The handle is closed when the process ends.
void SingleInstanceMutex();
