#pragma once

// The requests to end the program from outside: SIGINT and SIGTERM on POSIX systems
// (StopRequests.cc), Ctrl+C, Ctrl+Break and the console's close, log-off and shut-down
// events on Windows (StopRequests_win.cc).
namespace zp::sim {

// Call first in main, before any other thread exists: from then on a request waits for
// WaitForStopRequest instead of ending the program at once.
void CatchStopRequests();

// Returns on a stop request, or after `seconds` when above 0.
void WaitForStopRequest(double seconds);

// The orderly end is done. Where the system ends the process as soon as its request is
// answered (a closed console window), the answer waits for this.
void StopRequestDone();

}  // namespace zp::sim
