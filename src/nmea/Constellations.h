#pragma once

#include "nmea/Almanac.h"

namespace fixcaster {

// The built-in skies, used for a system when no almanac file is given. They are
// nominal: the constellations as designed, circular orbits, every satellite
// healthy, the nodes drifting at the Earth's J2 rate.
//
// GPS: the 24 slots of the GPS SPS performance standard (planes A..F, slots 1..4,
// PRN 1..24 in that order), right ascension and argument of latitude as of its
// defined epoch 1993-07-01 00:00 UTC with the Greenwich hour angle 18h36m14.4s;
// 26,559.7 km, 55 degrees.
//
// Galileo (Walker 24/3/1, 56 degrees, 29,600 km), GLONASS (24/3/1, 64.8 degrees,
// 25,510 km) and BeiDou MEO (24/3/1, 55 degrees, 27,900 km): reference epoch the
// start of GPS week 2048 (2019-04-07 00:00 GPS time), when satellite 1 is at the
// ascending node of plane 1, whose Earth-fixed longitude is 0 (Galileo), 40
// (GLONASS) and 80 (BeiDou) degrees so that the three skies do not start out
// lined up. Numbers 1..24 plane by plane (GLONASS slots, sent as 65..88).
Almanac NominalAlmanac(GnssSystem system);

// A Walker delta constellation T/P/F: T satellites in P planes spaced equally in
// right ascension, T/P equally spaced in each plane, and each plane's satellites
// F * 360 / T degrees further along than the previous plane's.
struct WalkerConstellation {
  GnssSystem System = GnssSystem::Galileo;
  int Satellites = 24;
  int Planes = 3;
  int Phasing = 1;
  double InclinationDeg = 56;
  double SemiMajorAxisM = 29600e3;
  int Week = 2048;  // reference epoch, GPS time
  double Toa = 0;
  double FirstNodeDeg = 0;  // Earth-fixed longitude of plane 1's node at the epoch
};
Almanac WalkerAlmanac(const WalkerConstellation& walker);

// The Earth's oblateness (J2) turns an orbit's node westward by this rate, rad/s.
double NodalRegressionRate(double semiMajorAxisM, double inclinationRad);

}  // namespace fixcaster
