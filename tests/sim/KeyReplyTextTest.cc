#include "KeyReplyText.h"

#include <gtest/gtest.h>

#include "DetailTracker.h"
#include "apibuf/CoreApiBuf.h"

namespace zp::sim {
namespace {

std::string Missing(std::int32_t expected, std::initializer_list<int> received) {
  DetailTracker t;
  t.Reset(expected);
  for (int n : received) t.Record(n);
  return t.MissingRanges();
}

TEST(DetailTrackerTest, MissingNumbersBecomeRanges) {
  std::initializer_list<int> all = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25};
  EXPECT_EQ(Missing(25, all), "");
  EXPECT_EQ(Missing(25, {}), "1-25");
  EXPECT_EQ(Missing(10, {1, 2, 4, 5, 6, 10}), "3,7-9");
  EXPECT_EQ(Missing(3, {2}), "1,3");
  // Repeats and numbers outside the login's range count for nothing.
  EXPECT_EQ(Missing(3, {0, 2, 2, 4, -1}), "1,3");
  DetailTracker t;
  t.Reset(3);
  for (int n : {3, 3, 1}) t.Record(n);
  EXPECT_FALSE(t.Complete());
  t.Record(2);
  EXPECT_TRUE(t.Complete());
}

TEST(KeyReplyTextTest, KeysAreFieldSafeAndLargestFillsTheDataPart) {
  const std::string key = SimulatedKey(300);
  ASSERT_EQ(key.size(), 300u);
  for (char c : key) EXPECT_TRUE(c > ' ' && c < 127) << int(c);

  for (int length : {0, 1, 128, 1000, kMaxKeyLength}) {
    SCOPED_TRACE(length);
    RouteConfig config;
    config.key_reply = KeyReplyKind::Largest;
    config.key_length = length;
    const std::string data = KeyReplyData(config);
    EXPECT_EQ(data.size(), 5320u);
    TCoreApiBuf record;
    record.Parse(data);
    EXPECT_EQ(record.ErrorIndicator, "N");
    EXPECT_EQ(record.ErrorCode, 0);
    EXPECT_EQ(record.S017_01, SimulatedKey(length));
  }
}

TEST(KeyReplyTextTest, ErrorReplyCarriesSection999) {
  RouteConfig config;
  config.key_reply = KeyReplyKind::ErrorIndicator;
  config.key_error_text = "Gateway key store offline";
  TCoreApiBuf record;
  record.Parse(KeyReplyData(config));
  EXPECT_EQ(record.ErrorIndicator, "Y");
  EXPECT_EQ(record.ErrorText, "Gateway key store offline");
  EXPECT_TRUE(record.S017_01.empty());
}

}  // namespace
}  // namespace zp::sim
