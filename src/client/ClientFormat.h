#pragma once
#include <cstdio>
#include <string>

namespace zp {

// printf-style formatting into a string of whatever length the result needs (a route
// text from the network can be long), for the worker's trace and status lines.
template <typename... Args>
std::string Format(const char* format, Args... args) {
  char line[256];
  const int n = std::snprintf(line, sizeof line, format, args...);
  if (n < 0) return {};
  if (static_cast<std::size_t>(n) < sizeof line) return std::string(line, static_cast<std::size_t>(n));
  std::string out(static_cast<std::size_t>(n) + 1, '\0');
  std::snprintf(out.data(), out.size(), format, args...);
  out.resize(static_cast<std::size_t>(n));
  return out;
}

}  // namespace zp
