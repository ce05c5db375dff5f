// The search's random generator: a 64-bit linear congruential generator whose outputs are
// fixed, so that a run with the same seed gives the same plan everywhere.
#pragma once

#include <cstdint>

namespace zarvel::optimiser {

class RandomGenerator {
 public:
  void Seed(uint32_t seed) {
    const uint32_t low = seed * 22695477u + 1u;
    state_ = low;
  }
  // 0 .. 2^31-1.
  uint32_t Next() {
    state_ = state_ * 1486058704437ull + 1ull;
    return static_cast<uint32_t>(state_ >> 32) & 0x7FFFFFFFu;
  }
  // 0 when n is 0, else the next output modulo n.
  uint32_t Random(uint32_t n) { return n == 0 ? 0 : Next() % n; }

  uint64_t State() const { return state_; }

 private:
  uint64_t state_ = 1;
};

}  // namespace zarvel::optimiser
