#pragma once
#include <stdexcept>
#include <string>

namespace zp {

// The system's ordinary error: it carries a message, which the worker's task loop
// turns into the fatal-error report.
class ZError : public std::runtime_error {
 public:
  explicit ZError(const std::string& message) : std::runtime_error(message) {}
};

// Queue misuse: an index past the entries.
class EUnderflow : public ZError {
 public:
  using ZError::ZError;
};

// Corruption found, such as a changed guard word.
class EInvalidOp : public ZError {
 public:
  using ZError::ZError;
};

class EOutOfMemory : public ZError {
 public:
  using ZError::ZError;
};

}  // namespace zp
