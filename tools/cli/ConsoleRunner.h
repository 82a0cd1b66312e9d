#pragma once
#include <cstdio>
#include <memory>
#include <string>

#include "client/ConnectionChoice.h"
#include "client/RouteList.h"

namespace zp {

// One test run from a terminal, the way the window runs it: settings as the window's
// three ways of connecting fill them, trace lines as the window's list shows them,
// then the banner and the result lines.
struct ConsoleOptions {
  int selection = 0;          // 0 Internet normal route, 1 Internet other route, 2 WAN
  std::string server;         // empty: the selection's default
  bool server_given = false;
  std::string port_text = "6900";
  std::string route_code;     // as typed into the route-code box
  bool route_code_given = false;
  double timeout_seconds = 0;  // 0: none
  bool json = false;
  bool monitoring = false;
  std::string dns_store;      // empty: the default store
};

struct ConsoleOutcome {
  int result_code = 0;
  bool timed_out = false;
  bool started = false;
  std::string end_state;
  std::string server;
  std::int32_t port = 0;
  std::string route_code;
  std::string start_time;
  double elapsed_seconds = 0;
  RouteList routes;
};

// The selection's defaults, with what the operator typed overriding them.
void ResolveSelection(ConsoleOptions& options, std::string& server, std::string& route_letter);

// Runs the test; trace lines go to `trace_out`. Never throws.
ConsoleOutcome RunConsoleTest(const ConsoleOptions& options, std::FILE* trace_out);

// 0 SUCCESS, 1 SOME ROUTES FAILED, 2 FAILURE, 3 stopped by the time-out or anything else.
int ExitStatus(const ConsoleOutcome& outcome);


}  // namespace zp
