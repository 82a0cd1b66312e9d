#include "cli/PlainReport.h"

#include <cstdio>

#include "run/RunWords.h"
#include "run/TraceLine.h"

namespace zp {

std::string PlainReport(const ConsoleOutcome& out) {
  const RunSnapshot& run = out.run;
  std::string text = std::string(RunBanner(run)) + "\n";
  if (!run.routes.empty()) {
    text += "Score\tRoute\tReason\n";
    char score[16];
    for (const RouteResult& r : run.routes) {
      std::snprintf(score, sizeof score, "%6d\t", r.score);
      text += score + EscapeControls(r.entry) + "\t" + EscapeControls(RouteReason(r, run.stopped)) + "\n";
    }
  }
  // A stop may come before any server could answer: that is not their failure.
  if (run.routes.empty() && NoServerAnswered(run) && !run.stopped) {
    text += "No route server answered\n";
  }
  if (run.routes.empty()) {
    for (const ServerResult& s : run.servers) {
      text += "Route server " + EscapeControls(ServerName(s)) + ": " +
              EscapeControls(ServerReason(s)) + "\n";
    }
  }
  text += "Public key: " + EscapeControls(KeyReason(run.key, run.stopped)) + "\n";
  return text;
}

}  // namespace zp
