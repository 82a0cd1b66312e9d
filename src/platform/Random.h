#pragma once
#include <cstdint>

namespace zp {

// The platform library's linear congruential generator: one process-wide 32-bit seed,
// 0 at start and never re-seeded, so the same sequence of draws gives the same
// numbers in every run. Each draw: seed := seed * 134775813 + 1 (mod 2^32); the result
// for a range of n is the high 32 bits of seed * n, that is 0 .. n-1.
std::uint32_t RandomRange(std::uint32_t n);

namespace testing {
void SetRandomSeed(std::uint32_t seed);
std::uint32_t RandomSeed();
}  // namespace testing

}  // namespace zp
