#pragma once
#include <cstddef>
#include <utility>

namespace zp {

// The name a table of (value, name) pairs gives `value`, or `missing` when it lists none.
template <typename Value, std::size_t N>
const char* NameIn(const std::pair<Value, const char*> (&names)[N], Value value, const char* missing) {
  for (const auto& [v, name] : names)
    if (v == value) return name;
  return missing;
}

}  // namespace zp
