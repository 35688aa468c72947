#pragma once

#include <cstdint>

namespace fixcaster {

// SplitMix64: small, fast, and the same numbers on every platform and standard
// library (the standard distributions are not), so a seed reproduces a run exactly.
inline uint64_t Mix64(uint64_t x) {
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

class SplitMix64 {
 public:
  explicit SplitMix64(uint64_t seed) : state_(seed) {}
  uint64_t Next() { return Mix64(state_ += 0x9E3779B97F4A7C15ull); }
  // Uniform in [0, 1), 53 bits.
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }

 private:
  uint64_t state_;
};

}  // namespace fixcaster
