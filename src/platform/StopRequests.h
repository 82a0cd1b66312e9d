#pragma once

// The requests to end a program from outside: SIGTERM, SIGINT and SIGHUP on POSIX systems
// (StopRequests.cc); Ctrl+C, Ctrl+Break and the console's close, log-off and shut-down
// events on Windows (StopRequests_win.cc). The first request is noted, for the program to
// end in order (a service manager stops a unit with SIGTERM, a terminal that closes sends
// SIGHUP); a second one ends the program at once, as the request would have done without
// this. SIGPIPE is ignored: a write to a closed pipe fails as an error the program reports,
// instead of ending it without a word.
namespace zp {

// Call first in main, before any other thread exists.
void CatchStopRequests();

// The first request's name ("SIGTERM", "Ctrl+C"), or null while none has come. Any thread.
const char* StopRequestName();
inline bool StopRequested() { return StopRequestName() != nullptr; }

// Returns true on a stop request (at once when one has come already), false after
// `seconds` without one; `seconds` 0 or below waits for ever.
bool WaitForStopRequest(double seconds);

// The orderly end is done. Where the system ends the process as soon as its request is
// answered (a closed console window), the answer waits for this.
void StopRequestDone();

}  // namespace zp
