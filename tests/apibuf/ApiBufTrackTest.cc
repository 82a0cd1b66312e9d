#include <gtest/gtest.h>

#include <memory>
#include <thread>
#include <vector>

#include "apibuf/ApiBuf.h"
#include "apibuf/ApiBufText.h"
#include "framework/MemTrack.h"

namespace zp {
namespace {

// One test: the first TApiBuf of the process must be the one that registers the class.
TEST(ApiBufTracking, FirstObjectRegistersThenCountsReturnToZero) {
  StartTracking();
  ASSERT_EQ(TApiBuf::TrackingSlot(), -1);
  {
    TApiBuf first;
    EXPECT_EQ(TApiBuf::TrackingSlot(), 0);
    const TrackSlot slot = TrackedSlot(0);
    EXPECT_EQ(slot.name, "ApiBuf");
    EXPECT_EQ(slot.count, 1);
    EXPECT_EQ(slot.bytes, static_cast<std::int32_t>(sizeof(TApiBuf)));
    EXPECT_EQ(first.ErrorIndicator, "");
    EXPECT_EQ(first.S017_01, "");
  }
  {
    std::vector<std::unique_ptr<TApiBuf>> three;
    for (int i = 0; i < 3; ++i) three.push_back(std::make_unique<TApiBuf>());
    EXPECT_EQ(TrackedSlot(0).count, 3);
    EXPECT_EQ(TrackedSlot(0).bytes, 3 * static_cast<std::int32_t>(sizeof(TApiBuf)));
  }
  EXPECT_EQ(TrackedSlot(0).count, 0);
  EXPECT_EQ(TrackedSlot(0).bytes, 0);

  // Records created and parsed on several threads at once share only the tracking table.
  ApiBufReply reply;
  reply.PublicKey = std::string(120, 'K');
  const std::string text = ComposeApiBufText(reply);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&text] {
      for (int i = 0; i < 50; ++i) {
        TApiBuf r;
        r.ParseBytes(static_cast<std::int32_t>(text.size()), text.data());
        EXPECT_EQ(r.S017_01.size(), 120u);
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(TrackedSlot(0).count, 0);
  EXPECT_EQ(TrackedSlot(0).bytes, 0);
  EXPECT_EQ(TrackedSlot(1).name, "") << "registered once";
}

}  // namespace
}  // namespace zp
