#include "ScenarioParser.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>

#include "OptionWords.h"
#include "SimSocket.h"
#include "platform/Utf8Path.h"

namespace zp::sim {
namespace {

constexpr std::uint64_t kMaxDelayMs = 24ull * 3600 * 1000;
constexpr std::uintmax_t kMaxScenarioFile = 1 << 20;

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool ParseStage(std::string_view text, CloseStage& stage) {
  static const std::map<std::string_view, CloseStage> kStages = {
      {"connect", CloseStage::OnConnect}, {"login", CloseStage::AfterLogin},
      {"details", CloseStage::AfterDetails}, {"key-wait", CloseStage::DuringKeyWait},
      {"key", CloseStage::AfterKey}};
  const auto it = kStages.find(text);
  if (it == kStages.end()) return false;
  stage = it->second;
  return true;
}

// The parameters the route faults read. Each is taken only when a fault given reads it,
// so that a parameter without its fault is reported rather than ignored.
struct FaultParameters {
  std::optional<std::int32_t> status;
  std::optional<std::string> text;
  std::optional<std::uint32_t> delay;
  char mode = 0;  // 'P', 'K' or 0 for both
  std::optional<CloseStage> at;
};

bool ReadFaultParameters(OptionWords& o, FaultParameters& p, std::string& error) {
  const auto uses = [&](std::initializer_list<std::string_view> names) {
    for (std::string_view n : names)
      if (o.HasFault(n)) return true;
    return false;
  };
  std::optional<std::uint64_t> n;
  if (uses({"login-refused", "key-status"})) {
    if (!o.Number("status", 1, 999999, n, error)) return false;
    if (n) p.status = static_cast<std::int32_t>(*n);
  }
  if (uses({"login-refused", "heartbeat-text", "key-heartbeat-text", "key-error", "key-status"}))
    p.text = o.Take("text");
  if (uses({"late-login"})) {
    n.reset();
    if (!o.Number("delay", 0, kMaxDelayMs, n, error)) return false;
    if (n) p.delay = static_cast<std::uint32_t>(*n);
  }
  if (uses({"login-refused", "late-login", "no-login", "close", "reset"})) {
    if (const auto mode = o.Take("mode")) {
      if (*mode != "P" && *mode != "K") {
        error = "mode must be P or K";
        return false;
      }
      p.mode = (*mode)[0];
    }
  }
  if (uses({"close", "reset"})) {
    if (const auto at = o.Take("at")) {
      CloseStage stage;
      if (!ParseStage(*at, stage)) {
        error = "at must be connect, login, details, key-wait or key";
        return false;
      }
      p.at = stage;
    }
  }
  return true;
}

bool ApplyRouteFault(const std::string& fault, const FaultParameters& p, RouteConfig& r, std::string& error) {
  const auto for_modes = [&](auto&& change) {
    if (p.mode != 'K') change(r.profile_login);
    if (p.mode != 'P') change(r.key_login);
  };
  if (fault == "refused") {
    r.refuse = true;
  } else if (fault == "silent") {
    r.silent = true;
  } else if (fault == "login-refused") {
    for_modes([&](LoginReplyConfig& l) {
      l.kind = LoginReplyConfig::Kind::Refuse;
      l.status = p.status.value_or(1);
      l.text = p.text.value_or("Access denied");
    });
  } else if (fault == "late-login") {
    for_modes([&](LoginReplyConfig& l) { l.delay_ms = p.delay.value_or(5100); });
  } else if (fault == "no-login") {
    for_modes([&](LoginReplyConfig& l) { l.kind = LoginReplyConfig::Kind::Silent; });
  } else if (fault == "no-heartbeat") {
    r.profile_heartbeat = false;
  } else if (fault == "heartbeat-text") {
    r.profile_heartbeat_text = p.text.value_or("1-25");
  } else if (fault == "key-heartbeat-text") {
    r.key_heartbeat_text = p.text.value_or("1");
  } else if (fault == "no-key-heartbeats") {
    r.key_heartbeats = false;
  } else if (fault == "key-never") {
    r.key_reply = KeyReplyKind::Never;
  } else if (fault == "key-short") {
    r.key_length = 99;
  } else if (fault == "key-100") {
    r.key_length = 100;
  } else if (fault == "key-error") {
    r.key_reply = KeyReplyKind::ErrorIndicator;
    if (p.text) r.key_error_text = *p.text;
  } else if (fault == "key-status") {
    r.key_reply = KeyReplyKind::Status;
    r.key_status = p.status.value_or(1);
    if (p.text) r.key_status_text = *p.text;
  } else if (fault == "key-largest") {
    r.key_reply = KeyReplyKind::Largest;
  } else if (fault == "close" || fault == "reset") {
    r.close_stage = p.at.value_or(CloseStage::OnConnect);
    r.close_with_reset = fault == "reset";
    r.close_mode = p.mode;
  } else {
    error = "unknown route fault '" + fault + "'";
    return false;
  }
  return true;
}

bool ApplyServerFault(const std::string& fault, RouteServerConfig& s, std::string& error) {
  if (fault == "silent") s.silent = true;
  else if (fault == "not-ok") s.status_line = "ERR No routes available";
  else if (fault == "garbage") s.garbage_before = true;
  else if (fault == "bytewise" || fault == "split") s.bytewise = true;
  else if (fault == "two-packets" || fault == "heartbeat-first") s.heartbeat_first = true;
  else if (fault == "twice") s.twice = true;
  else if (fault == "close") s.close_instead = true;
  else if (fault == "reset") s.reset_instead = true;
  else if (fault == "largest") s.largest = true;
  else if (fault == "late") s.delay_ms = 5000;
  else {
    error = "unknown route-server fault '" + fault + "'";
    return false;
  }
  return true;
}


}  // namespace

bool ScenarioParser::ParseRoute(std::string_view text, RouteConfig& route, std::string& error) {
  std::vector<std::string> words;
  if (!OptionWords::Split(text, words, error)) return false;
  if (words.empty() || words[0].find('=') != std::string::npos) {
    error = "a route needs a name first";
    return false;
  }
  route = RouteConfig{};
  route.name = words[0];
  if (!IsValidRouteName(route.name)) {
    error = "bad route name '" + route.name + "' (1 to 64 characters, no blanks, quotes, '=', ':' or ',')";
    return false;
  }
  OptionWords o;
  if (!o.Read(words, 1, {"address", "port", "dc", "quiet", "period", "key-length", "key-delay", "fault", "status",
                         "text", "delay", "mode", "at"},
              error))
    return false;

  FaultParameters p;
  if (!ReadFaultParameters(o, p, error)) return false;
  for (const std::string& f : o.Faults())
    if (!ApplyRouteFault(f, p, route, error)) return false;

  // Plain options after the faults, so that an explicit key-length wins over key-short.
  if (const auto address = o.Take("address")) {
    std::uint32_t a = 0;
    if (!ParseLoopbackAddress(*address, a)) {
      error = "address must be a loopback address (127.0.0.0/8), got '" + *address + "'";
      return false;
    }
    route.address = *address;
  }
  if (!o.Number("port", 0, 65535, route.port, error)) return false;
  if (const auto dc = o.Take("dc")) {
    if (dc->size() > 4) {
      error = "dc holds at most 4 characters";
      return false;
    }
    route.data_center = *dc;
  }
  return o.Number("quiet", 1, kMaxDelayMs, route.detail_quiet_ms, error) &&
         o.Number("period", 1, kMaxDelayMs, route.key_heartbeat_period_ms, error) &&
         o.Number("key-length", 0, kMaxKeyLength, route.key_length, error) &&
         o.Number("key-delay", 0, kMaxDelayMs, route.key_delay_ms, error) && o.AllUsed(error);
}

bool ScenarioParser::ParseRouteServer(std::string_view text, RouteServerConfig& server, std::string& error) {
  std::vector<std::string> words;
  if (!OptionWords::Split(text, words, error)) return false;
  server = RouteServerConfig{};
  std::size_t first = 0;
  if (!words.empty() && words[0].find('=') == std::string::npos) {
    const std::string& where = words[0];
    const std::size_t colon = where.rfind(':');
    std::uint64_t port = 0;
    std::uint32_t a = 0;
    if (colon == std::string::npos || !ParseLoopbackAddress(std::string_view(where).substr(0, colon), a) ||
        !OptionWords::ParseNumber(std::string_view(where).substr(colon + 1), 65535, port)) {
      error = "route server must be ADDRESS:PORT on loopback (127.0.0.0/8), got '" + where + "'";
      return false;
    }
    server.address = where.substr(0, colon);
    server.port = static_cast<std::uint16_t>(port);
    first = 1;
  }
  OptionWords o;
  if (!o.Read(words, first, {"fault", "text", "delay", "gap", "routes"}, error)) return false;
  for (const std::string& f : o.Faults())
    if (!ApplyServerFault(f, server, error)) return false;
  if (o.HasFault("not-ok"))
    if (const auto t = o.Take("text")) server.status_line = *t;
  if (o.HasFault("late") && !o.Number("delay", 0, kMaxDelayMs, server.delay_ms, error)) return false;
  if (server.bytewise && !o.Number("gap", 0, 1000, server.byte_gap_ms, error)) return false;
  if (const auto routes = o.Take("routes")) {
    if (*routes != "all" && *routes != "none") {
      error = "routes must be all or none";
      return false;
    }
    server.list_routes = *routes == "all";
  }
  return o.AllUsed(error);
}

bool ScenarioParser::Fail(std::string message) {
  FError = std::move(message);
  return false;
}

bool ScenarioParser::Apply(std::string_view directive, std::string_view argument) {
  argument = Trim(argument);
  std::string error;
  if (directive == "route") {
    RouteConfig route;
    if (!ParseRoute(argument, route, error)) return Fail("route: " + error);
    for (const RouteConfig& r : FScenario.routes)
      if (r.name == route.name) return Fail("route '" + route.name + "' given twice");
    FScenario.routes.push_back(std::move(route));
    return true;
  }
  if (directive == "route-server") {
    RouteServerConfig server;
    if (!ParseRouteServer(argument, server, error)) return Fail("route-server: " + error);
    FScenario.route_servers.push_back(std::move(server));
    return true;
  }
  if (directive == "entry") {
    if (argument.empty() || !OptionWords::PlainText(argument)) return Fail("entry: needs a text without control characters");
    FEntries.emplace_back(argument);
    return true;
  }
  if (directive == "duration") {
    const std::string text(argument);
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(seconds) || seconds < 0 ||
        seconds > 1e7)
      return Fail("duration: needs a number of seconds, got '" + text + "'");
    FScenario.duration_seconds = seconds;
    return true;
  }
  if (directive == "scenario") {
    if (FInFile) return Fail("scenario: files cannot read other files");
    return ParseFile(std::string(argument));
  }
  return Fail("unknown directive '" + std::string(directive) + "'");
}

bool ScenarioParser::ParseArguments(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      FScenario.help = true;
      continue;
    }
    if (arg.rfind("--", 0) != 0) return Fail("unexpected argument '" + arg + "'");
    const std::size_t eq = arg.find('=');
    const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
    std::string value;
    if (eq != std::string::npos) {
      value = arg.substr(eq + 1);
    } else {
      if (i + 1 >= args.size()) return Fail("--" + name + " needs an argument");
      value = args[++i];
    }
    if (!Apply(name, value)) return false;
  }
  return true;
}

bool ScenarioParser::ParseText(std::string_view text, const std::string& origin) {
  const bool was_in_file = FInFile;
  FInFile = true;
  int number = 0;
  bool ok = true;
  while (ok && !text.empty()) {
    const std::size_t nl = text.find('\n');
    std::string_view line = Trim(text.substr(0, nl));
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    ++number;
    if (line.empty() || line.front() == '#') continue;
    const std::size_t blank = line.find_first_of(" \t");
    const std::string_view directive = line.substr(0, blank);
    const std::string_view argument = blank == std::string_view::npos ? std::string_view() : line.substr(blank);
    if (!Apply(directive, argument)) {
      FError = origin + ":" + std::to_string(number) + ": " + FError;
      ok = false;
    }
  }
  FInFile = was_in_file;
  return ok;
}

bool ScenarioParser::ParseFile(const std::string& path) {
  std::ifstream in(Utf8Path(path), std::ios::binary);
  if (!in) return Fail("cannot read scenario file '" + path + "'");
  std::string text(kMaxScenarioFile + 1, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > kMaxScenarioFile) return Fail("scenario file '" + path + "' is larger than 1 MiB");
  return ParseText(text, path);
}

Scenario ScenarioParser::Result() const {
  Scenario s = FScenario;
  if (s.route_servers.empty()) s.route_servers.emplace_back();
  if (s.routes.empty())
    for (const char* name : {"r1", "r2", "r3"}) s.routes.push_back(RouteConfig{.name = name});
  for (RouteServerConfig& server : s.route_servers)
    server.extra_lines.insert(server.extra_lines.end(), FEntries.begin(), FEntries.end());
  return s;
}

}  // namespace zp::sim
