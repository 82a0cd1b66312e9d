#pragma once
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryRecord.h"
#include "run/RunRecord.h"

namespace zp {

// What a front end draws, as values: the session works every word out, the windows and
// the console only put them on the screen. Texts are UTF-8 with everything that came from
// the network or the operator already escaped (EscapeControls), so a front end shows them
// as they are.

// An ended run's result as the banner and its look show it.
enum class BannerKind { None, Success, SomeRoutesFailed, Failure, Stopped };

struct BannerView {
  BannerKind kind = BannerKind::None;
  std::string spaced;  // "S U C C E S S"
  std::string word;    // "SUCCESS"
  // The colour that repeats the words, for a light and for a dark background (0xRRGGBB):
  // each stays readable in either contrast.
  std::uint32_t on_light = 0;
  std::uint32_t on_dark = 0;
};

BannerView BannerOf(const RunSnapshot& run);

// The colour of failure, for a light and for a dark background (0xRRGGBB): the FAILURE
// banner's, and a failed line's beside its mark.
inline constexpr std::uint32_t kFailedOnLight = 0xA01010;
inline constexpr std::uint32_t kFailedOnDark = 0xFF8A8A;

// The three status lines and the progress of the followed test.
struct StatusView {
  std::string thread;  // the worker's name; the idle prompt before the first test
  std::string state;   // the worker's state ("UpdateRoutes")
  std::string phase;   // beside the state: the phase, route k of n, the wait counted down
  std::string status;  // the worker's status text
  bool progress_shown = false;
  int progress_value = 0;    // routes done
  int progress_maximum = 0;  // routes in all; 0 while the length of the phase is unknown (busy)
};

// One line of the results list: columns separated by tabs when drawn.
struct ResultLine {
  enum class Kind {
    Heading,  // the routes' column heads
    Route,
    Blank,
    Key,      // the public key's outcome
    Servers,  // the heading of the route servers asked
    Server,
    Steps,    // the heading of what to check next
    Step,     // one step: what it is about, a dash, the step
  };
  Kind kind = Kind::Route;
  std::vector<std::string> columns;  // one, or the heading's count for a route
  bool failed = false;               // a route that failed, a key not received
  std::string Text() const;          // the columns joined by tabs
};

// An ended test as the results window, the console and the report show it.
struct ResultsView {
  BannerView banner;
  bool compared = false;  // the change column was told against a history (else it holds dashes)
  std::vector<ResultLine> lines;
  std::string legend;     // what the score means; empty without routes
  // Beside the banner, what the banner does not tell about the key: when it failed, its
  // outcome ("Public key not received: …"), so that a key failure never hides under the
  // routes' result; when every route failed yet the key made the run a success, that
  // (kEveryRouteFailedNote). Else empty.
  std::string key_note;
  // Copy All: the banner's word, every line, the legend.
  std::string Text() const;
};

// An ended test: its record and what the session made of it.
struct EndedRun {
  RunSnapshot run;
  ResultsView results;
  // Each route's previous score with the same settings, before this run; none when no
  // history is kept or it could not be read.
  std::optional<PreviousScores> previous;
  bool recorded = false;
  std::string record_error;  // why it could not be recorded; empty when it was or none is kept
  std::vector<std::string> trace;  // the test's trace lines as listed, for the report
  std::size_t trace_left_out = 0;  // lines past the kept bound
};

// A test as it starts, for the trace: the line that separates it from the test before,
// and the head line a copied or saved trace gives it.
struct TestStart {
  int number = 0;  // from 1 in this session
  RunSettings settings;
  std::string line;     // "Test 2 started 22:31:05 — 127.0.0.1:6900, route code A"
  std::string heading;  // "Test 2 started 2026-12-08 22:31:05: server 127.0.0.1, port 6900 (26880), route code A"
};

TestStart MakeTestStart(int number, const RunSettings& settings, std::time_t when);

// What a poll hands out.
struct SessionView {
  bool running = false;     // a test is under way (Test is refused meanwhile)
  bool test_enabled = true;
  bool stop_enabled = false;
  StatusView status;
  BannerView banner;        // the last ended test's, until the next test starts
  // Set on the one poll that saw the followed test end.
  std::optional<EndedRun> ended;
};

}  // namespace zp
