#include "track/Geodesic.h"

#include <gtest/gtest.h>
#include <GeographicLib/Geodesic.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace fixcaster {
namespace {

struct GeodesicCase {
  const char* name;
  double lat1, lon1, lat2, lon2, alt1, alt2;
  double expected;
  double tolerance;
  int evaluations;  // -1: not checked
};

const GeodesicCase kCases[] = {
    {"along the equator", 0, 0, 0, 1, 0, 0, 111319.4908, 1e-4, 4},
    {"along a meridian", 0, 0, 1, 0, 0, 0, 110574.3886, 1e-4, 1},
    {"same point, altitudes differ", 12.5, 33, 12.5, 33, 0, 100, 100, 0, 0},
    {"longitudes 360 apart", 12.5, -180, 12.5, 180, 100, 0, 100, 0, 0},
    {"across the date line", 0, 179.5, 0, -179.5, 0, 0, 111319.49, 1e-2, -1},
    {"antipodal, nudged", 10, 20, -10, -160, 0, 0, 20003868.08, 1e-2, -1},
    {"nearly antipodal, iteration limit", 0, 0, 0.5, 179.7, 0, 0, 19923773.6, 0.1, 21},
    {"default track span", 35.68040222222222, 139.76910916666668, 35.68360472222222,
     139.77096916666667, 3, 3, 393.2019, 1e-4, -1},
};

TEST(GeodesicDistance, KnownDistances) {
  for (const GeodesicCase& c : kCases) {
    const GeodesicSolution s = SolveGeodesic(c.lat1, c.lon1, c.lat2, c.lon2, c.alt1, c.alt2);
    EXPECT_NEAR(s.Distance, c.expected, c.tolerance) << c.name;
    if (c.evaluations >= 0) {
      EXPECT_EQ(s.Evaluations, c.evaluations) << c.name;
    }
    EXPECT_EQ(GeodesicDistance(c.lat1, c.lon1, c.lat2, c.lon2, c.alt1, c.alt2), s.Distance)
        << c.name;
  }
}

TEST(GeodesicDistance, AltitudeIsTheSecondLegOfARightAngle) {
  const double flat = GeodesicDistance(35, 139, 35.01, 139.01, 0, 0);
  const double raised = GeodesicDistance(35, 139, 35.01, 139.01, 10, 510);
  EXPECT_NEAR(raised, std::hypot(flat, 500.0), 1e-9);
}

TEST(GeodesicDistance, UnusableInputGivesNoCrash) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double values[] = {nan, inf, -inf, 1e308, -1e308, 1e-308, 90, -90, 0};
  for (double a : values)
    for (double b : values) {
      const GeodesicSolution s = SolveGeodesic(a, b, b, a, a, b);
      EXPECT_LE(s.Evaluations, 21);
    }
}

// Agreement with Karney's algorithm (GeographicLib) on the GRS 80 ellipsoid for
// random pairs away from the antipodal region, where Vincenty's method converges.
TEST(GeodesicDistance, AgreesWithGeographicLib) {
  const GeographicLib::Geodesic grs80(6378137, 1 / 298.257222101);
  std::mt19937_64 rng(20261210);
  std::uniform_real_distribution<double> lat(-90, 90);
  std::uniform_real_distribution<double> lon(-180, 180);
  std::uniform_real_distribution<double> unit(0, 1);
  double largest = 0;
  int compared = 0;
  while (compared < 5000) {
    const double lat1 = lat(rng);
    const double lon1 = lon(rng);
    double lat2;
    double lon2;
    // A third of the pairs are short legs, as in a track, a third end within 10
    // degrees of the antipode; the rest span the globe.
    if (compared % 3 == 1) {
      lat2 = std::clamp(-lat1 + (unit(rng) - 0.5) * 20, -90.0, 90.0);
      lon2 = lon1 + 180 + (unit(rng) - 0.5) * 20;
      if (lon2 > 180) lon2 -= 360;
    } else if (compared % 3 == 0) {
      lat2 = std::clamp(lat1 + (unit(rng) - 0.5) * 0.2, -90.0, 90.0);
      lon2 = lon1 + (unit(rng) - 0.5) * 0.2;
      if (lon2 > 180) lon2 -= 360;
      if (lon2 < -180) lon2 += 360;
    } else {
      lat2 = lat(rng);
      lon2 = lon(rng);
    }
    // Stay 2 degrees away from the antipode of the first point (angle on the sphere):
    // closer in, the iteration converges slowly or not at all.
    const double d2r = M_PI / 180;
    const double cosToAntipode =
        -(std::sin(lat1 * d2r) * std::sin(lat2 * d2r) +
          std::cos(lat1 * d2r) * std::cos(lat2 * d2r) * std::cos((lon2 - lon1) * d2r));
    if (std::acos(std::clamp(cosToAntipode, -1.0, 1.0)) < 2 * d2r) continue;
    double reference = 0;
    grs80.Inverse(lat1, lon1, lat2, lon2, reference);
    const double ours = GeodesicDistance(lat1, lon1, lat2, lon2, 0, 0);
    const double diff = std::fabs(ours - reference);
    EXPECT_LT(diff, 1e-3) << lat1 << "," << lon1 << " -> " << lat2 << "," << lon2;
    largest = std::max(largest, diff);
    ++compared;
  }
  RecordProperty("LargestDifferenceMetres", std::to_string(largest));
  std::printf("largest difference to GeographicLib (GRS 80) over %d pairs: %.3g m\n", compared,
              largest);
}

}  // namespace
}  // namespace fixcaster
