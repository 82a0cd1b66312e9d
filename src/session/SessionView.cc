#include "session/SessionView.h"

#include "framework/Format.h"
#include "platform/LocalTime.h"
#include "run/RunConstants.h"
#include "run/TraceLine.h"
#include "run/RunWords.h"

namespace zp {

BannerView BannerOf(const RunSnapshot& run) {
  BannerView banner;
  banner.spaced = RunBanner(run);
  banner.word = RunBannerWord(run);
  if (banner.word.empty()) return banner;
  if (run.stopped) {
    banner.kind = BannerKind::Stopped;
    banner.on_light = 0x5A4A00;
    banner.on_dark = 0xFFE066;
  } else if (run.result_code == kResultSuccess) {
    banner.kind = BannerKind::Success;
    banner.on_light = 0x1B5E20;
    banner.on_dark = 0x8CF08C;
  } else if (run.result_code == kResultSomeRoutesFailed) {
    banner.kind = BannerKind::SomeRoutesFailed;
    banner.on_light = 0x8A4500;
    banner.on_dark = 0xFFB84D;
  } else {
    banner.kind = BannerKind::Failure;
    banner.on_light = kFailedOnLight;
    banner.on_dark = kFailedOnDark;
  }
  return banner;
}

TestStart MakeTestStart(int number, const RunSettings& settings, std::time_t when) {
  TestStart start;
  start.number = number;
  start.settings = settings;
  const std::string server = EscapeControls(settings.server);
  const std::string code = EscapeControls(settings.route_code);
  const unsigned port = static_cast<unsigned>(settings.port);
  start.line = Format("Test %d started %s \u2014 %s:%X, route code %s", number,
                      FormatDateTime("hh:nn:ss", when).c_str(), server.c_str(), port, code.c_str());
  // "2026-12-08T22:31:05+01:00" to "2026-12-08 22:31:05".
  std::string stamp = FormatIso8601Local(when).substr(0, 19);
  if (stamp.size() > 10) stamp[10] = ' ';
  start.heading = Format("Test %d started %s: server %s, port %X (%u), route code %s", number, stamp.c_str(),
                         server.c_str(), port, port, code.c_str());
  return start;
}

std::string ResultLine::Text() const {
  std::string text;
  for (std::size_t i = 0; i < columns.size(); ++i) text += (i == 0 ? "" : "\t") + columns[i];
  return text;
}

std::string ResultsView::Text() const {
  std::string text = banner.word + "\n";
  for (const ResultLine& line : lines) text += line.Text() + "\n";
  if (!legend.empty()) text += legend + "\n";
  return text;
}

}  // namespace zp
