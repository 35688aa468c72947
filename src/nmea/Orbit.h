#pragma once

#include "nmea/Almanac.h"

namespace fixcaster {

// WGS 84 values of the navigation message's equations.
inline constexpr double EarthGravitation = 3.986005e14;       // mu, m^3/s^2
inline constexpr double EarthRotationRate = 7.2921151467e-5;  // OmegaE, rad/s
inline constexpr double Wgs84SemiMajorAxis = 6378137.0;
inline constexpr double Wgs84Flattening = 1 / 298.257223563;

// Earth-centred, Earth-fixed coordinates, metres.
struct Ecef {
  double X = 0, Y = 0, Z = 0;
};

// The constants of one orbit, computed once from its almanac record, so that each
// tick only runs the time-dependent steps.
struct Orbit {
  double Epoch = 0;      // reference time as GPS seconds since the GPS epoch
  double WeekCycle = 0;  // seconds of the file's week counter (1024 weeks), 0 for full weeks
  double SemiMajorAxis = 0;
  double MeanMotion = 0;  // rad/s
  double Eccentricity = 0;
  double SqrtOneMinusE2 = 0;
  double MeanAnomaly = 0;
  double ArgumentOfPerigee = 0;
  double CosInclination = 1, SinInclination = 0;
  double NodeAtEpoch = 0;  // Omega0 - OmegaE * toa
  double NodeRate = 0;     // OmegaDot - OmegaE
};

Orbit PrepareOrbit(const AlmanacRecord& record, int weekModulus);

// Eccentric anomaly E of E - e sin E = M, by Newton's iteration.
double SolveKepler(double meanAnomaly, double eccentricity);

// The satellite's position at a GPS time by the almanac equations: mean motion,
// Kepler's equation, true anomaly and argument of latitude, orbit radius, position
// in the orbital plane, the node corrected for the Earth's rotation, ECEF. A week
// counted modulo 1024 is taken as the one nearest to `gpsSeconds`. The signal's
// travel time is not modelled: it moves a satellite by a few thousandths of a degree
// as seen from the ground.
Ecef SatellitePosition(const Orbit& orbit, double gpsSeconds);

// A receiver's place on WGS 84, with what every look at a satellite needs of it.
struct Observer {
  Ecef Position;
  double SinLat = 0, CosLat = 1, SinLon = 0, CosLon = 1;
};

Ecef GeodeticToEcef(double latitudeDeg, double longitudeDeg, double heightM);
Observer MakeObserver(double latitudeDeg, double longitudeDeg, double heightM);

// Direction from the observer to a point: degrees, azimuth 0..360 from true north
// clockwise, elevation -90..90 above the ellipsoid's tangent plane; East, North
// and Up are the unit line of sight in the local frame.
struct LookAngles {
  double Azimuth = 0;
  double Elevation = 0;
  double East = 0, North = 0, Up = 0;
};

LookAngles LookAt(const Observer& observer, const Ecef& target);

}  // namespace fixcaster
