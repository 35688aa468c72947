#include "nmea/Dop.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "nmea/Random.h"

namespace fixcaster {
namespace {

constexpr double Deg = std::numbers::pi / 180;

LineOfSight Toward(double azimuthDeg, double elevationDeg) {
  const double az = azimuthDeg * Deg, el = elevationDeg * Deg;
  return {std::cos(el) * std::sin(az), std::cos(el) * std::cos(az), std::sin(el)};
}

struct GeometryCase {
  const char* name;
  std::vector<LineOfSight> sats;
  double pdop, hdop, vdop;
  int dimensions;
};

TEST(Dop, ConstructedGeometries) {
  // One satellite at the zenith and three at elevation el, 120 deg apart: G^T G is
  // diag(1.5 c^2, 1.5 c^2) beside [[1 + 3 s^2, -(1 + 3 s)], [-(1 + 3 s), 4]] (c, s of
  // el), so HDOP^2 = 2 / (1.5 c^2) and VDOP^2 = 4 / (4 (1 + 3 s^2) - (1 + 3 s)^2).
  const GeometryCase cases[] = {
      {"zenith and three on the horizon",
       {Toward(0, 90), Toward(0, 0), Toward(120, 0), Toward(240, 0)},
       std::sqrt(8.0 / 3),
       std::sqrt(4.0 / 3),
       std::sqrt(4.0 / 3),
       3},
      {"zenith and three at 30 deg",
       {Toward(0, 90), Toward(10, 30), Toward(130, 30), Toward(250, 30)},
       std::sqrt(16.0 / 9 + 16.0 / 3),
       4.0 / 3,
       std::sqrt(16.0 / 3),
       3},
      // Three on the horizon and the height held: the 2D rows [-e, -n, 1] give
      // diag(1.5, 1.5, 3).
      {"three on the horizon, 2D",
       {Toward(0, 0), Toward(120, 0), Toward(240, 0)},
       std::sqrt(4.0 / 3),
       std::sqrt(4.0 / 3),
       0,
       2},
      // The same geometry twice over: twice the measurements, DOP / sqrt(2).
      {"every satellite doubled",
       {Toward(0, 90), Toward(0, 0), Toward(120, 0), Toward(240, 0), Toward(0, 90), Toward(0, 0),
        Toward(120, 0), Toward(240, 0)},
       std::sqrt(8.0 / 3) / std::sqrt(2.0),
       std::sqrt(4.0 / 3) / std::sqrt(2.0),
       std::sqrt(4.0 / 3) / std::sqrt(2.0),
       3},
  };
  for (const GeometryCase& c : cases) {
    const auto dop = ComputeDop(c.sats);
    ASSERT_TRUE(dop) << c.name;
    EXPECT_NEAR(dop->Pdop, c.pdop, 1e-9) << c.name;
    EXPECT_NEAR(dop->Hdop, c.hdop, 1e-9) << c.name;
    EXPECT_NEAR(dop->Vdop, c.vdop, 1e-9) << c.name;
    EXPECT_EQ(dop->Dimensions, c.dimensions) << c.name;
  }
}

TEST(Dop, GeometriesThatFixNothing) {
  const std::vector<std::vector<LineOfSight>> cases = {
      {},
      {Toward(0, 45), Toward(90, 45)},
      // The same elevation everywhere: height and clock cannot be told apart.
      {Toward(0, 30), Toward(90, 30), Toward(180, 30), Toward(270, 30), Toward(45, 30)},
      // Four lines of sight in one plane through the receiver.
      {Toward(0, 10), Toward(0, 50), Toward(180, 20), Toward(180, 70)},
      // All in one direction.
      {Toward(33, 40), Toward(33, 40), Toward(33, 40), Toward(33, 40)},
  };
  for (size_t i = 0; i < cases.size(); ++i) EXPECT_FALSE(ComputeDop(cases[i])) << i;
}

// Q = (G^T G)^-1 by Gauss-Jordan elimination with partial pivoting on the full
// 4 x 4 matrix, for comparison.
std::array<double, 3> GaussJordanDop(const std::vector<LineOfSight>& sats) {
  double m[4][8] = {};
  for (const LineOfSight& s : sats) {
    const double row[4] = {-s.East, -s.North, -s.Up, 1};
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) m[i][j] += row[i] * row[j];
  }
  for (int i = 0; i < 4; ++i) m[i][4 + i] = 1;
  for (int c = 0; c < 4; ++c) {
    int p = c;
    for (int r = c + 1; r < 4; ++r)
      if (std::fabs(m[r][c]) > std::fabs(m[p][c])) p = r;
    for (int j = 0; j < 8; ++j) std::swap(m[c][j], m[p][j]);
    const double d = m[c][c];
    for (int j = 0; j < 8; ++j) m[c][j] /= d;
    for (int r = 0; r < 4; ++r) {
      if (r == c) continue;
      const double f = m[r][c];
      for (int j = 0; j < 8; ++j) m[r][j] -= f * m[c][j];
    }
  }
  return {std::sqrt(m[0][4] + m[1][5] + m[2][6]), std::sqrt(m[0][4] + m[1][5]), std::sqrt(m[2][6])};
}

TEST(Dop, AgreesWithGaussJordanOverRandomSkies) {
  SplitMix64 random(42);
  for (int trial = 0; trial < 500; ++trial) {
    std::vector<LineOfSight> sats;
    const int n = 4 + static_cast<int>(random.Next() % 30);
    for (int i = 0; i < n; ++i) {
      sats.push_back(Toward(360 * random.Uniform(), 5 + 85 * random.Uniform()));
    }
    const auto dop = ComputeDop(sats);
    ASSERT_TRUE(dop) << trial;
    const auto ref = GaussJordanDop(sats);
    EXPECT_NEAR(dop->Pdop / ref[0], 1, 0.01) << trial;
    EXPECT_NEAR(dop->Hdop / ref[1], 1, 0.01) << trial;
    EXPECT_NEAR(dop->Vdop / ref[2], 1, 0.01) << trial;
  }
}

}  // namespace
}  // namespace fixcaster
