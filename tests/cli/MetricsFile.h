#pragma once
// A Prometheus textfile written by zelvan-probe-cli, checked against the JSON document of
// the same kind of run and by promtool.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "cli/Promtool.h"

namespace zp::test {

inline std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The textfile says what the document says: up, the result, each route's numbers, the
// key, stopped.
inline void ExpectMetricsMatchDocument(const std::filesystem::path& textfile, const nlohmann::json& doc) {
  using ::testing::HasSubstr;
  ASSERT_TRUE(std::filesystem::exists(textfile)) << textfile;
  const std::string text = ReadWhole(textfile);
  const PromtoolVerdict verdict = PromtoolCheck(textfile);
  EXPECT_EQ(verdict.status, 0) << verdict.output << "\n" << text;
  const bool stopped = doc["stopped"].get<bool>();
  EXPECT_THAT(text, HasSubstr(std::string("\nzelvan_probe_up ") + (stopped ? "0" : "1") + "\n"));
  EXPECT_THAT(text, HasSubstr("\nzelvan_probe_result{banner=\"" + doc["banner"].get<std::string>() + "\"} " +
                              std::to_string(doc["exit_status"].get<int>()) + "\n"));
  for (const auto& route : doc["routes"]) {
    const std::string labels = "{route=\"" + route["name"].get<std::string>() + "\",address=\"" +
                               route["address"].get<std::string>() + ":" +
                               std::to_string(route["port"].get<int>()) + "\"} ";
    // A route without a score has no score sample, and says so.
    if (route["score"].is_null())
      EXPECT_THAT(text, ::testing::Not(HasSubstr("\nzelvan_probe_route_score" + labels)));
    else
      EXPECT_THAT(text, HasSubstr("\nzelvan_probe_route_score" + labels + std::to_string(route["score"].get<int>())));
    EXPECT_THAT(text, HasSubstr("\nzelvan_probe_route_scored" + labels + (route["score"].is_null() ? "0" : "1")));
    // The outcome label holds the document's code.
    std::string outcome = labels;
    outcome.insert(outcome.size() - 2, ",outcome=\"" + route["outcome_code"].get<std::string>() + "\"");
    EXPECT_THAT(text, HasSubstr("\nzelvan_probe_route_outcome" + outcome + "1\n"));
    EXPECT_THAT(text, HasSubstr("\nzelvan_probe_route_failed" + labels + (route["failed"].get<bool>() ? "1" : "0")));
    EXPECT_THAT(text, HasSubstr("\nzelvan_probe_route_profile_seconds" + labels));
  }
  EXPECT_THAT(text, HasSubstr(std::string("\nzelvan_probe_key_ok ") + (doc["key"]["outcome"] == "received" ? "1" : "0")));
  EXPECT_THAT(text, HasSubstr(std::string("\nzelvan_probe_stopped ") + (stopped ? "1" : "0") + "\n"));
  EXPECT_THAT(text, HasSubstr("\nzelvan_probe_run_outcome{outcome=\"" + doc["outcome_code"].get<std::string>() + "\"} 1\n"));
  EXPECT_THAT(text, HasSubstr("\nzelvan_probe_key_outcome{outcome=\"" + doc["key"]["outcome_code"].get<std::string>() +
                              "\"} 1\n"));
}

}  // namespace zp::test
