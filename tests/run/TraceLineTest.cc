// What every front end shows of a text from the network.
#include <gtest/gtest.h>

#include "run/TraceLine.h"

namespace zp {
namespace {

TEST(EscapeControlsTest, OnlyWhatCouldActOnATerminalIsEscaped) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain text, tabs\tstay", "plain text, tabs\tstay"},
      {"\x1B[2J\x07\x08\x0E\r\n", "\\x1B[2J\\x07\\x08\\x0E\\x0D\\x0A"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\x7F", "\\x7F"},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},  // UTF-8 stays
      {"\xC2\x9B" "31m", "\\xC2\\x9B31m"},          // a C1 control (CSI), even as UTF-8
      {"\x9B" "31m", "\\x9B31m"},                    // the same byte alone
      {"caf\xE9", "caf\\xE9"},                       // Latin-1, not UTF-8
      {"\xC0\x80", "\\xC0\\x80"},                    // an overlong form
      {"\xED\xA0\x80", "\\xED\\xA0\\x80"},           // a surrogate
      {"\xE2\x82", "\\xE2\\x82"},                    // cut short
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(EscapeControls(in), out) << in;
}

TEST(EscapeControlsTest, TheTraceLineEscapesNameAndText) {
  EXPECT_EQ(FormatTraceLine({"Express\x1B", "Mon 12/07 22:00:00", "01 \"\x1B]0;x\x07\""}),
            "Express\\x1B\tMon 12/07 22:00:00\t01 \"\\x1B]0;x\\x07\"");
}

}  // namespace
}  // namespace zp
