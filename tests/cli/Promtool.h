#pragma once
// Checking a metrics file with Prometheus's own linter, the way node_exporter's readers
// parse it. CI installs promtool: a machine without it fails the check, it does not skip.
// A Windows test has no shell to run it through: there the check is left out (status 0).
#include <filesystem>
#include <string>

#include "support/ProcessRunner.h"

namespace zp::test {

struct PromtoolVerdict {
  int status = -1;     // 0 when the file parses and passes the lint
  std::string output;  // what promtool said
};

inline PromtoolVerdict PromtoolCheck(const std::filesystem::path& file) {
  PromtoolVerdict verdict;
  if (std::string(ZP_TEST_SHELL).empty()) {
    verdict.status = 0;
    return verdict;
  }
  Program promtool({ZP_TEST_SHELL, "-c", "exec promtool check metrics < \"$1\"", "sh", file.string()});
  verdict.status = promtool.Finish(30);
  verdict.output = promtool.out + promtool.err;
  if (verdict.status == 127) verdict.output += "(promtool is not installed: scripts/install-deps.sh installs it)";
  return verdict;
}

}  // namespace zp::test
