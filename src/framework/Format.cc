#include "framework/Format.h"

#include <cstdarg>
#include <cstdio>

namespace zp {

namespace {

void AppendV(std::string& out, const char* format, std::va_list args) {
  char line[256];
  std::va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(line, sizeof line, format, args);
  if (n < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(n) < sizeof line) {
    out.append(line, static_cast<std::size_t>(n));
  } else {
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(n) + 1);
    std::vsnprintf(out.data() + at, static_cast<std::size_t>(n) + 1, format, again);
    out.resize(at + static_cast<std::size_t>(n));
  }
  va_end(again);
}

}  // namespace

std::string Format(const char* format, ...) {
  std::string out;
  std::va_list args;
  va_start(args, format);
  AppendV(out, format, args);
  va_end(args);
  return out;
}

void AppendFormat(std::string& out, const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  AppendV(out, format, args);
  va_end(args);
}

std::vector<std::string> DumpLines(const std::string& prefix_in, int length, const void* data) {
  std::vector<std::string> lines;
  if (length <= 0 || data == nullptr) return lines;
  const std::string prefix = prefix_in.substr(0, 255);
  const auto* bytes = static_cast<const unsigned char*>(data);
  const int per_line = length <= 32 ? 8 : 16;
  lines.reserve(static_cast<std::size_t>(length / per_line + 3));
  lines.push_back(prefix + Format(" === BEGINS  %d Bytes", length));
  for (int offset = 0; offset < length; offset += per_line) {
    std::string line = prefix;
    AppendFormat(line, " %4.4d: ", offset);
    for (int i = 0; i < per_line; ++i) {
      if (offset + i < length)
        AppendFormat(line, "%2.2X ", bytes[offset + i]);
      else
        line += "   ";
    }
    line += "   ";
    for (int i = 0; i < per_line; ++i) {
      if (offset + i < length) {
        const unsigned char c = bytes[offset + i];
        line += (c >= 32 && c <= 122) ? static_cast<char>(c) : '.';
      } else {
        line += ' ';
      }
    }
    lines.push_back(std::move(line));
  }
  lines.push_back(prefix + " === ENDS");
  return lines;
}

}  // namespace zp
