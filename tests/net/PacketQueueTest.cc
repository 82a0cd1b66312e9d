#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

#include "framework/Errors.h"
#include "net/ProbeLargePacketQueue.h"
#include "platform/Tick.h"

namespace zp {
namespace {

std::vector<std::uint8_t> Bytes(int n) {
  std::vector<std::uint8_t> b(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) b[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i * 7 + 1);
  return b;
}

template <typename E>
std::string MessageOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "(nothing raised)";
}

// The lock must be free again: another thread can append (a held lock would hang the
// join, which ctest's time-out reports).
bool LockIsFree(ZLargePacketQueueControl& q) {
  const int before = q.Count();
  std::thread t([&q] { AppendBlock(q, "probe", 1, "x"); });
  t.join();
  return q.Count() == before + 1;
}

TEST(PacketQueue, AppendBlockSplitsAtTheBlockSize) {
  ZLargePacketQueueControl q("Rx");
  const std::vector<std::uint8_t> data = Bytes(5153 + 5152);
  AppendBlock(q, "rx", 0, data.data());
  AppendBlock(q, "rx", -5, data.data());
  EXPECT_EQ(q.Count(), 0);

  const std::uint32_t before = GetTickCount();
  AppendBlock(q, "rx", 5152, data.data());
  ASSERT_EQ(q.Count(), 1);
  const ZLargePacketQueueEntry* e = q.GetEntry(0);
  EXPECT_EQ(e->FLength, 5152);
  EXPECT_EQ(e->FEntryState, 'A');
  EXPECT_EQ(e->EntryName(), "rx");
  EXPECT_FALSE(TickPassed(before, e->FTime));
  EXPECT_EQ(std::memcmp(e->FData.data(), data.data(), 5152), 0);
  EXPECT_EQ(e->FData[5152], kEntryDataFill) << "the rest of the data area keeps its fill";
  q.DeleteEntry(0);
  EXPECT_EQ(q.Count(), 0);

  AppendBlock(q, "rx", 5153, data.data());
  ASSERT_EQ(q.Count(), 2);
  EXPECT_EQ(q.GetEntry(0)->FLength, 5152);
  EXPECT_EQ(q.GetEntry(1)->FLength, 1);
  EXPECT_EQ(q.GetEntry(1)->FData[0], data[5152]);
}

TEST(PacketQueue, AppendPacketKeepsTheLongestPacketWhole) {
  ZLargePacketQueueControl q("Rx");
  static_assert(kMaxPacketData == 5863);
  const std::vector<std::uint8_t> data = Bytes(kMaxPacketData + 1);
  AppendPacket(q, "rx", kMaxPacketData, data.data());
  ASSERT_EQ(q.Count(), 1);
  EXPECT_EQ(q.GetEntry(0)->FLength, kMaxPacketData);
  EXPECT_EQ(std::memcmp(q.GetEntry(0)->FData.data(), data.data(), kMaxPacketData), 0);
  q.DeleteEntry(0);  // the guard words survived a full data area

  AppendPacket(q, "rx", kMaxPacketData + 1, data.data());
  ASSERT_EQ(q.Count(), 2);
  EXPECT_EQ(q.GetEntry(1)->FLength, 1);
}

TEST(PacketQueue, LongNamesAreCutInTheEntryOnly) {
  ZLargePacketQueueControl q("Rx");
  AppendBlock(q, "abcdefghijklmnopqrst", 3, "abc");
  EXPECT_EQ(q.GetEntry(0)->EntryName(), "abcdefghijklmn");
  EXPECT_EQ(q.ItemName(0), "abcdefghijklmnopqrst");
  EXPECT_EQ(ZLargePacketQueueEntry().EntryName(), std::string(14, '\xCA'))
      << "a fresh entry's name is its fill";
}

TEST(PacketQueue, MisuseRaisesAndReleasesTheLock) {
  ZLargePacketQueueControl q("Rx");
  EXPECT_EQ(MessageOf<EUnderflow>([&] { q.GetEntry(0); }), "Underflow on Rx Want0 Count0");
  EXPECT_TRUE(LockIsFree(q));
  EXPECT_EQ(MessageOf<std::out_of_range>([&] { q.GetEntry(-1); }), "List index out of bounds (-1)")
      << "only the upper bound is the queue's own check";
  EXPECT_EQ(MessageOf<EUnderflow>([&] { q.DeleteEntry(-1); }),
            "Over/Underflow on Rx  index =-1 count =1");
  EXPECT_EQ(MessageOf<EUnderflow>([&] { q.DeleteEntry(1); }),
            "Over/Underflow on Rx  index =1 count =1");
  EXPECT_EQ(MessageOf<EUnderflow>([&] { q.GetEntry(1); }), "Underflow on Rx Want1 Count1");
  EXPECT_TRUE(LockIsFree(q));
}

// Writes `n` bytes from the start of FData through the entry's own bytes, as a faulty
// copy into the data area would.
void Scribble(ZLargePacketQueueEntry* e, std::size_t n) {
  auto* raw = reinterpret_cast<unsigned char*>(e);
  std::memset(raw + offsetof(ZLargePacketQueueEntry, FData), 0x55, n);
}

TEST(PacketQueue, WritePastTheDataIsCaughtAtDelete) {
  ZLargePacketQueueControl q("Rx");
  AppendBlock(q, "rx", 10, "0123456789");
  AppendBlock(q, "rx", 2, "ok");
  ZLargePacketQueueEntry* e = q.GetEntry(0);
  Scribble(e, offsetof(ZLargePacketQueueEntry, FTrailSignature) + 4 -
                  offsetof(ZLargePacketQueueEntry, FData));
  EXPECT_EQ(MessageOf<EInvalidOp>([&] { q.DeleteEntry(0); }), "trailing signature corrupted");
  EXPECT_EQ(q.Count(), 2) << "a corrupted entry is not released";
  EXPECT_EQ(q.GetEntry(1)->FLength, 2);
  EXPECT_EQ(q.GetEntry(0)->FEntryState, 'x');
  EXPECT_TRUE(LockIsFree(q));
  // Destroying the queue frees it all the same, without raising.
}

TEST(PacketQueue, ChangedLeadingGuardIsCaught) {
  ZLargePacketQueueControl q("Rx");
  AppendBlock(q, "rx", 1, "a");
  q.GetEntry(0)->FLeadSignature = 0;
  EXPECT_EQ(MessageOf<EInvalidOp>([&] { q.DeleteEntry(0); }), "leading signature corrupted");
}

TEST(PacketQueue, OneThreadAppendsWhileAnotherTakes) {
  ZLargePacketQueueControl q("Rx");
  constexpr int kBlocks = 2000;
  std::thread producer([&q] {
    for (int i = 0; i < kBlocks; ++i) AppendBlock(q, "rx", sizeof i, &i);
  });
  std::vector<int> got;
  while (static_cast<int>(got.size()) < kBlocks) {
    if (q.Count() == 0) {
      std::this_thread::yield();
      continue;
    }
    const ZLargePacketQueueEntry* e = q.GetEntry(0);
    int value;
    ASSERT_EQ(e->FLength, static_cast<int>(sizeof value));
    std::memcpy(&value, e->FData.data(), sizeof value);
    got.push_back(value);
    q.DeleteEntry(0);
  }
  producer.join();
  std::vector<int> expected(kBlocks);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace zp
