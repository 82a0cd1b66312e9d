#pragma once
#include <cstdint>

namespace zp {

// The fixed numbers of a test: what the worker's exchanges wait for and send, and what
// the words shown for a run quote back. One place, so that "did not answer within 40 s"
// cannot drift from the wait it describes.

// The fixed numbers of a test that every exchange reads.
struct ExchangeSettings {
  std::int32_t FDetailBlocks = 2;      // pattern blocks per detail record
  std::int32_t FDetailBlockSize = 97;  // characters per block
  std::int32_t FDetailRecords = 25;    // records per profile; also the score of a failed route
  std::int32_t FClientId = 1;
  std::int32_t FClientSubId = 1;
};

// Result codes of one test.
inline constexpr std::int32_t kResultFailure = 0;
inline constexpr std::int32_t kResultSuccess = 1;
inline constexpr std::int32_t kResultSomeRoutesFailed = 2;

// A route server's answer is awaited this long.
inline constexpr std::uint32_t kRouteServerAnswerMs = 40000;
// Empty lists are asked for again this long apart, this many rounds in all.
inline constexpr std::uint16_t kRouteRetrySeconds = 20;
inline constexpr std::int32_t kRouteRounds = 2;
// A login reply is awaited this long, and a login is sent this many times in all; the
// heartbeat after the detail records must come within the last login's wait too.
inline constexpr std::uint32_t kLoginReplyMs = 5000;
inline constexpr int kLoginAttempts = 3;
// The public key is awaited this long after its request.
inline constexpr std::uint32_t kPublicKeyWaitMs = 10000;

// Waits longer than this are part of the run record, so that front ends count them down;
// shorter ones (the pauses between steps, the pause before a blocked send is tried again)
// are over before a countdown could show.
inline constexpr std::uint32_t kShortestCountedWaitMs = 2000;

}  // namespace zp
