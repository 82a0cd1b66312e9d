// zp-outcome-rules: the table of outcomes and what to check next, written out for the
// monitoring side at build time, so that an alert says what the window, the console and
// the report say, in the same words.
//
//   zp-outcome-rules rules TEMPLATE OUTPUT   the alert rules: TEMPLATE, then one group of
//                                            recording rules generated from the table
//   zp-outcome-rules expand FILE             FILE with each @code.words@ and
//                                            @code.next_step@ replaced by the table's text
//   zp-outcome-rules markdown                each outcome's section of the monitoring guide
//   zp-outcome-rules codes                   every code, one a line
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "run/NextSteps.h"

namespace {

using zp::NextStepEntry;
using zp::NextStepTable;
using zp::OutcomeKind;

// A YAML double-quoted scalar.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

bool Read(const char* path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  text = all.str();
  return static_cast<bool>(in);
}

bool Write(const char* path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  return static_cast<bool>(out.flush());
}

// The table as series of one recording rule: each outcome's code, words and next step as
// labels, which the alert rules' annotations look up by the code they find.
std::string OutcomeGroup() {
  std::string out =
      "\n  # Generated from the probe's table of outcomes when the program was built, not written by\n"
      "  # hand: one series per outcome code, with the outcome in words and what to check next\n"
      "  # as the window, the console and the report give them. The alerts above read their\n"
      "  # description from it.\n"
      "  - name: zelvan-probe-outcomes\n"
      "    rules:\n";
  for (const NextStepEntry& e : NextStepTable()) {
    out += "      - record: zelvan_probe_outcome_info\n        expr: vector(1)\n        labels:\n";
    out += std::string("          outcome: ") + e.code + "\n";
    out += "          words: " + Quoted(e.words) + "\n";
    out += "          next_step: " + Quoted(e.step) + "\n";
  }
  return out;
}

// "@refused.words@" and "@refused.next_step@" to the table's text.
void Expand(std::string& text) {
  std::string out;
  std::size_t at = 0;
  while (true) {
    const std::size_t open = text.find('@', at);
    if (open == std::string::npos) break;
    const std::size_t close = text.find('@', open + 1);
    if (close == std::string::npos) break;
    const std::string name = text.substr(open + 1, close - open - 1);
    const std::size_t dot = name.find('.');
    const NextStepEntry* found = nullptr;
    for (const NextStepEntry& e : NextStepTable())
      if (dot != std::string::npos && name.compare(0, dot, e.code) == 0 && dot == std::string(e.code).size())
        found = &e;
    const std::string field = dot == std::string::npos ? "" : name.substr(dot + 1);
    if (found == nullptr || (field != "words" && field != "next_step")) {
      // Not a placeholder: copied as it stands.
      out += text.substr(at, close - at);
      at = close;
      continue;
    }
    out += text.substr(at, open - at) + (field == "words" ? found->words : found->step);
    at = close + 1;
  }
  text = out + text.substr(at);
}

struct Part {
  OutcomeKind first, last;
  const char* heading;
};

// The guide's sections, one per code, under a heading for what the codes describe.
std::string Markdown() {
  const Part parts[] = {
      {OutcomeKind::RouteAllArrived, OutcomeKind::RouteNotTried,
       "Routes: `zelvan_probe_route_outcome`, `--json` `routes[].outcome_code`"},
      {OutcomeKind::ServerAnswered, OutcomeKind::ServerStopped, "Route servers: `--json` `servers[].outcome_code`"},
      {OutcomeKind::NoRouteServerAnswered, OutcomeKind::NoRouteServerAsked,
       "The route list: `--json` `route_list_outcome_code`"},
      {OutcomeKind::KeyReceived, OutcomeKind::KeyNotReached,
       "The public key: `zelvan_probe_key_outcome`, `--json` `key.outcome_code`"},
      {OutcomeKind::RunSuccess, OutcomeKind::RunStopped, "The run: `zelvan_probe_run_outcome`, `--json` `outcome_code`"},
  };
  std::string out;
  for (const Part& part : parts) {
    out += std::string("#### ") + part.heading + "\n";
    for (const NextStepEntry& e : NextStepTable()) {
      if (e.outcome < part.first || e.outcome > part.last) continue;
      out += std::string("\n<a id=\"outcome-") + e.code + "\"></a>`" + e.code + "`: " + e.words + ". " +
             (*e.step != '\0' ? e.step : "Nothing to check.") + "\n";
    }
    out += "\n";
  }
  return out;
}

int Usage() {
  std::fputs("usage: zp-outcome-rules rules TEMPLATE OUTPUT | expand FILE | markdown | codes\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "rules" && argc == 4) {
    std::string text;
    if (!Read(argv[2], text) || !Write(argv[3], text + OutcomeGroup())) {
      std::fprintf(stderr, "zp-outcome-rules: cannot read %s or write %s\n", argv[2], argv[3]);
      return 1;
    }
    return 0;
  }
  if (mode == "expand" && argc == 3) {
    std::string text;
    if (!Read(argv[2], text)) {
      std::fprintf(stderr, "zp-outcome-rules: cannot read %s\n", argv[2]);
      return 1;
    }
    Expand(text);
    std::fputs(text.c_str(), stdout);
    return 0;
  }
  if (mode == "markdown" && argc == 2) {
    std::fputs(Markdown().c_str(), stdout);
    return 0;
  }
  if (mode == "codes" && argc == 2) {
    for (const NextStepEntry& e : NextStepTable()) std::printf("%s\n", e.code);
    return 0;
  }
  return Usage();
}
