#include "app/FixPoint.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace fixcaster {

namespace {

constexpr double DegToRad = std::numbers::pi / 180;
constexpr double A = 6378137.0;
constexpr double F = 1 / 298.257223563;
constexpr double E2 = F * (2 - F);

// Meridian and prime-vertical radii of curvature at a latitude, plus the height.
struct Radii {
  double Meridian, PrimeVertical;
};

Radii RadiiAt(double latRad, double height) {
  const double w = 1 - E2 * std::sin(latRad) * std::sin(latRad);
  return {A * (1 - E2) / (w * std::sqrt(w)) + height, A / std::sqrt(w) + height};
}

}  // namespace

FixPoint OffsetFix(const FixPoint& fix, double northM, double eastM, double upM) {
  FixPoint out = fix;
  const double lat = fix.Latitude * DegToRad;
  // The radii of the middle latitude of the step keep the error second order in
  // the distance.
  double mid = lat;
  if (northM != 0) {
    mid = lat + 0.5 * northM / RadiiAt(lat, fix.Altitude).Meridian;
    const double moved = lat + northM / RadiiAt(mid, fix.Altitude).Meridian;
    mid = 0.5 * (lat + moved);
    out.Latitude = std::clamp(moved / DegToRad, -90.0, 90.0);
  }
  const double parallel = RadiiAt(mid, fix.Altitude).PrimeVertical * std::cos(mid);
  if (eastM != 0 && parallel > 1e-3) {
    out.Longitude = std::remainder(fix.Longitude + eastM / parallel / DegToRad, 360.0);
  }
  if (upM != 0) out.Altitude = fix.Altitude + upM;
  return out;
}

NorthEast Displacement(double metres, double bearingDeg) {
  return {metres * std::cos(bearingDeg * DegToRad), metres * std::sin(bearingDeg * DegToRad)};
}

}  // namespace fixcaster
