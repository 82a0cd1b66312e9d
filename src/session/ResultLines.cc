#include "session/ResultLines.h"

#include "framework/Format.h"
#include "history/RunHistory.h"
#include "run/NextSteps.h"
#include "run/ProgramVersion.h"
#include "run/RunConstants.h"
#include "run/RunWords.h"
#include "run/TraceLine.h"

namespace zp {

namespace {

constexpr const char* kDash = "\u2014";

std::string ScoreColumn(const RouteResult& route) {
  // Right-aligned in six places, as the scores line up under one another.
  return route.HasScore() ? Format("%6d", static_cast<int>(route.score)) : std::string("     ") + kDash;
}

ResultLine Line(ResultLine::Kind kind, std::vector<std::string> columns, bool failed = false) {
  ResultLine line;
  line.kind = kind;
  line.columns = std::move(columns);
  line.failed = failed;
  return line;
}

// What to check next, after the lines it speaks of: one line per step, naming what it is
// about as the lines above name it.
void AddSteps(std::vector<ResultLine>& lines, const RunSnapshot& run) {
  const std::vector<NextStepLine> steps = NextStepsOf(run);
  if (steps.empty()) return;
  lines.push_back(Line(ResultLine::Kind::Blank, {""}));
  lines.push_back(Line(ResultLine::Kind::Steps, {"What to check next:"}));
  for (const NextStepLine& step : steps) {
    std::string about;
    for (const NextStepLine::Subject& subject : step.subjects) {
      if (!about.empty()) about += ", ";
      about += subject.about == NextStepLine::About::Server ? ServerLabel(run.servers[subject.index])
                                                            : EscapeControls(subject.name);
    }
    lines.push_back(Line(ResultLine::Kind::Step, {"    " + about + " " + kDash + " " + step.step}));
  }
}

}  // namespace

std::string ServerLabel(const ServerResult& server) {
  std::string name = EscapeControls(server.server) + Format(":%X", static_cast<unsigned>(server.port));
  if (!server.address.empty() && server.address != server.server) name += " (" + EscapeControls(server.address) + ")";
  return name;
}

EndedRun RecordEnded(RunHistory* history, const RunSnapshot& run) {
  EndedRun ended;
  ended.run = run;
  if (history != nullptr && RunHistory::Available() && *RunBanner(run) != '\0') {
    // The previous scores are read before this run is written: another probe may record in between.
    std::vector<std::string> names;
    for (const RouteResult& route : run.routes) names.push_back(route.name);
    ended.previous = history->PreviousScoresOf(run.settings, names);
    HistoryRun record = HistoryRunFrom(run, ProgramVersion());
    ended.recorded = history->Record(record);
    if (!ended.recorded) ended.record_error = history->LastError();
  }
  ended.results = MakeResults(run, ended.previous);
  return ended;
}

ResultsView MakeResults(const RunSnapshot& run, const std::optional<PreviousScores>& previous) {
  ResultsView view;
  view.banner = BannerOf(run);
  view.compared = previous.has_value();
  std::vector<ResultLine>& lines = view.lines;
  if (!run.routes.empty()) {
    // The score and the route first, as a reader of the first two columns expects them.
    lines.push_back(Line(ResultLine::Kind::Heading, {"Score", "Route", "Change", "Outcome"}));
    for (const RouteResult& route : run.routes) {
      lines.push_back(Line(ResultLine::Kind::Route,
                           {ScoreColumn(route), EscapeControls(route.entry), ChangeWords(previous, route),
                            EscapeControls(RouteOutcomeWords(route, run.stopped))},
                           route.failed));
    }
    lines.push_back(Line(ResultLine::Kind::Blank, {""}));
    lines.push_back(Line(ResultLine::Kind::Key, {"Public key: " + EscapeControls(KeyReason(run.key, run.stopped))},
                         run.key.outcome == KeyOutcome::Failed));
    if (run.key.outcome == KeyOutcome::Failed) view.key_note = "Public key " + EscapeControls(KeyReason(run.key, run.stopped));
    if (SucceededWithEveryRouteFailed(run)) view.key_note = kEveryRouteFailedNote;
    AddSteps(lines, run);
    view.legend = ScoreLegend(ExchangeSettings{}.FDetailRecords);
    return view;
  }
  // Nothing to score: what each route server did is the whole story.
  if (run.servers.empty()) {
    lines.push_back(Line(ResultLine::Kind::Servers, {"No route server was asked."}));
    AddSteps(lines, run);
    return view;
  }
  lines.push_back(Line(ResultLine::Kind::Servers, {"No route server gave a route. Route servers asked:"}));
  for (const ServerResult& server : run.servers) {
    std::string text = "    " + ServerLabel(server) + " " + kDash + " " + EscapeControls(ServerReason(server));
    if (server.round > 1) text += " (asked again)";
    lines.push_back(Line(ResultLine::Kind::Server, {std::move(text)}, server.outcome != ServerOutcome::Answered));
  }
  AddSteps(lines, run);
  return view;
}

}  // namespace zp
