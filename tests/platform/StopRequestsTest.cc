// The stop requests of a POSIX program, each in a child process of its own (the handlers
// stay for the rest of a process): the first request of any of the three signals is noted
// by name and wakes the wait, and a second ends the program as the signal would.
#include "platform/StopRequests.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

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

}  // namespace
}  // namespace zp
