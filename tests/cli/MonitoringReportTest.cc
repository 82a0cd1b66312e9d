// What a label and a text from the network become on a monitoring line, byte by byte.
#include "cli/MonitoringReport.h"

#include <gtest/gtest.h>

#include <string>

namespace zp::test {
namespace {

TEST(MonitoringTextTest, EscapesWhatWouldBreakALineOrItsPerfdata) {
  const struct {
    std::string in, text, label;
  } cases[] = {
      {"r1", "r1", "'r1'"},
      {"a|b", "a\\x7Cb", "'a\\x7Cb'"},
      {"it's", "it's", "'it''s'"},
      {"a=b", "a=b", "'a\\x3Db'"},
      {"tab\there", "tab\\x09here", "'tab\\x09here'"},
      {"csi\x9B", "csi\\x9B", "'csi\\x9B'"},                // a C1 byte on its own is no UTF-8
      {"c1\xC2\x9B", "c1\\xC2\\x9B", "'c1\\xC2\\x9B'"},       // the C1 control in UTF-8
      {"del\x7F ff\xFF", "del\\x7F ff\\xFF", "'del\\x7F ff\\xFF'"},
      {"two\nlines\r", "two\\x0Alines\\x0D", "'two\\x0Alines\\x0D'"},
      {"caf\xC3\xA9 \xE2\x80\x94", "caf\xC3\xA9 \xE2\x80\x94", "'caf\xC3\xA9 \xE2\x80\x94'"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MonitoringText(c.in), c.text) << c.in;
    EXPECT_EQ(PerfdataLabel(c.in), c.label) << c.in;
  }
}

}  // namespace
}  // namespace zp::test
