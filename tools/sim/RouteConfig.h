#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "framework/WireSizes.h"

namespace zp::sim {

// When a gateway route ends a connection on its own.
enum class CloseStage {
  Never,
  OnConnect,     // right after accepting
  AfterLogin,    // after writing the login reply
  AfterDetails,  // instead of the heartbeat that reports on the detail records
  DuringKeyWait, // after the first heartbeat of the key wait, without the key
  AfterKey,      // after writing the public-key reply
};

// How a route answers a login of one mode.
struct LoginReplyConfig {
  enum class Kind { Accept, Refuse, Silent };
  Kind kind = Kind::Accept;
  std::int32_t status = 0;  // Refuse: the status, 1 to 999999
  std::string text;         // Refuse: the status text
  std::uint32_t delay_ms = 0;  // the reply is written this long after the login arrived
};

// What the public-key reply carries.
enum class KeyReplyKind {
  Valid,           // status 0, an API buffer whose section 017 holds the key
  Never,           // no reply at all
  Status,          // a non-zero status and text in the reply body
  ErrorIndicator,  // error indicator "Y" with a section 999 text
  Largest,         // a valid key padded to the largest data part
};

// One simulated gateway route: its listening address and how it behaves. The defaults
// are a healthy route.
struct RouteConfig {
  std::string name;
  std::string address = "127.0.0.1";  // loopback only (127.0.0.0/8)
  std::uint16_t port = 0;             // 0: an ephemeral port
  bool refuse = false;  // reserve a port and close it again, so connects are refused
  bool silent = false;  // accept and read, never write
  std::string data_center = "DC01";

  LoginReplyConfig profile_login;  // logins of mode "P"
  LoginReplyConfig key_login;      // logins of mode "K"

  // Profiling: the heartbeat after the detail records lists the record numbers that did
  // not arrive, or `profile_heartbeat_text` verbatim when set.
  bool profile_heartbeat = true;
  std::optional<std::string> profile_heartbeat_text;
  std::uint32_t detail_quiet_ms = 1000;  // report this long after the last detail when some are missing

  // Key exchange: heartbeats every period while the key is pending.
  bool key_heartbeats = true;
  std::string key_heartbeat_text = "0";
  std::uint32_t key_heartbeat_period_ms = 2000;
  KeyReplyKind key_reply = KeyReplyKind::Valid;
  int key_length = 128;
  std::uint32_t key_delay_ms = 0;  // after each public-key request
  std::int32_t key_status = 1;     // KeyReplyKind::Status
  std::string key_status_text = "Key not available";
  std::string key_error_text = "Public key unavailable";  // KeyReplyKind::ErrorIndicator

  CloseStage close_stage = CloseStage::Never;
  bool close_with_reset = false;  // SO_LINGER 0: the peer sees a reset instead of an orderly close
  char close_mode = 0;            // AfterLogin only: 'P' or 'K' limits it to logins of that mode
};

// A route name is 1 to 64 printable characters without blanks, quotes or the characters
// that separate route entries ("=", ":", ",").
inline bool IsValidRouteName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (const char c : name)
    if (c <= ' ' || c >= 127 || c == '=' || c == ',' || c == ':' || c == '\'' || c == '"') return false;
  return true;
}

// The longest key that still fits the data part with the API buffer header and its section.
inline constexpr int kMaxKeyLength = wire::kMaxDataPart - 88 - 4;

}  // namespace zp::sim
