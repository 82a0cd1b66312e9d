#pragma once
#include <cstdio>
#include <string>

namespace zp {

// printf-style formatting into a string, for the worker's trace and status lines.
template <typename... Args>
std::string Format(const char* format, Args... args) {
  char line[1024];
  std::snprintf(line, sizeof line, format, args...);
  return line;
}

}  // namespace zp
