#include "nmea/Constellations.h"

#include <array>
#include <cmath>
#include <numbers>

#include "nmea/GnssTime.h"
#include "nmea/Orbit.h"

namespace fixcaster {

namespace {

constexpr double Pi = std::numbers::pi;
constexpr double DegToRad = Pi / 180;
constexpr double J2 = 1.08262668e-3;

// Right ascension of the node and argument of latitude of the 24 slots, degrees,
// planes A..F, slots 1..4.
struct Slot {
  double Raan;
  double ArgumentOfLatitude;
};
constexpr std::array<Slot, 24> GpsSlots = {{
    {272.847, 268.126}, {272.847, 161.786}, {272.847, 11.676},  {272.847, 41.806},
    {332.847, 80.956},  {332.847, 173.336}, {332.847, 309.976}, {332.847, 204.376},
    {32.847, 111.876},  {32.847, 11.796},   {32.847, 339.666},  {32.847, 241.556},
    {92.847, 135.226},  {92.847, 265.446},  {92.847, 35.156},   {92.847, 167.356},
    {152.847, 197.046}, {152.847, 302.596}, {152.847, 66.066},  {152.847, 333.686},
    {212.847, 238.886}, {212.847, 345.226}, {212.847, 105.206}, {212.847, 135.346},
}};
constexpr double GpsSemiMajorAxis = 26559.7e3;
constexpr double GpsInclinationDeg = 55;
// The defined epoch 1993-07-01 00:00 UTC: GPS week 703, Thursday, GPS time then 9 s
// ahead of UTC.
constexpr int GpsEpochWeek = 703;
constexpr double GpsEpochToa = 4 * SecondsPerDay + 9;
constexpr double GpsEpochHourAngleDeg = (18 + 36 / 60.0 + 14.4 / 3600) * 15;

double Wrap(double rad) {
  return std::remainder(rad, 2 * Pi);
}

AlmanacRecord Circular(int prn, double semiMajorAxis, double inclinationRad) {
  AlmanacRecord r;
  r.Prn = prn;
  r.SqrtA = std::sqrt(semiMajorAxis);
  r.Inclination = inclinationRad;
  r.OmegaDot = NodalRegressionRate(semiMajorAxis, inclinationRad);
  return r;
}

Almanac NominalGps() {
  Almanac a;
  a.System = GnssSystem::Gps;
  const double inclination = GpsInclinationDeg * DegToRad;
  for (size_t i = 0; i < GpsSlots.size(); ++i) {
    AlmanacRecord r = Circular(static_cast<int>(i) + 1, GpsSemiMajorAxis, inclination);
    r.Week = GpsEpochWeek;
    r.Toa = GpsEpochToa;
    // The table's right ascension is inertial; the almanac's node is counted from
    // Greenwich at the start of the week, which lies toa seconds of Earth rotation
    // before the epoch's hour angle.
    r.Omega0 = Wrap((GpsSlots[i].Raan - GpsEpochHourAngleDeg) * DegToRad +
                    EarthRotationRate * GpsEpochToa);
    // Circular: the argument of latitude is the mean anomaly from a perigee at the node.
    r.MeanAnomaly = Wrap(GpsSlots[i].ArgumentOfLatitude * DegToRad);
    a.Records.push_back(r);
  }
  return a;
}

}  // namespace

double NodalRegressionRate(double semiMajorAxisM, double inclinationRad) {
  const double n = std::sqrt(EarthGravitation / (semiMajorAxisM * semiMajorAxisM * semiMajorAxisM));
  const double ratio = Wgs84SemiMajorAxis / semiMajorAxisM;
  return -1.5 * n * J2 * ratio * ratio * std::cos(inclinationRad);
}

Almanac WalkerAlmanac(const WalkerConstellation& w) {
  Almanac a;
  a.System = w.System;
  if (w.Satellites <= 0 || w.Planes <= 0 || w.Satellites % w.Planes != 0) return a;
  const int perPlane = w.Satellites / w.Planes;
  const double inclination = w.InclinationDeg * DegToRad;
  for (int plane = 0; plane < w.Planes; ++plane) {
    for (int k = 0; k < perPlane; ++k) {
      AlmanacRecord r = Circular(plane * perPlane + k + 1, w.SemiMajorAxisM, inclination);
      r.Week = w.Week;
      r.Toa = w.Toa;
      // Earth-fixed at the epoch; the equations take Omega0 at the start of the week.
      r.Omega0 =
          Wrap((w.FirstNodeDeg + 360.0 * plane / w.Planes) * DegToRad + EarthRotationRate * w.Toa);
      r.MeanAnomaly =
          Wrap((360.0 * k / perPlane + 360.0 * w.Phasing * plane / w.Satellites) * DegToRad);
      a.Records.push_back(r);
    }
  }
  return a;
}

Almanac NominalAlmanac(GnssSystem system) {
  WalkerConstellation w;
  w.System = system;
  switch (system) {
    case GnssSystem::Gps:
      return NominalGps();
    case GnssSystem::Galileo:
      w.InclinationDeg = 56;
      w.SemiMajorAxisM = 29600e3;
      w.FirstNodeDeg = 0;
      break;
    case GnssSystem::Glonass:
      w.InclinationDeg = 64.8;
      w.SemiMajorAxisM = 25510e3;
      w.FirstNodeDeg = 40;
      break;
    case GnssSystem::BeiDou:
      w.InclinationDeg = 55;
      w.SemiMajorAxisM = 27900e3;
      w.FirstNodeDeg = 80;
      break;
  }
  return WalkerAlmanac(w);
}

}  // namespace fixcaster
