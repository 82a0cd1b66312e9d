#include <gtest/gtest.h>

#include "framework/ZTimer.h"
#include "platform/Event.h"
#include "platform/Tick.h"

namespace zp {
namespace {

class TimerTest : public ::testing::Test {
 protected:
  void TearDown() override { testing::ResetClock(); }
  static void At(std::uint32_t tick) { testing::SetTickNow(tick); }
};

TEST_F(TimerTest, ZeroSecondsExpiresElevenMillisecondsAfterStart) {
  testing::FreezeAt(1000);
  ZTimer t;
  t.StartSeconds(0);
  At(1010);
  EXPECT_FALSE(t.Expired());
  At(1011);
  EXPECT_TRUE(t.Expired());
}

TEST_F(TimerTest, NewTimerExpiresOneMillisecondAfterCreation) {
  testing::FreezeAt(500);
  ZTimer t;
  EXPECT_FALSE(t.Expired());
  At(501);
  EXPECT_TRUE(t.Expired());
}

// A deadline that straddles the wrap at 2^32 and one that straddles the sign change
// halfway both expire exactly 20011 ms after the start.
TEST_F(TimerTest, TwentySecondsAcrossWrapAndSignChange) {
  for (const std::uint32_t start : {0xFFFFFFFFu - 5000u, 0x7FFFFFFFu - 5000u}) {
    SCOPED_TRACE(start);
    testing::FreezeAt(start);
    ZTimer t;
    t.StartSeconds(20);
    At(start + 10000u);
    EXPECT_FALSE(t.Expired());
    At(start + 20010u);
    EXPECT_FALSE(t.Expired()) << "at the deadline itself";
    At(start + 20011u);
    EXPECT_TRUE(t.Expired());
    At(start + 0x70000000u);
    EXPECT_TRUE(t.Expired()) << "long after, still expired";
  }
}

TEST_F(TimerTest, MillisecondsAndFieldsUseThePlatformCounter) {
  testing::FreezeAt(0xFFFFFFF0u);
  ZTimer t;
  t.StartMilliseconds(65535);
  EXPECT_EQ(static_cast<std::uint32_t>(t.StartTick()), 0xFFFFFFF0u);
  EXPECT_EQ(static_cast<std::uint32_t>(t.ExpireTick()), 0xFFFFFFF0u + 65535u);
  At(0xFFFFFFF0u + 65535u);
  EXPECT_FALSE(t.Expired());
  At(0xFFFFFFF0u + 65536u);
  EXPECT_TRUE(t.Expired());
}

TEST_F(TimerTest, RunningCounterWrapsAndScales) {
  testing::SetTimeScale(1000.0);
  // 200 scaled seconds before the wrap: 200 real milliseconds of margin.
  testing::SetTickNow(0xFFFFFFFFu - 200000u);
  const std::uint32_t before = GetTickCount();
  Event never(Event::Reset::Auto);
  never.Wait(400000);  // 400 scaled seconds: 400 real milliseconds
  const std::uint32_t after = GetTickCount();
  EXPECT_LT(after, before) << "the counter wrapped through 0";
  EXPECT_GE(after - before, 400000u);
}

}  // namespace
}  // namespace zp
