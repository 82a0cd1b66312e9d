#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "run/RunRecord.h"

namespace zp {

// A test as the operator asks for it: the way of connecting and what was typed.
struct TestRequest {
  int selection = -1;          // 0 Internet normal route, 1 Internet other route, 2 WAN other route
  std::string selection_text;  // the chosen way's caption, for a way that is not supported
  std::string server;          // as typed: host names or addresses separated by commas
  std::string port_text;       // hexadecimal, as typed
  std::string route_code;      // as typed
};

enum class TestRefusal {
  None,
  TestRunning,    // one test at a time
  Closing,
  Unsupported,    // a way of connecting that is not offered
  ServerMissing,
  PortInvalid,
};

// The settings a request gives, or why it gives none (with the message for the operator
// in `message`).
struct CheckedRequest {
  TestRefusal refusal = TestRefusal::None;
  std::string message;
  RunSettings settings;
};
CheckedRequest CheckRequest(const TestRequest& request);

// A port as the operator types it: 1 to 4 hexadecimal digits, 1 to FFFF; nothing else.
std::optional<std::int32_t> ParsePortText(std::string_view text);

}  // namespace zp
