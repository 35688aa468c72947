#include "app/PositionNoise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "app/FixPoint.h"
#include "track/Geodesic.h"

namespace fixcaster {
namespace {

const FixPoint Tokyo{35.68040222, 139.76910917, 40.0, 12.5, 33.0};

bool SameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

struct Moments {
  double mean = 0, sigma = 0;
};

Moments Of(const std::vector<double>& x) {
  Moments m;
  for (double v : x) m.mean += v;
  m.mean /= static_cast<double>(x.size());
  for (double v : x) m.sigma += (v - m.mean) * (v - m.mean);
  m.sigma = std::sqrt(m.sigma / static_cast<double>(x.size() - 1));
  return m;
}

double Autocorrelation(const std::vector<double>& x, size_t lag) {
  const Moments m = Of(x);
  double s = 0;
  for (size_t i = lag; i < x.size(); ++i) s += (x[i] - m.mean) * (x[i - lag] - m.mean);
  return s / static_cast<double>(x.size() - lag) / (m.sigma * m.sigma);
}

struct Samples {
  std::vector<double> north, east, up;
};

Samples Draw(const NoiseSettings& settings, int n, double dt) {
  PositionNoise noise(settings);
  Samples s;
  for (int i = 0; i < n; ++i) {
    const NoiseOffset& o = noise.Step(dt);
    s.north.push_back(o.North);
    s.east.push_back(o.East);
    s.up.push_back(o.Up);
  }
  return s;
}

TEST(PositionNoise, OffLeavesTheFixByteForByte) {
  for (const NoiseSettings settings :
       {NoiseSettings{}, NoiseSettings{0, 0, 30, 7, true}, NoiseSettings{-1, std::nan(""), 5, 1}}) {
    PositionNoise noise(settings);
    EXPECT_FALSE(noise.Enabled());
    for (int i = 0; i < 5; ++i) noise.Step(0.1);
    const FixPoint out = noise.Apply(Tokyo);
    EXPECT_TRUE(SameBits(out.Latitude, Tokyo.Latitude));
    EXPECT_TRUE(SameBits(out.Longitude, Tokyo.Longitude));
    EXPECT_TRUE(SameBits(out.Altitude, Tokyo.Altitude));
    EXPECT_TRUE(SameBits(out.Speed, Tokyo.Speed));
    EXPECT_TRUE(SameBits(out.Course, Tokyo.Course));
  }
  // Only vertical noise: latitude and longitude untouched.
  PositionNoise vertical({0, 5, 0, 3});
  vertical.Step(1);
  const FixPoint out = vertical.Apply(Tokyo);
  EXPECT_TRUE(SameBits(out.Latitude, Tokyo.Latitude));
  EXPECT_TRUE(SameBits(out.Longitude, Tokyo.Longitude));
  EXPECT_NE(out.Altitude, Tokyo.Altitude);
}

TEST(PositionNoise, MeanAndSigmaOverTenThousandSamples) {
  constexpr int N = 10000;
  // Independent from tick to tick: the sample mean is within 4 sigma / sqrt(N).
  {
    const Samples s = Draw({3.0, 5.0, 0, 12345}, N, 1.0);
    for (const auto& [axis, sigma] : {std::pair{&s.north, 3.0}, {&s.east, 3.0}, {&s.up, 5.0}}) {
      const Moments m = Of(*axis);
      EXPECT_LT(std::fabs(m.mean), 4 * sigma / std::sqrt(N));
      EXPECT_NEAR(m.sigma / sigma, 1, 0.03);
      EXPECT_LT(std::fabs(Autocorrelation(*axis, 1)), 0.04);
    }
  }
  // Correlated over 20 s at 1 s ticks: the same sigma, neighbours correlated by
  // exp(-1/20), and by 1/e one correlation time apart; the mean of correlated
  // samples is looser, sigma sqrt((1 + phi) / (1 - phi) / N).
  {
    const double tau = 20, phi = std::exp(-1 / tau);
    const Samples s = Draw({2.0, 4.0, tau, 99}, N, 1.0);
    for (const auto& [axis, sigma] : {std::pair{&s.north, 2.0}, {&s.east, 2.0}, {&s.up, 4.0}}) {
      const Moments m = Of(*axis);
      EXPECT_LT(std::fabs(m.mean), 4 * sigma * std::sqrt((1 + phi) / (1 - phi) / N));
      EXPECT_NEAR(m.sigma / sigma, 1, 0.12);
      EXPECT_NEAR(Autocorrelation(*axis, 1), phi, 0.01);
      EXPECT_NEAR(Autocorrelation(*axis, 20), std::exp(-1.0), 0.1);
    }
  }
}

TEST(PositionNoise, TheSeedReproducesARun) {
  const NoiseSettings settings{2.5, 4, 10, 2024, true};
  const Samples a = Draw(settings, 200, 0.2), b = Draw(settings, 200, 0.2);
  EXPECT_EQ(a.north, b.north);
  EXPECT_EQ(a.up, b.up);
  NoiseSettings other = settings;
  other.Seed = 2025;
  EXPECT_NE(Draw(other, 200, 0.2).north, a.north);
  // The vertical sigma does not change the horizontal errors.
  other = settings;
  other.VerticalError = 0.5;
  EXPECT_EQ(Draw(other, 200, 0.2).east, a.east);
}

TEST(PositionNoise, TheFixMovesByTheError) {
  PositionNoise noise({4, 6, 0, 77});
  for (int i = 0; i < 50; ++i) {
    const NoiseOffset o = noise.Step(1);
    const FixPoint out = noise.Apply(Tokyo);
    const double moved =
        GeodesicDistance(Tokyo.Latitude, Tokyo.Longitude, out.Latitude, out.Longitude, 0, 0);
    EXPECT_NEAR(moved, std::hypot(o.North, o.East), 1e-3);
    EXPECT_EQ(out.Latitude > Tokyo.Latitude, o.North > 0);
    EXPECT_EQ(out.Longitude > Tokyo.Longitude, o.East > 0);
    EXPECT_NEAR(out.Altitude - Tokyo.Altitude, o.Up, 1e-9);
    EXPECT_EQ(out.Speed, Tokyo.Speed);
    EXPECT_EQ(out.Course, Tokyo.Course);
  }
}

TEST(PositionNoise, NoisyVelocityFollowsTheWanderingFix) {
  PositionNoise noise({3, 0, 5, 8, true});
  FixPoint still = Tokyo;
  still.Speed = 0;
  double prevNorth = noise.Offset().North, prevEast = noise.Offset().East;
  for (int i = 0; i < 20; ++i) {
    const NoiseOffset o = noise.Step(0.5);
    // Standing still, the speed is the error's own motion between the two ticks.
    const FixPoint out = noise.Apply(still);
    const double ve = (o.East - prevEast) / 0.5, vn = (o.North - prevNorth) / 0.5;
    EXPECT_NEAR(out.Speed * 1852 / 3600, std::hypot(ve, vn), 1e-9);
    double course = std::atan2(ve, vn) * 180 / 3.14159265358979323846;
    if (course < 0) course += 360;
    EXPECT_NEAR(out.Course, course, 1e-9);
    prevNorth = o.North;
    prevEast = o.East;
  }
}

struct OffsetCase {
  const char* name;
  FixPoint from;
  double north, east;
  double lat, lon;  // expected, where given (NaN: checked by distance only)
  double distance;
};

TEST(FixOffset, AgainstTheGeodesic) {
  const double nan = std::nan("");
  const OffsetCase cases[] = {
      {"1 km north on the equator", {0, 10, 0}, 1000, 0, nan, 10, 1000},
      {"1 km east at 60 N", {60, 10, 0}, 0, 1000, 60, nan, 1000},
      {"10 m south-west at 35 S", {-35, -58, 0}, -7.0710678, -7.0710678, nan, nan, 10},
      {"20 km north-east in Tokyo", Tokyo, 14142.1356, 14142.1356, nan, nan, 20000},
      {"east across the antimeridian", {10, 179.9999, 0}, 0, 100, 10, nan, 100},
      {"north past the pole stops at it", {89.99999, 0, 0}, 100, 0, 90, 0, nan},
      {"east at the pole has no meaning", {90, 30, 0}, 0, 100, 90, 30, nan},
  };
  for (const OffsetCase& c : cases) {
    const FixPoint out = OffsetFix(c.from, c.north, c.east, 0);
    if (!std::isnan(c.lat)) {
      EXPECT_NEAR(out.Latitude, c.lat, 1e-12) << c.name;
    }
    if (!std::isnan(c.lon)) {
      EXPECT_NEAR(out.Longitude, c.lon, 1e-12) << c.name;
    }
    EXPECT_GE(out.Longitude, -180) << c.name;
    EXPECT_LE(out.Longitude, 180) << c.name;
    if (!std::isnan(c.distance)) {
      const double d =
          GeodesicDistance(c.from.Latitude, c.from.Longitude, out.Latitude, out.Longitude, 0, 0);
      EXPECT_NEAR(d / c.distance, 1, 1e-5) << c.name;
    }
  }
  const NorthEast d = Displacement(100, 90);
  EXPECT_NEAR(d.North, 0, 1e-12);
  EXPECT_NEAR(d.East, 100, 1e-12);
}

}  // namespace
}  // namespace fixcaster
