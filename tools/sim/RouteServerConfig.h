#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zp::sim {

// One simulated route server: its listening address and how it answers a route request.
// The defaults answer at once with "OK" and the route list.
struct RouteServerConfig {
  std::string address = "127.0.0.1";  // loopback only (127.0.0.0/8)
  std::uint16_t port = 26880;         // 0: an ephemeral port
  bool list_routes = true;            // list the simulator's gateway routes
  std::vector<std::string> extra_lines;  // literal lines after the routes

  std::string status_line = "OK";  // a line without "OK" makes the client ignore the answer
  bool silent = false;             // never answer
  bool garbage_before = false;     // bytes that are no packet in front of the answer
  bool bytewise = false;           // the answer one byte per send
  std::uint32_t byte_gap_ms = 2;   // pause between those sends
  bool heartbeat_first = false;    // a heartbeat packet in the same write, before the answer
  bool twice = false;              // the answer twice in one write
  bool close_instead = false;      // close when the request arrives
  bool reset_instead = false;      // reset when the request arrives
  bool largest = false;            // text and data parts padded to their limits
  std::uint32_t delay_ms = 0;      // answer this long after the request
};

}  // namespace zp::sim
