#include "cli/PlainReport.h"

namespace zp {

std::string PlainReport(const ConsoleOutcome& out) {
  std::string text = std::string(out.ended ? out.ended->results.banner.spaced : "") + "\n";
  if (!out.ended) return text;
  const ResultsView& results = out.ended->results;
  // What the windows say beside the banner.
  if (!results.key_note.empty()) text += results.key_note + "\n";
  for (const ResultLine& line : results.lines) text += line.Text() + "\n";
  if (!results.legend.empty()) text += results.legend + "\n";
  return text;
}

}  // namespace zp
