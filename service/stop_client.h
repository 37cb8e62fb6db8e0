#pragma once

// The core's stop routine, run by the service's stop handler: logs the stop
// banner and switches off the detection, update and heartbeat timers. The
// other timers keep their state and no socket is closed, since the process
// ends right after.
void StopClient();
