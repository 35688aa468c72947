#pragma once

#include <cstdint>

#include "app/FixPoint.h"
#include "nmea/Random.h"

namespace fixcaster {

struct NoiseSettings {
  double HorizontalError = 0;  // 1-sigma metres of the north error and of the east error
  double VerticalError = 0;    // 1-sigma metres
  double CorrelationTime = 0;  // seconds; 0: a new error every tick
  uint64_t Seed = 0;           // the same seed gives the same errors, tick by tick
  bool NoisyVelocity = false;  // speed and course from the wandering fix, not the track
};

// The error of the emitted fix, metres, and how fast it changes, metres per second.
struct NoiseOffset {
  double North = 0, East = 0, Up = 0;
  double NorthRate = 0, EastRate = 0;
};

// A fix that wanders around the true path like a receiver's: a first-order
// Gauss-Markov process on each axis (north, east, up),
//   x(k+1) = phi x(k) + sigma sqrt(1 - phi^2) w(k),  phi = exp(-dt / tau),
// w standard normal, so the error keeps the sigma in the long run and forgets
// itself with the correlation time tau. The first error is drawn from that steady
// distribution. The numbers come from the seed alone, so a run with the same seed
// and tick period repeats exactly.
class PositionNoise {
 public:
  explicit PositionNoise(const NoiseSettings& settings = {});

  // Any sigma above 0; when off the fix goes out untouched, byte for byte.
  bool Enabled() const { return horizontal_ > 0 || vertical_ > 0; }
  const NoiseSettings& Settings() const { return settings_; }

  // Moves the error on by dtSeconds (the tick period; 0 leaves it as it is).
  const NoiseOffset& Step(double dtSeconds);
  const NoiseOffset& Offset() const { return offset_; }

  // The fix moved by the current error. Speed and course stay the true ones unless
  // NoisyVelocity: then the error's rate is added to the true velocity.
  FixPoint Apply(const FixPoint& truth) const;

 private:
  double Normal();

  NoiseSettings settings_;
  double horizontal_ = 0, vertical_ = 0, tau_ = 0;
  SplitMix64 random_;
  bool haveSpare_ = false;
  double spare_ = 0;
  NoiseOffset offset_;
};

}  // namespace fixcaster
