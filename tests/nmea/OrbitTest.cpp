#include "nmea/Orbit.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

#include "nmea/Constellations.h"
#include "nmea/Format.h"
#include "nmea/GnssTime.h"

namespace fixcaster {
namespace {

constexpr double Pi = std::numbers::pi;
constexpr double Deg = Pi / 180;
constexpr int TestWeek = 2300;
constexpr double WeekStart = TestWeek * SecondsPerWeek;

// A record with full weeks; angles in degrees for readability.
AlmanacRecord Record(double sqrtA, double e, double inclinationDeg, double omega0Deg,
                     double perigeeDeg, double meanAnomalyDeg, double toa = 0) {
  AlmanacRecord r;
  r.Prn = 1;
  r.SqrtA = sqrtA;
  r.Eccentricity = e;
  r.Inclination = inclinationDeg * Deg;
  r.Omega0 = omega0Deg * Deg;
  r.ArgumentOfPerigee = perigeeDeg * Deg;
  r.MeanAnomaly = meanAnomalyDeg * Deg;
  r.Week = TestWeek;
  r.Toa = toa;
  return r;
}

// Azimuth and elevation worked out by hand for orbits whose geometry has a closed
// form; A = 5150^2 m = 26,522.5 km, a = 6,378,137 m, receivers on the equator
// unless named. An azimuth of -1 is not checked (the satellite is at the zenith).
struct HandCase {
  const char* name;
  AlmanacRecord record;
  double secondsIntoWeek;
  double lat, lon, height;
  double azimuth, elevation;
};

TEST(Propagation, HandCheckedTable) {
  // e = 0.5 at E = 90 deg: M = 90 deg - 0.5 rad; r = A and the true anomaly is
  // atan2(sqrt(0.75), -0.5) = 120 deg, so with a perigee of 30 deg the satellite
  // stands over longitude 150.
  const double eccentricM = 90 - 0.5 / Deg;
  // Quarter of an orbit: (pi/2) / sqrt(mu / A^3) = 10746.6386 s, in which the Earth
  // turns 45.0997 deg under the node's 90 deg.
  const double quarter = 10746.638609971547;
  const HandCase cases[] = {
      {"equatorial orbit straight overhead", Record(5150, 0, 0, 0, 0, 0), 0, 0, 0, 0, -1, 90},
      // cos(76.0851 deg) = a / A: the line of sight grazes the ellipsoid, to the east.
      {"rising in the east on the horizon", Record(5150, 0, 0, 0, 0, 0), 0, 0, -76.08511412825402,
       0, 90, 0},
      // Polar orbit 45 deg past the node: atan((A cos 45 - a) / (A sin 45)).
      {"polar orbit due north", Record(5150, 0, 90, 0, 0, 45), 0, 0, 0, 0, 0, 33.421202784561984},
      {"a quarter orbit later, the Earth turned", Record(5150, 0, 0, 0, 0, 0), quarter, 0,
       45.09974631185568, 0, -1, 90},
      {"eccentric orbit overhead at 150 E", Record(5150, 0.5, 0, 0, 30, eccentricM), 0, 0, 150, 0,
       -1, 90},
      // The same satellite from longitude 0: atan2(A cos 150 - a, A sin 150), east.
      {"eccentric orbit below the horizon", Record(5150, 0.5, 0, 0, 30, eccentricM), 0, 0, 0, 0, 90,
       -65.68307496716015},
      // Two days after the week's start the node stands at 1 rad - OmegaE * 172800 s.
      {"reference time into the week", Record(5150, 0, 0, 1 / Deg, 0, 0, 172800), 172800, 0,
       55.324554937598165, 0, -1, 90},
      // Over 45 N geocentric, seen from 45 N geodetic: the normal leans towards the
      // equator, so the satellite stands 0.06 deg off the zenith, to the north.
      {"ellipsoid normal at 45 N", Record(5150, 0, 90, 0, 0, 45), 0, 45, 0, 0, 0,
       89.93920877032437},
      {"ellipsoid normal at 45 N, 1000 m up", Record(5150, 0, 90, 0, 0, 45), 0, 45, 0, 1000, 0,
       89.93920575399787},
  };
  for (const HandCase& c : cases) {
    const Orbit orbit = PrepareOrbit(c.record, 0);
    const LookAngles look = LookAt(MakeObserver(c.lat, c.lon, c.height),
                                   SatellitePosition(orbit, WeekStart + c.secondsIntoWeek));
    EXPECT_NEAR(look.Elevation, c.elevation, 1e-6) << c.name;
    if (c.azimuth >= 0) {
      EXPECT_NEAR(look.Azimuth, c.azimuth, 1e-6) << c.name;
    }
    const double norm = std::hypot(look.East, look.North, look.Up);
    EXPECT_NEAR(norm, 1, 1e-12) << c.name;
    EXPECT_NEAR(std::asin(look.Up) / Deg, c.elevation, 1e-6) << c.name;
  }
}

TEST(Propagation, KeplerSolvesItsEquation) {
  for (double e : {0.0, 0.01, 0.3, 0.7, 0.95}) {
    for (double m = -7; m <= 7; m += 0.37) {
      const double E = SolveKepler(m, e);
      EXPECT_NEAR(E - e * std::sin(E), m, 1e-12) << "e " << e << " M " << m;
    }
  }
}

// --- an independent computation --------------------------------------------------------

using Vec = std::array<double, 3>;
using Mat = std::array<Vec, 3>;

Mat RotZ(double a) {
  return {{{std::cos(a), -std::sin(a), 0}, {std::sin(a), std::cos(a), 0}, {0, 0, 1}}};
}
Mat RotX(double a) {
  return {{{1, 0, 0}, {0, std::cos(a), -std::sin(a)}, {0, std::sin(a), std::cos(a)}}};
}
Mat Mul(const Mat& a, const Mat& b) {
  Mat m{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) m[i][j] += a[i][k] * b[k][j];
  return m;
}
Vec Apply(const Mat& m, const Vec& v) {
  return {m[0][0] * v[0] + m[0][1] * v[1] + m[0][2] * v[2],
          m[1][0] * v[0] + m[1][1] * v[1] + m[1][2] * v[2],
          m[2][0] * v[0] + m[2][1] * v[1] + m[2][2] * v[2]};
}
double Dot(const Vec& a, const Vec& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Vec Cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Vec Unit(const Vec& v) {
  const double n = std::sqrt(Dot(v, v));
  return {v[0] / n, v[1] / n, v[2] / n};
}

// The orbit in its perifocal frame (Kepler by bisection), turned into an inertial
// frame aligned with Greenwich at the start of the week by R3(node) R1(i) R3(perigee),
// then into the Earth-fixed frame by the Earth's rotation since then.
Vec IndependentPosition(const AlmanacRecord& r, double gpsSeconds) {
  const double a = r.SqrtA * r.SqrtA;
  const double n = std::sqrt(3.986005e14 / (a * a * a));
  const double weekStart = r.Week * SecondsPerWeek;
  const double dt = gpsSeconds - (weekStart + r.Toa);
  const double m = r.MeanAnomaly + n * dt;
  double lo = m - 1, hi = m + 1;  // |E - M| <= e < 1
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2;
    (mid - r.Eccentricity * std::sin(mid) < m ? lo : hi) = mid;
  }
  const double E = (lo + hi) / 2;
  const Vec perifocal = {a * (std::cos(E) - r.Eccentricity),
                         a * std::sqrt(1 - r.Eccentricity * r.Eccentricity) * std::sin(E), 0};
  const double node = r.Omega0 + r.OmegaDot * dt;
  const Mat toInertial = Mul(Mul(RotZ(node), RotX(r.Inclination)), RotZ(r.ArgumentOfPerigee));
  const double earthAngle = 7.2921151467e-5 * (gpsSeconds - weekStart);
  return Apply(RotZ(-earthAngle), Apply(toInertial, perifocal));
}

// Azimuth and elevation from the ellipsoid's normal (the gradient of x^2/a^2 +
// y^2/a^2 + z^2/b^2), the receiver placed by its reduced latitude.
std::array<double, 2> IndependentLook(double latDeg, double lonDeg, double h, const Vec& sat) {
  const double a = 6378137.0, b = a * (1 - 1 / 298.257223563);
  const double lat = latDeg * Deg, lon = lonDeg * Deg;
  const double beta = std::atan2(b * std::sin(lat), a * std::cos(lat));
  const Vec surface = {a * std::cos(beta) * std::cos(lon), a * std::cos(beta) * std::sin(lon),
                       b * std::sin(beta)};
  const Vec up = Unit({surface[0] / (a * a), surface[1] / (a * a), surface[2] / (b * b)});
  const Vec receiver = {surface[0] + h * up[0], surface[1] + h * up[1], surface[2] + h * up[2]};
  const Vec east = Unit(Cross({0, 0, 1}, up));
  const Vec north = Cross(up, east);
  const Vec los = Unit({sat[0] - receiver[0], sat[1] - receiver[1], sat[2] - receiver[2]});
  double az = std::atan2(Dot(los, east), Dot(los, north)) / Deg;
  if (az < 0) az += 360;
  return {az, std::asin(Dot(los, up)) / Deg};
}

double AngleDiff(double a, double b) {
  return std::fabs(std::remainder(a - b, 360.0));
}

TEST(Propagation, AgreesWithAnIndependentComputation) {
  std::vector<AlmanacRecord> records;
  for (int s = 0; s < GnssSystemCount; ++s) {
    for (const AlmanacRecord& r : NominalAlmanac(static_cast<GnssSystem>(s)).Records) {
      records.push_back(r);
    }
  }
  // Orbits as almanacs describe them: eccentric, inclined, perigee anywhere,
  // reference times in the middle of the week, and two far beyond navigation orbits.
  records.push_back(Record(5153.62, 0.0109, 54.2, -68.5, 41.8, 57.5, 319488));
  records.push_back(Record(5153.71, 0.0203, 56.9, 122.3, -88.1, -170.4, 405504));
  records.push_back(Record(5440.61, 0.0006, 56.0, 10.0, 200.0, 300.0, 61440));
  records.push_back(Record(6493.00, 0.0750, 55.5, 250.0, 180.0, 10.0, 500000));
  records.push_back(Record(6000.00, 0.7, 63.4, 33.0, 270.0, 5.0, 100000));
  records.push_back(Record(8000.00, 0.3, 110.0, -140.0, 15.0, 200.0, 600000));
  for (AlmanacRecord& r : records) {
    r.OmegaDot = r.OmegaDot == 0 ? -8.1e-9 : r.OmegaDot;
    r.Week = TestWeek;  // the nominal sets' own epochs lie years away; both paths agree there too
  }
  records.push_back(NominalAlmanac(GnssSystem::Gps).Records[4]);  // epoch in 1993

  const std::array<std::array<double, 3>, 6> receivers = {{{0, 0, 0},
                                                           {35.6804, 139.7691, 40},
                                                           {-33.92, 18.42, 120},
                                                           {78.22, 15.65, 10},
                                                           {-89.99, 0, 2835},
                                                           {51.48, -0.001, -30}}};
  int compared = 0;
  double worst = 0;
  for (const AlmanacRecord& r : records) {
    const Orbit orbit = PrepareOrbit(r, 0);
    for (double t = WeekStart - 2 * SecondsPerDay; t < WeekStart + 9 * SecondsPerDay; t += 2221) {
      const Ecef p = SatellitePosition(orbit, t);
      const Vec q = IndependentPosition(r, t);
      for (const auto& rx : receivers) {
        const LookAngles look = LookAt(MakeObserver(rx[0], rx[1], rx[2]), p);
        const auto ref = IndependentLook(rx[0], rx[1], rx[2], q);
        ASSERT_LT(std::fabs(look.Elevation - ref[1]), 0.1) << "PRN " << r.Prn << " t " << t;
        worst = std::fmax(worst, std::fabs(look.Elevation - ref[1]));
        if (ref[1] < 89.5) {
          ASSERT_LT(AngleDiff(look.Azimuth, ref[0]), 0.1) << "PRN " << r.Prn << " t " << t;
          worst = std::fmax(worst, AngleDiff(look.Azimuth, ref[0]));
        }
        ++compared;
      }
    }
  }
  EXPECT_GT(compared, 10000);
  EXPECT_LT(worst, 1e-6) << "the two paths should differ only by rounding";
}

TEST(Propagation, TenBitWeeksMeanTheNearestWeek) {
  AlmanacRecord full = Record(5153.6, 0.01, 55, 20, 30, 40, 405504);
  full.Week = 2301;
  AlmanacRecord folded = full;
  folded.Week = 2301 % 1024;  // 253, as YUMA and SEM files give it
  const Orbit a = PrepareOrbit(full, 0);
  const Orbit b = PrepareOrbit(folded, 1024);
  // Either side of the reference time, and across the week counter's roll-over.
  for (double days : {-300.0, -3.0, 0.0, 2.5, 250.0}) {
    const double t = 2301 * SecondsPerWeek + 405504 + days * SecondsPerDay;
    const Ecef pa = SatellitePosition(a, t), pb = SatellitePosition(b, t);
    EXPECT_NEAR(pa.X, pb.X, 1e-3) << days;
    EXPECT_NEAR(pa.Y, pb.Y, 1e-3) << days;
    EXPECT_NEAR(pa.Z, pb.Z, 1e-3) << days;
  }
}

TEST(GnssTime, GpsSecondsFromTheProgramsDateTime) {
  EXPECT_DOUBLE_EQ(GpsSecondsFromUtc(EncodeDateTime({1980, 1, 6, 0, 0, 0, 0})), 18);
  // 2024-01-01 is the Monday of GPS week 2295.
  const GpsWeekTime w = ToWeekTime(GpsSecondsFromUtc(EncodeDateTime({2024, 1, 1, 12, 0, 0, 0})));
  EXPECT_EQ(w.Week, 2295);
  EXPECT_NEAR(w.Seconds, 86400 + 43200 + 18, 1e-4);
  const double utc = EncodeDateTime({2026, 3, 4, 5, 6, 7, 890});
  EXPECT_NEAR(UtcFromGpsSeconds(GpsSecondsFromUtc(utc)), utc, 1e-11);
}

// --- the built-in constellations ---------------------------------------------------------

struct DesignCase {
  GnssSystem system;
  size_t satellites;
  double radiusKm;
  double inclinationDeg;
  double publishedPeriodS;  // as the systems' operators give it
};

TEST(Constellations, NominalOrbitsHaveTheirDesignShape) {
  const DesignCase cases[] = {
      {GnssSystem::Gps, 24, 26559.7, 55, 11 * 3600 + 58 * 60 + 2},
      {GnssSystem::Galileo, 24, 29600, 56, 14 * 3600 + 4 * 60 + 45},
      {GnssSystem::Glonass, 24, 25510, 64.8, 11 * 3600 + 15 * 60 + 44},
      {GnssSystem::BeiDou, 24, 27900, 55, 12 * 3600 + 53 * 60 + 24},
  };
  for (const DesignCase& c : cases) {
    const Almanac a = NominalAlmanac(c.system);
    ASSERT_EQ(a.Records.size(), c.satellites);
    for (size_t i = 0; i < a.Records.size(); ++i) EXPECT_EQ(a.Records[i].Prn, int(i) + 1);
    const AlmanacRecord& r = a.Records[5];
    const Orbit o = PrepareOrbit(r, a.WeekModulus);
    EXPECT_NEAR(2 * Pi / o.MeanMotion, c.publishedPeriodS, 60) << int(c.system);
    // Over one orbit the ground track reaches the inclination as its highest latitude.
    double highest = 0;
    const double t0 = 2300 * SecondsPerWeek;
    for (double t = t0; t < t0 + 2 * Pi / o.MeanMotion; t += 10) {
      const Ecef p = SatellitePosition(o, t);
      const double radius = std::hypot(p.X, p.Y, p.Z);
      EXPECT_NEAR(radius / 1000, c.radiusKm, 1e-6);
      highest = std::fmax(highest, std::asin(p.Z / radius) / Deg);
    }
    EXPECT_NEAR(highest, c.inclinationDeg, 0.01) << int(c.system);
    // The nodes drift westward, as J2 turns prograde orbits.
    EXPECT_LT(r.OmegaDot, -1e-9);
    EXPECT_GT(r.OmegaDot, -1e-8);
  }
}

TEST(Constellations, GpsSlotsStandWhereTheTableSaysAtTheDefinedEpoch) {
  // Sub-satellite points at 1993-07-01 00:00 UTC (GPS week 703, 345609 s): latitude
  // asin(sin 55 sin u); longitude the right ascension minus the hour angle 279.06
  // deg plus atan2(cos 55 sin u, cos u).
  struct SlotCase {
    int prn;
    double lat, lon;
  } cases[] = {{3, 9.542410764874932, 0.5468105641583296},         // A3: 272.847, 11.676
               {13, 35.2355162107279, 324.14412393179197 - 360}};  // D1: 92.847, 135.226
  const Almanac gps = NominalAlmanac(GnssSystem::Gps);
  for (const SlotCase& c : cases) {
    const Orbit o = PrepareOrbit(gps.Records[c.prn - 1], gps.WeekModulus);
    const Ecef p = SatellitePosition(o, 703 * SecondsPerWeek + 345609);
    EXPECT_NEAR(std::atan2(p.Z, std::hypot(p.X, p.Y)) / Deg, c.lat, 1e-6) << c.prn;
    EXPECT_NEAR(std::atan2(p.Y, p.X) / Deg, c.lon, 1e-6) << c.prn;
  }
}

TEST(Constellations, WalkerPlanesAndPhasing) {
  WalkerConstellation w;
  w.Satellites = 6;
  w.Planes = 3;
  w.Phasing = 1;
  w.FirstNodeDeg = 10;
  w.Toa = 3600;
  const Almanac a = WalkerAlmanac(w);
  ASSERT_EQ(a.Records.size(), 6u);
  // At the epoch satellite k of plane p is 180 k + 60 p deg past its node, and plane
  // p's node lies at 10 + 120 p deg Earth-fixed.
  for (const AlmanacRecord& r : a.Records) {
    const int plane = (r.Prn - 1) / 2, k = (r.Prn - 1) % 2;
    EXPECT_NEAR(std::remainder(r.MeanAnomaly / Deg - (180.0 * k + 60.0 * plane), 360.0), 0, 1e-9);
    const Orbit o = PrepareOrbit(r, 0);
    const double node = std::remainder(o.NodeAtEpoch / Deg, 360.0);
    EXPECT_NEAR(std::remainder(node - (10 + 120.0 * plane), 360.0), 0, 1e-9) << r.Prn;
  }
  w.Satellites = 7;  // not a multiple of the planes: nothing to build
  EXPECT_TRUE(WalkerAlmanac(w).Records.empty());
}

}  // namespace
}  // namespace fixcaster
