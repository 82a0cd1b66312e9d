// A gateway route that closes or resets the connection at each point of the exchanges
// that matters. Which of two reports the probe gives can depend on whether the close
// notification or the next send comes first; either must lead to the same outcome.
#include <ostream>

#include "client/exchange/ExchangeFixture.h"

namespace zp::test {
namespace {

using sim::CloseStage;

struct Loss {
  const char* label;
  CloseStage stage;
  char mode;  // AfterLogin: the login mode whose reply is followed by the close
  // Profiling: r1 fails with one of these final texts. Key synchronisation: r1 is
  // given up with one of them (or, for a loss after the key, ends with one).
  std::vector<std::string> texts;
};
void PrintTo(const Loss& loss, std::ostream* os) { *os << loss.label; }

class ConnectionLossTest : public ExchangeFixture,
                           public ::testing::WithParamInterface<std::tuple<Loss, bool>> {
 protected:
  static bool StartsWithOneOf(const std::string& line, const std::vector<std::string>& texts) {
    for (const auto& t : texts)
      if (line.rfind(t, 0) == 0) return true;
    return false;
  }
  // The line after the countdown line of `who` that shows `state`.
  static std::string LineAfterState(const ProbeRun& run, const std::string& who, const std::string& state) {
    const int at = IndexOfState(run, who, state);
    return at >= 0 && static_cast<std::size_t>(at + 1) < run.lines.size() ? run.lines[static_cast<std::size_t>(at + 1)]
                                                                            : "<none>";
  }
};

const Loss kProfileLosses[] = {
    {"ProfileOnConnect", CloseStage::OnConnect, 0, {"SendCircuitLogin:  send() failed "}},
    {"ProfileAfterLogin", CloseStage::AfterLogin, 'P',
     {"TransmitDetail:  send() failed (", "Timeout waiting for heartbeat response"}},
    {"ProfileAfterDetails", CloseStage::AfterDetails, 0, {"Timeout waiting for heartbeat response"}},
};

const Loss kKeyLosses[] = {
    {"KeyAfterLogin", CloseStage::AfterLogin, 'K',
     {"SendPublicKey:  send() failed ", "No heartbeats received during wait for public key response"}},
    {"KeyDuringWait", CloseStage::DuringKeyWait, 0,
     {"SendHeartbeat:  send() failed ", "No heartbeats received during wait for public key response"}},
};

class ProfileLossTest : public ConnectionLossTest {};
class KeyLossTest : public ConnectionLossTest {};

// r1 fails profiling and is scored 25 whatever the close; r2 is unharmed.
TEST_P(ProfileLossTest, RouteScoresAsFailed) {
  const auto& [loss, reset] = GetParam();
  const std::string r1 = AddRoute({.close_stage = loss.stage, .close_with_reset = reset, .close_mode = loss.mode});
  const std::string r2 = AddRoute();
  const ProbeRun run = RunProbe();
  EXPECT_EQ(run.ScoreOf(r1), 25);
  EXPECT_EQ(run.ScoreOf(r2), 0);
  // At Exit the final text is traced right after the countdown line.
  const int final_line = IndexOfState(run, "r1 127.0.0.1", "Exit") + 1;
  ASSERT_GT(final_line, 0) << Dump(run);
  EXPECT_TRUE(StartsWithOneOf(run.lines[static_cast<std::size_t>(final_line)], loss.texts)) << Dump(run);
  EXPECT_TRUE(run.HasPrefix("PublicKey Request SUCCESS ")) << Dump(run);
  EXPECT_EQ(run.result_code, kResultSomeRoutesFailed);
  EXPECT_TRUE(run.halted);
}

// r1 profiles well but loses its key circuit: the synchronisation moves on to r2.
TEST_P(KeyLossTest, RouteIsGivenUpForTheNext) {
  const auto& [loss, reset] = GetParam();
  const std::string r1 = AddRoute({.close_stage = loss.stage, .close_with_reset = reset, .close_mode = loss.mode});
  const std::string r2 = AddRoute();
  const ProbeRun run = RunProbe();
  EXPECT_EQ(run.ScoreOf(r1), 0);
  EXPECT_TRUE(StartsWithOneOf(LineAfterState(run, "r1 0:127.0.0.1", "NextRoute"), loss.texts)) << Dump(run);
  const int r2_at = run.IndexOf("CurrentRoute(1) r2 " + AfterName(r2));
  ASSERT_GE(r2_at, 0) << Dump(run);
  EXPECT_GE(IndexOfPrefix(run, "PublicKey Request SUCCESS ", r2_at), 0);
  EXPECT_EQ(run.result_code, kResultSuccess);
  EXPECT_TRUE(run.halted);
}

std::string LossName(const ::testing::TestParamInfo<std::tuple<Loss, bool>>& p) {
  return std::string(std::get<0>(p.param).label) + (std::get<1>(p.param) ? "Reset" : "Close");
}
INSTANTIATE_TEST_SUITE_P(Closes, ProfileLossTest,
                         ::testing::Combine(::testing::ValuesIn(kProfileLosses), ::testing::Bool()), LossName);
INSTANTIATE_TEST_SUITE_P(Closes, KeyLossTest, ::testing::Combine(::testing::ValuesIn(kKeyLosses), ::testing::Bool()),
                         LossName);

// The key has arrived when the route goes: the test has its key, whether the logout
// still gets out (Complete) or fails on the closed socket (Error).
class KeyThenLossTest : public ExchangeFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(KeyThenLossTest, KeyCountsEvenWhenTheLogoutFails) {
  AddRoute({.close_stage = CloseStage::AfterKey, .close_with_reset = GetParam()});
  AddRoute();
  const ProbeRun run = RunProbe();
  ASSERT_TRUE(run.HasPrefix("PublicKey Request SUCCESS ")) << Dump(run);
  const int complete = IndexOfState(run, "r1 0:127.0.0.1", "Complete");
  const int error = IndexOfState(run, "r1 0:127.0.0.1", "Error");
  EXPECT_TRUE((complete >= 0) != (error >= 0)) << Dump(run);
  if (error >= 0) {
    const std::size_t final_line = static_cast<std::size_t>(error) + run.routes.size() + 1;
    ASSERT_LT(final_line, run.lines.size());
    EXPECT_EQ(run.lines[final_line], "SendCircuitLogout:  send() failed");
  }
  EXPECT_TRUE(ListedScores(run));
  EXPECT_FALSE(run.HasPrefix("CurrentRoute(1)"));
  EXPECT_EQ(run.result_code, kResultSuccess);
}

std::string CloseName(const ::testing::TestParamInfo<bool>& p) { return p.param ? "Reset" : "Close"; }
INSTANTIATE_TEST_SUITE_P(Closes, KeyThenLossTest, ::testing::Bool(), CloseName);

}  // namespace
}  // namespace zp::test
