#include "report/HtmlReport.h"

#include <algorithm>

#include "run/RunConstants.h"
#include "report/HistoryRows.h"
#include "report/PlotSvg.h"
#include "report/HtmlText.h"
#include "run/NextSteps.h"
#include "run/RunWords.h"
#include "framework/Format.h"

namespace zp {

namespace {

constexpr std::size_t kTrendRuns = 10;  // scores shown in a route's trend
constexpr std::size_t kTableRuns = 20;  // earlier runs listed

constexpr const char* kStyle =
    "body{font-family:sans-serif;margin:1.5em;color:#212121;max-width:70em}"
    "h1{font-size:1.4em;margin-bottom:.2em}h2{font-size:1.15em;margin-top:1.6em}"
    ".banner{font-size:1.6em;font-weight:bold;color:#FFFFFF;padding:.3em .6em;display:inline-block;"
    "letter-spacing:.1em;white-space:pre}"
    "table{border-collapse:collapse;margin:.4em 0}th,td{border:1px solid #BDBDBD;padding:.2em .5em;"
    "text-align:left;vertical-align:top}th{background:#EEEEEE}td.num{text-align:right}"
    ".worse{color:#C62828;font-weight:bold}.better{color:#2E7D32;font-weight:bold}"
    "tr.failed td{color:#B71C1C}tr.failed td:first-child{font-weight:bold}"
    "#next-steps li{margin:.3em 0}"
    "pre{font-size:.8em;background:#F5F5F5;border:1px solid #E0E0E0;padding:.6em;overflow-x:auto;tab-size:8}"
    "svg{display:block;margin:.4em 0}";

std::string Row(std::initializer_list<std::string> cells, const char* tag = "td", bool failed = false) {
  std::string row = failed ? "<tr class=\"failed\">" : "<tr>";
  for (const std::string& c : cells) row += Format("<%s>%s</%s>", tag, c.c_str(), tag);
  return row + "</tr>\n";
}

// What to check next, naming each subject as the tables above do.
std::string NextStepsHtml(const RunSnapshot& run) {
  const std::vector<NextStepLine> steps = NextStepsOf(run);
  if (steps.empty()) return {};
  std::string html = "<h2>What to check next</h2>\n<ul id=\"next-steps\">\n";
  for (const NextStepLine& line : steps) {
    std::string about;
    for (const NextStepLine::Subject& subject : line.subjects) {
      std::string name = subject.name;
      if (subject.about == NextStepLine::About::Server)
        name += Format(":%X", static_cast<unsigned>(run.servers[subject.index].port));
      about += (about.empty() ? "" : ", ") + HtmlText(name);
    }
    html += "<li><b>" + about + "</b> \u2014 " + HtmlText(line.step) + "</li>\n";
  }
  return html + "</ul>\n";
}

}  // namespace

std::string HtmlReport(const ReportInput& in) {
  const RunSnapshot& run = in.run;
  const std::string banner_word = RunBannerWord(run);
  const HistoryRun now = HistoryRunFrom(run, in.version);
  // The runs before this one: the history may or may not hold the run itself.
  std::vector<HistoryRun> earlier = in.history;
  if (!earlier.empty() && earlier.back().start_utc_ms == now.start_utc_ms) earlier.pop_back();
  // Without a history the change is unknown, as in the results.
  std::optional<PreviousScores> previous = in.previous;
  if (!previous && !in.history.empty()) previous = PreviousScoresIn(earlier);

  std::string html = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
  html += "<title>Zelvan Probe report " + HtmlText(UtcTimeText(now.start_utc_ms)) + "</title>\n";
  html += Format("<style>%s</style>\n</head>\n<body>\n", kStyle);
  html += "<h1>Zelvan Probe report</h1>\n";
  html += Format("<div class=\"banner\" id=\"banner\" style=\"background:%s\">%s</div>\n",
                 ResultColour(banner_word).c_str(), HtmlText(RunBanner(run)).c_str());
  html += "<p id=\"result\">Result: <b>" + HtmlText(banner_word.empty() ? "not ended" : banner_word) + "</b>, " +
          Format("%d of %d routes failed", run.FailedRoutes(), run.RouteCount()) +
          (run.key.outcome == KeyOutcome::Failed ? "; public key " + HtmlText(KeyReason(run.key, run.stopped)) : "") +
          ".</p>\n";
  if (SucceededWithEveryRouteFailed(run)) html += std::string("<p id=\"note\">") + kEveryRouteFailedNote + ".</p>\n";

  html += "<h2>Run</h2>\n<table id=\"settings\">\n";
  html += Row({"Started (UTC)", HtmlText(UtcTimeText(now.start_utc_ms))});
  html += Row({"Elapsed", Format("%.2f s", run.elapsed_seconds)});
  html += Row({"Stopped", run.stopped ? "yes" : "no"});
  html += Row({"Route servers", HtmlText(run.settings.server)});
  html += Row({"Port", Format("%X (hexadecimal)", static_cast<unsigned>(run.settings.port))});
  html += Row({"Route code", HtmlText(run.settings.route_code)});
  html += Row({"Public key", HtmlText(KeyReason(run.key, run.stopped))});
  html += Row({"Program version", HtmlText(in.version)});
  html += Row({"Operating system", HtmlText(in.system)});
  html += "</table>\n";

  html += "<h2>Routes</h2>\n";
  if (run.routes.empty()) {
    html += "<p>No route server gave a route.</p>\n";
  } else {
    html += "<table id=\"routes\">\n" +
            Row({"Route", "Entry", "Score", "Profiling time", "Reason", "Change", "Trend (oldest first)"}, "th");
    for (const RouteResult& r : run.routes) {
      const HistoryRoute mine{r.entry, r.name, r.score, r.failed, r.profile_seconds, {}, {}};
      const std::string label = RouteLabel(mine);
      // The same words as the results window's, and a class for their colour.
      const std::string change = ChangeWords(previous, r);
      const std::string change_class = change.substr(0, change.find(' '));
      std::string trend;
      std::size_t shown = 0;
      for (auto it = earlier.rbegin(); it != earlier.rend() && shown < kTrendRuns - 1; ++it) {
        if (const HistoryRoute* h = it->FindRoute(r.name)) {
          trend = (h->score ? Format("%d ", *h->score) : std::string("\u2014 ")) + trend;
          ++shown;
        }
      }
      const std::string score = r.HasScore() ? Format("%d", r.score) : "\u2014";
      trend += "<b>" + score + "</b>";
      html += Row({HtmlText(label), HtmlText(r.entry), score, Format("%.3f s", r.profile_seconds),
                   HtmlText(RouteOutcomeWords(r, run.stopped)),
                   Format("<span class=\"%s\">%s</span>", HtmlText(change_class).c_str(), HtmlText(change).c_str()),
                   trend},
                  "td", r.failed);
    }
    html += "</table>\n<p>" + HtmlText(ScoreLegend(ExchangeSettings{}.FDetailRecords)) +
            " The change compares each route with its last score in a run with the same settings.</p>\n";
  }
  if (!run.servers.empty()) {
    html += "<h2>Route servers asked</h2>\n<table id=\"servers\">\n" + Row({"Server", "Address", "Port", "Outcome"}, "th");
    for (const ServerResult& s : run.servers)
      html += Row({HtmlText(s.server), HtmlText(s.address), Format("%X", static_cast<unsigned>(s.port)),
                   HtmlText(ServerReason(s))});
    html += "</table>\n";
  }
  html += NextStepsHtml(run);

  html += "<h2>History with these settings</h2>\n";
  if (in.history.empty()) {
    html += "<p>" + HtmlText(in.history_note.empty() ? "No recorded runs." : in.history_note) + "</p>\n";
  } else {
    std::vector<HistoryRun> plotted = in.history;
    if (plotted.back().start_utc_ms != now.start_utc_ms) plotted.push_back(now);
    html += "<p>Each point is one run, in its route's colour; its shape says the run's result.</p>\n";
    html += PlotSvg(MakePlot(plotted, PlotModel::Measure::Score), 760, 260);
    html += PlotSvg(MakePlot(plotted, PlotModel::Measure::ProfileSeconds), 760, 260);
    html += "<table id=\"history\">\n" + Row({"Started (UTC)", "Result", "Failed routes", "Elapsed"}, "th");
    std::size_t listed = 0;
    for (auto it = plotted.rbegin(); it != plotted.rend() && listed < kTableRuns; ++it, ++listed) {
      html += Row({HtmlText(UtcTimeText(it->start_utc_ms)),
                   Format("<span style=\"color:%s\">%s</span>", ResultColour(it->banner).c_str(), HtmlText(it->banner).c_str()),
                   HtmlText(FailedRoutesText(*it)), Format("%.2f s", it->elapsed_seconds)});
    }
    html += "</table>\n";
  }

  html += Format("<h2>Trace (%zu lines)</h2>\n<pre id=\"trace\">", in.trace.size());
  for (const std::string& line : in.trace) html += HtmlText(line) + "\n";
  html += "</pre>\n</body>\n</html>\n";
  return html;
}

}  // namespace zp
