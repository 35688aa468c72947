#pragma once

namespace fixcaster {

// The fix of one tick as the output cycle emits it.
struct FixPoint {
  double Latitude = 0;   // degrees, north positive
  double Longitude = 0;  // degrees, east positive
  double Altitude = 0;   // metres
  double Speed = 0;      // knots
  double Course = 0;     // degrees from true north
};

// The fix moved by metres north, east and up, with the WGS 84 radii of curvature
// at the step's middle latitude: within a millimetre of the geodesic for the metres
// of a position error, and within a few parts in a million for a jump of tens of
// kilometres. East offsets vanish
// at the poles; the latitude stays within +-90 and the longitude within -180..180.
// Speed and course are left as they are.
FixPoint OffsetFix(const FixPoint& fix, double northM, double eastM, double upM);

// A displacement of `metres` towards `bearingDeg` (from true north) as north and east
// metres.
struct NorthEast {
  double North = 0, East = 0;
};
NorthEast Displacement(double metres, double bearingDeg);

}  // namespace fixcaster
