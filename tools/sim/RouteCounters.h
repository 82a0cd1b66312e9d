#pragma once
#include <atomic>
#include <cstdint>

namespace zp::sim {

// What a test can read about one gateway route while the simulator runs.
struct RouteStats {
  int connections = 0;
  int logins = 0;        // of any mode
  int profile_logins = 0;
  int key_logins = 0;
  int details = 0;
  int key_requests = 0;
  int heartbeats = 0;    // received from the client
  int logouts = 0;
  std::int32_t last_login_sequence = 0;
  std::int32_t last_circuit_number = 0;
};

// What a test can read about one route server.
struct RouteServerStats {
  int connections = 0;
  int requests = 0;
};

// The live counters behind RouteStats: written by the simulator's thread, read by any.
struct RouteCounters {
  std::atomic<int> connections{0};
  std::atomic<int> logins{0};
  std::atomic<int> profile_logins{0};
  std::atomic<int> key_logins{0};
  std::atomic<int> details{0};
  std::atomic<int> key_requests{0};
  std::atomic<int> heartbeats{0};
  std::atomic<int> logouts{0};
  std::atomic<std::int32_t> last_login_sequence{0};
  std::atomic<std::int32_t> last_circuit_number{0};

  RouteStats Snapshot() const {
    RouteStats s;
    s.connections = connections.load();
    s.logins = logins.load();
    s.profile_logins = profile_logins.load();
    s.key_logins = key_logins.load();
    s.details = details.load();
    s.key_requests = key_requests.load();
    s.heartbeats = heartbeats.load();
    s.logouts = logouts.load();
    s.last_login_sequence = last_login_sequence.load();
    s.last_circuit_number = last_circuit_number.load();
    return s;
  }
};

struct RouteServerCounters {
  std::atomic<int> connections{0};
  std::atomic<int> requests{0};

  RouteServerStats Snapshot() const { return {connections.load(), requests.load()}; }
};

}  // namespace zp::sim
