#pragma once
#include <string>
#include <vector>

// The program's diagnostic log. Its lines never reach the trace list of the window:
// they are kept in memory, the latest kDebugLogCapacity of them, for tests and for a
// debugger to read.
namespace zp {

inline constexpr std::size_t kDebugLogCapacity = 256;

struct DebugLogLine {
  std::string source;
  std::string text;
};

// Any thread.
void DebugLog(const std::string& source, const std::string& text);
// The kept lines, oldest first.
std::vector<DebugLogLine> DebugLogLines();
void ClearDebugLog();

}  // namespace zp
