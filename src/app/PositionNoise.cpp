#include "app/PositionNoise.h"

#include <cmath>
#include <numbers>

namespace fixcaster {

namespace {

constexpr double DegToRad = std::numbers::pi / 180;
constexpr double KnotInMetresPerSecond = 1852.0 / 3600;

// A sigma or time that is not a positive number counts as 0 (off).
double Positive(double v) {
  return v > 0 && std::isfinite(v) ? v : 0;
}

}  // namespace

PositionNoise::PositionNoise(const NoiseSettings& settings)
    : settings_(settings),
      horizontal_(Positive(settings.HorizontalError)),
      vertical_(Positive(settings.VerticalError)),
      tau_(Positive(settings.CorrelationTime)),
      random_(settings.Seed) {
  if (!Enabled()) return;
  offset_.North = horizontal_ * Normal();
  offset_.East = horizontal_ * Normal();
  offset_.Up = vertical_ * Normal();
}

double PositionNoise::Normal() {
  // Marsaglia's polar method: needs only log and sqrt, which give the same results
  // everywhere, unlike the standard library's distributions.
  if (haveSpare_) {
    haveSpare_ = false;
    return spare_;
  }
  double u = 0, v = 0, s = 0;
  do {
    u = 2 * random_.Uniform() - 1;
    v = 2 * random_.Uniform() - 1;
    s = u * u + v * v;
  } while (s >= 1 || s == 0);
  const double f = std::sqrt(-2 * std::log(s) / s);
  spare_ = v * f;
  haveSpare_ = true;
  return u * f;
}

const NoiseOffset& PositionNoise::Step(double dtSeconds) {
  if (!Enabled()) return offset_;
  if (!(dtSeconds > 0)) {
    offset_.NorthRate = offset_.EastRate = 0;
    return offset_;
  }
  const double phi = tau_ > 0 ? std::exp(-dtSeconds / tau_) : 0;
  const double q = std::sqrt(1 - phi * phi);
  // All three axes draw every step, so one sigma does not change the others' errors.
  const double n = Normal(), e = Normal(), u = Normal();
  const double north = phi * offset_.North + horizontal_ * q * n;
  const double east = phi * offset_.East + horizontal_ * q * e;
  offset_.NorthRate = (north - offset_.North) / dtSeconds;
  offset_.EastRate = (east - offset_.East) / dtSeconds;
  offset_.North = north;
  offset_.East = east;
  offset_.Up = phi * offset_.Up + vertical_ * q * u;
  return offset_;
}

FixPoint PositionNoise::Apply(const FixPoint& truth) const {
  if (!Enabled()) return truth;
  FixPoint out = OffsetFix(truth, offset_.North, offset_.East, offset_.Up);
  if (settings_.NoisyVelocity && std::isfinite(truth.Speed) && std::isfinite(truth.Course)) {
    const double v = truth.Speed * KnotInMetresPerSecond;
    const double ve = v * std::sin(truth.Course * DegToRad) + offset_.EastRate;
    const double vn = v * std::cos(truth.Course * DegToRad) + offset_.NorthRate;
    const double speed = std::hypot(ve, vn);
    out.Speed = speed / KnotInMetresPerSecond;
    if (speed > 0) {
      double course = std::atan2(ve, vn) / DegToRad;
      if (course < 0) course += 360;
      out.Course = course >= 360 ? course - 360 : course;
    }
  }
  return out;
}

}  // namespace fixcaster
