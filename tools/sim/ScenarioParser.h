#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "RouteConfig.h"
#include "RouteServerConfig.h"

namespace zp::sim {

// What one run of the simulator serves.
struct Scenario {
  std::vector<RouteServerConfig> route_servers;
  std::vector<RouteConfig> routes;
  double duration_seconds = 0;  // 0: until SIGINT or SIGTERM
  bool help = false;
};

// Reads scenarios from the command line and from scenario files. Both use the same
// directives; on the command line each is an option "--directive ARGUMENT" (or
// "--directive=ARGUMENT"), in a file a line "directive ARGUMENT".
//
//   route-server [ADDRESS:PORT] [OPTION...]   a route server (default 127.0.0.1:26880)
//   route NAME [OPTION...]                   a gateway route
//   entry TEXT                               a literal line in every route list
//   duration SECONDS                         stop after this time
//   scenario FILE                            read directives from FILE (command line only)
//
// Options are NAME=VALUE words separated by blanks; a value may be quoted with ' or "
// to hold blanks (text='Access denied'). "fault=" takes a comma-separated list.
// Route options:
//   address=A port=N dc=TEXT quiet=MS period=MS key-length=N key-delay=MS
//   fault=refused|silent|login-refused|late-login|no-login|no-heartbeat|heartbeat-text|
//         key-heartbeat-text|no-key-heartbeats|key-never|key-short|key-100|key-error|
//         key-status|key-largest|close|reset
//   and the faults' parameters status=N text=T delay=MS mode=P|K
//   at=connect|login|details|key-wait|key
// Route-server options:
//   fault=silent|not-ok|garbage|bytewise|two-packets|twice|close|reset|largest|late
//   text=T (not-ok status line) delay=MS (late) gap=MS (bytewise) routes=all|none
// In a file, blank lines and lines whose first non-blank character is "#" are skipped.
// Without any route-server directive there is one on 127.0.0.1:26880, and without any
// route directive there are three healthy routes r1, r2 and r3.
class ScenarioParser {
 public:
  // The program's arguments, without the program name.
  bool ParseArguments(const std::vector<std::string>& args);
  // A scenario text; `origin` names it in error messages.
  bool ParseText(std::string_view text, const std::string& origin);
  bool ParseFile(const std::string& path);
  // One directive with its argument.
  bool Apply(std::string_view directive, std::string_view argument);

  // What was read, with the defaults where nothing was given.
  Scenario Result() const;
  // Why the last Parse or Apply returned false.
  const std::string& Error() const { return FError; }

  static bool ParseRoute(std::string_view text, RouteConfig& route, std::string& error);
  static bool ParseRouteServer(std::string_view text, RouteServerConfig& server, std::string& error);

 private:
  bool Fail(std::string message);

  Scenario FScenario;
  std::vector<std::string> FEntries;
  bool FInFile = false;
  std::string FError;
};

}  // namespace zp::sim
