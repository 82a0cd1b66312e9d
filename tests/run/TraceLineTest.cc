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
      // The direction controls, which would make a line read otherwise than it holds.
      {"r1\xE2\x80\xAE" "deliaf", "r1\\xE2\\x80\\xAEdeliaf"},  // U+202E right-to-left override
      {"\xD8\x9C\xE2\x80\x8E\xE2\x80\x8F", "\\xD8\\x9C\\xE2\\x80\\x8E\\xE2\\x80\\x8F"},  // U+061C, U+200E, U+200F
      {"\xE2\x80\xAA\xE2\x80\xAD", "\\xE2\\x80\\xAA\\xE2\\x80\\xAD"},  // U+202A, U+202D
      {"\xE2\x81\xA6\xE2\x81\xA9", "\\xE2\\x81\\xA6\\xE2\\x81\\xA9"},  // U+2066, U+2069
      // Their neighbours are ordinary text: U+200D (a joiner within emoji), U+202F, U+2065.
      {"\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xA5", "\xE2\x80\x8D\xE2\x80\xAF\xE2\x81\xA5"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(EscapeControls(in), out) << in;
}

TEST(EscapeControlsTest, TheTraceLineEscapesNameAndText) {
  EXPECT_EQ(FormatTraceLine({"Express\x1B", "Mon 12/07 22:00:00", "01 \"\x1B]0;x\x07\""}),
            "Express\\x1B\tMon 12/07 22:00:00\t01 \"\\x1B]0;x\\x07\"");
}

}  // namespace
}  // namespace zp
