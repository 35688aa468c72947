#include "nmea/Orbit.h"

#include <cmath>
#include <numbers>

#include "nmea/GnssTime.h"

namespace fixcaster {

namespace {

constexpr double TwoPi = 2 * std::numbers::pi;
constexpr double DegToRad = std::numbers::pi / 180;

}  // namespace

Orbit PrepareOrbit(const AlmanacRecord& r, int weekModulus) {
  Orbit o;
  o.Epoch = r.Week * SecondsPerWeek + r.Toa;
  o.WeekCycle = weekModulus > 0 ? weekModulus * SecondsPerWeek : 0;
  o.SemiMajorAxis = r.SqrtA * r.SqrtA;
  o.MeanMotion =
      std::sqrt(EarthGravitation / (o.SemiMajorAxis * o.SemiMajorAxis * o.SemiMajorAxis));
  o.Eccentricity = r.Eccentricity;
  o.SqrtOneMinusE2 = std::sqrt(1 - r.Eccentricity * r.Eccentricity);
  o.MeanAnomaly = r.MeanAnomaly;
  o.ArgumentOfPerigee = r.ArgumentOfPerigee;
  o.CosInclination = std::cos(r.Inclination);
  o.SinInclination = std::sin(r.Inclination);
  o.NodeAtEpoch = r.Omega0 - EarthRotationRate * r.Toa;
  o.NodeRate = r.OmegaDot - EarthRotationRate;
  return o;
}

double SolveKepler(double m, double e) {
  // Newton's iteration on M folded into -pi..pi, from Danby's start M + 0.85 e sign(M),
  // which converges for every eccentricity below 1 (from M alone it can run off for
  // the very eccentric orbits); two or three steps for navigation orbits.
  const double folded = std::remainder(m, 2 * std::numbers::pi);
  double E = folded + 0.85 * e * (folded < 0 ? -1 : 1);
  for (int i = 0; i < 50; ++i) {
    const double step = (E - e * std::sin(E) - folded) / (1 - e * std::cos(E));
    E -= step;
    if (std::fabs(step) < 1e-14) break;
  }
  return E + (m - folded);
}

Ecef SatellitePosition(const Orbit& o, double gpsSeconds) {
  double tk = gpsSeconds - o.Epoch;
  if (o.WeekCycle > 0) tk -= o.WeekCycle * std::nearbyint(tk / o.WeekCycle);
  const double m = std::fmod(o.MeanAnomaly + o.MeanMotion * tk, TwoPi);
  const double E = SolveKepler(m, o.Eccentricity);
  const double sinE = std::sin(E), cosE = std::cos(E);
  const double trueAnomaly = std::atan2(o.SqrtOneMinusE2 * sinE, cosE - o.Eccentricity);
  const double u = trueAnomaly + o.ArgumentOfPerigee;
  const double r = o.SemiMajorAxis * (1 - o.Eccentricity * cosE);
  const double xp = r * std::cos(u);
  const double yp = r * std::sin(u);
  const double node = std::fmod(o.NodeAtEpoch + o.NodeRate * tk, TwoPi);
  const double sinNode = std::sin(node), cosNode = std::cos(node);
  return {xp * cosNode - yp * o.CosInclination * sinNode,
          xp * sinNode + yp * o.CosInclination * cosNode, yp * o.SinInclination};
}

Ecef GeodeticToEcef(double latitudeDeg, double longitudeDeg, double heightM) {
  const double lat = latitudeDeg * DegToRad, lon = longitudeDeg * DegToRad;
  const double e2 = Wgs84Flattening * (2 - Wgs84Flattening);
  const double sinLat = std::sin(lat), cosLat = std::cos(lat);
  const double n = Wgs84SemiMajorAxis / std::sqrt(1 - e2 * sinLat * sinLat);
  return {(n + heightM) * cosLat * std::cos(lon), (n + heightM) * cosLat * std::sin(lon),
          (n * (1 - e2) + heightM) * sinLat};
}

Observer MakeObserver(double latitudeDeg, double longitudeDeg, double heightM) {
  Observer o;
  o.Position = GeodeticToEcef(latitudeDeg, longitudeDeg, heightM);
  o.SinLat = std::sin(latitudeDeg * DegToRad);
  o.CosLat = std::cos(latitudeDeg * DegToRad);
  o.SinLon = std::sin(longitudeDeg * DegToRad);
  o.CosLon = std::cos(longitudeDeg * DegToRad);
  return o;
}

LookAngles LookAt(const Observer& o, const Ecef& target) {
  const double dx = target.X - o.Position.X;
  const double dy = target.Y - o.Position.Y;
  const double dz = target.Z - o.Position.Z;
  const double east = -o.SinLon * dx + o.CosLon * dy;
  const double north = -o.SinLat * o.CosLon * dx - o.SinLat * o.SinLon * dy + o.CosLat * dz;
  const double up = o.CosLat * o.CosLon * dx + o.CosLat * o.SinLon * dy + o.SinLat * dz;
  const double range = std::sqrt(east * east + north * north + up * up);
  LookAngles a;
  if (!(range > 0)) return a;
  a.East = east / range;
  a.North = north / range;
  a.Up = up / range;
  a.Elevation = std::atan2(up, std::sqrt(east * east + north * north)) / DegToRad;
  a.Azimuth = std::atan2(east, north) / DegToRad;
  if (a.Azimuth < 0) a.Azimuth += 360;
  if (a.Azimuth >= 360) a.Azimuth -= 360;  // a tiny negative angle plus 360
  return a;
}

}  // namespace fixcaster
