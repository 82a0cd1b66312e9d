#pragma once
#include <string>
#include <string_view>

#include "run/TraceLine.h"

namespace zp {

// Any text (from the network or our own words) as HTML or SVG character data or an
// attribute value: control characters and bytes that are not UTF-8 become "\xNN" first,
// then the characters that mean markup become references.
inline std::string HtmlText(std::string_view text) {
  const std::string safe = EscapeControls(text);
  std::string out;
  out.reserve(safe.size());
  for (const char c : safe) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace zp
