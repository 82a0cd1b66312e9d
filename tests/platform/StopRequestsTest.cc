// The stop requests of a POSIX program, each in a child process of its own (the handlers
// stay for the rest of a process): the first request of any of the three signals is noted
// by name and wakes the wait, a second ends the program as the signal would, and a write to
// a closed pipe is an error rather than the end.
#include "platform/StopRequests.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace zp {
namespace {

TEST(StopRequestsDeathTest, TheFirstIsNotedTheSecondEndsTheProgram) {
  for (const auto& [sig, name] : {std::pair{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}, {SIGHUP, "SIGHUP"}}) {
    SCOPED_TRACE(name);
    EXPECT_EXIT(
        {
          CatchStopRequests();
          if (StopRequested() || WaitForStopRequest(0.05)) _exit(1);
          raise(sig);
          const auto t0 = std::chrono::steady_clock::now();
          if (!WaitForStopRequest(10) || std::chrono::steady_clock::now() - t0 > std::chrono::seconds(1)) _exit(2);
          if (std::strcmp(StopRequestName(), name) != 0) _exit(3);
          raise(sig == SIGTERM ? SIGINT : SIGTERM);
          _exit(4);
        },
        ::testing::KilledBySignal(sig == SIGTERM ? SIGINT : SIGTERM), "");
  }
}

TEST(StopRequestsDeathTest, AClosedPipeIsAWriteError) {
  EXPECT_EXIT(
      {
        CatchStopRequests();
        int ends[2];
        if (pipe(ends) != 0) _exit(1);
        close(ends[0]);
        const bool failed = write(ends[1], "x", 1) < 0 && errno == EPIPE;
        _exit(failed && !StopRequested() ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace zp
