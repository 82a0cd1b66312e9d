#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/MessageQueue.h"
#include "platform/Tick.h"

// A wait that signals keep interrupting still ends when its time is up: each resumed
// poll waits only for what is left, never the whole time again.
namespace zp {
namespace {

TEST(MessageQueueSignalTest, AnInterruptedWaitStillEndsOnTime) {
  testing::ResetClock();
  struct sigaction quiet{};
  quiet.sa_handler = [](int) {};
  sigemptyset(&quiet.sa_mask);
  quiet.sa_flags = 0;  // no SA_RESTART: poll returns EINTR
  struct sigaction old{};
  ASSERT_EQ(sigaction(SIGUSR1, &quiet, &old), 0);

  const pthread_t waiter = pthread_self();
  std::atomic<bool> waiting{true};
  std::thread interrupter([&] {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (waiting && std::chrono::steady_clock::now() < give_up) {
      pthread_kill(waiter, SIGUSR1);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  const auto start = std::chrono::steady_clock::now();
  const int result = MessageQueue::ForThisThread().Wait({}, 300);
  const auto took = std::chrono::steady_clock::now() - start;
  waiting = false;
  interrupter.join();
  sigaction(SIGUSR1, &old, nullptr);

  EXPECT_EQ(result, MessageQueue::kWaitTimeout);
  EXPECT_GE(took, std::chrono::milliseconds(290));
  EXPECT_LT(took, std::chrono::milliseconds(1500)) << "the interruptions must not restart the wait";
}

}  // namespace
}  // namespace zp
