#include "cli/HistoryCsv.h"

#include <string_view>

#include "framework/Format.h"
#include "run/TraceLine.h"

namespace zp {

namespace {

constexpr const char* kLineEnd = "\r\n";

std::string Quoted(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) return field;
  std::string out = "\"";
  for (const char c : field) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string RunColumns(const HistoryRun& run) {
  return Format("%lld,%s,%s,%d,%s,%s,%s,%.3f,%s,%s", run.id, UtcTimeText(run.start_utc_ms).c_str(),
                CsvText(run.settings.server).c_str(), static_cast<int>(run.settings.port),
                CsvText(run.settings.route_code).c_str(), run.banner.c_str(), run.stopped ? "yes" : "no",
                run.elapsed_seconds, CsvText(run.key_outcome).c_str(), CsvText(run.version).c_str());
}

}  // namespace

std::string CsvText(const std::string& text) {
  const std::string shown = EscapeControls(text);
  const bool formula = !shown.empty() && std::string_view("=+-@\t\r").find(shown.front()) != std::string_view::npos;
  return Quoted(formula ? std::string(1, '\'') + shown : shown);
}

std::string HistoryCsvHeader() {
  return std::string("run,start_time,server,port,route_code,result,stopped,elapsed_seconds,key_outcome,version,"
                     "route_position,route_name,route_entry,score,failed,profile_seconds,outcome,reason") +
         kLineEnd;
}

std::string HistoryCsvRows(const HistoryRun& run) {
  const std::string columns = RunColumns(run);
  if (run.routes.empty()) return columns + ",,,,,,,," + kLineEnd;
  std::string rows;
  int position = 0;
  for (const HistoryRoute& r : run.routes) {
    rows += columns;
    rows += Format(",%d,%s,%s,", ++position, CsvText(r.name).c_str(), CsvText(r.entry).c_str());
    if (r.score) rows += Format("%d", static_cast<int>(*r.score));
    rows += Format(",%s,%.3f,%s,%s", r.failed ? "yes" : "no", r.profile_seconds, CsvText(r.outcome).c_str(),
                   CsvText(r.reason).c_str());
    rows += kLineEnd;
  }
  return rows;
}

}  // namespace zp
