#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zp::sim {

// The detail records of one profiling login: which of the numbers 1..expected arrived,
// and the heartbeat text that lists the ones that did not ("3,7-9"), so that a healthy
// route reports nothing.
class DetailTracker {
 public:
  // A login announces at most a 4-digit record count.
  static constexpr int kMaxRecords = 9999;

  // Starts over for a login that announced `expected` records (cut to 0..kMaxRecords).
  void Reset(std::int32_t expected);
  // Notes record `number`; numbers outside 1..expected and repeats change nothing.
  void Record(std::int32_t number);
  bool Complete() const { return FReceived == static_cast<int>(FSeen.size()); }
  int Received() const { return FReceived; }
  // The missing numbers as a comma-separated list, runs of two or more as "a-b".
  std::string MissingRanges() const;

 private:
  std::vector<bool> FSeen;
  int FReceived = 0;
};

}  // namespace zp::sim
