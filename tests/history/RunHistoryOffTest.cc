#include <gtest/gtest.h>

#include "history/RunHistory.h"

namespace zp {
namespace {

// A build without a store says so on every call instead of pretending to keep runs.
TEST(RunHistoryOffTest, EveryCallSaysHistoryIsNotAvailable) {
  EXPECT_FALSE(RunHistory::Available());
  RunHistory history("/nonexistent/history.db");
  HistoryRun run;
  EXPECT_FALSE(history.Record(run));
  EXPECT_EQ(history.LastError(), "history is not available in this build");
  EXPECT_FALSE(history.Recent(20).has_value());
  EXPECT_FALSE(history.LastWith(RunSettings{}).has_value());
  EXPECT_FALSE(history.Count().has_value());
  EXPECT_EQ(run.id, 0);
}

}  // namespace
}  // namespace zp
