#include <gtest/gtest.h>

#include "framework/MemTrack.h"

namespace zp {
namespace {

class MemTrackTest : public ::testing::Test {
 protected:
  void SetUp() override { StartTracking(); }
};

TEST_F(MemTrackTest, SameNameSameSlotAndCountsReturnToZero) {
  const int slot = RegisterTrackedClass("ApiBuf");
  EXPECT_EQ(slot, 0);
  EXPECT_EQ(RegisterTrackedClass("ApiBuf"), 0);
  for (int i = 0; i < 3; ++i) TrackCreate(slot, 100);
  EXPECT_EQ(TrackedSlot(slot).count, 3);
  EXPECT_EQ(TrackedSlot(slot).bytes, 300);
  for (int i = 0; i < 3; ++i) TrackDestroy(slot, 100);
  EXPECT_EQ(TrackedSlot(slot).count, 0);
  EXPECT_EQ(TrackedSlot(slot).bytes, 0);
}

TEST_F(MemTrackTest, OutOfRangeSlotsChangeNothing) {
  const int slot = RegisterTrackedClass("A");
  TrackCreate(64, 10);
  TrackCreate(-1, 10);
  TrackDestroy(64, 10);
  EXPECT_EQ(TrackedSlot(slot).count, 0);
  EXPECT_EQ(TrackedSlot(63).count, 0);
}

TEST_F(MemTrackTest, SixtyFourNamesFillTheTable) {
  for (int i = 0; i < 64; ++i) EXPECT_EQ(RegisterTrackedClass("class" + std::to_string(i)), i);
  EXPECT_EQ(RegisterTrackedClass("one too many"), -1);
  EXPECT_EQ(RegisterTrackedClass("class17"), 17);
}

TEST_F(MemTrackTest, EmptyNameFindsFirstFreeSlotWithoutTakingIt) {
  EXPECT_EQ(RegisterTrackedClass("x"), 0);
  EXPECT_EQ(RegisterTrackedClass(""), 1);
  EXPECT_EQ(RegisterTrackedClass("y"), 1);
}

TEST_F(MemTrackTest, LongNamesAreCutAndDoNotMatchLater) {
  const std::string longName(25, 'L');
  EXPECT_EQ(RegisterTrackedClass(longName), 0);
  EXPECT_EQ(TrackedSlot(0).name, std::string(20, 'L'));
  EXPECT_EQ(RegisterTrackedClass(longName), 1) << "the stored name is cut, so no match";
}

TEST(ZMTCriticalSection, NameCutToEight) {
  ZMTCriticalSection cs("mem.cs.longer");
  EXPECT_EQ(cs.Name(), "mem.cs.l");
  cs.Enter();
  cs.Enter();  // recursive
  cs.Leave();
  cs.Leave();
}

}  // namespace
}  // namespace zp
