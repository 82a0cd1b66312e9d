#include "platform/Random.h"

#include <mutex>

namespace zp {
namespace {
std::mutex g_mu;
std::uint32_t g_seed = 0;
}  // namespace

std::uint32_t RandomRange(std::uint32_t n) {
  std::lock_guard lock(g_mu);
  g_seed = g_seed * 134775813u + 1u;
  return static_cast<std::uint32_t>((std::uint64_t{g_seed} * n) >> 32);
}

namespace testing {
void SetRandomSeed(std::uint32_t seed) {
  std::lock_guard lock(g_mu);
  g_seed = seed;
}
std::uint32_t RandomSeed() {
  std::lock_guard lock(g_mu);
  return g_seed;
}
}  // namespace testing

}  // namespace zp
