#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "nmea/Almanac.h"
#include "nmea/Dop.h"
#include "nmea/Orbit.h"
#include "nmea/Presets.h"

namespace fixcaster {

using SystemSet = std::array<bool, GnssSystemCount>;  // indexed by GnssSystem

struct SkyOptions {
  SystemSet Systems{true, false, false, false};
  double MaskDeg = 5;      // in view means above this elevation
  uint64_t Seed = 0;       // of the signal strengths' variation
  double Cn0SpreadDb = 2;  // the variation, up to this either way
};

struct SkySatellite {
  GnssSystem System = GnssSystem::Gps;
  int Number = 0;        // within its system, as in its almanac
  double Azimuth = 0;    // degrees from true north
  double Elevation = 0;  // degrees
  int Cn0 = 0;           // dB-Hz
  bool Healthy = true;
  bool Used = false;
  LineOfSight Los;
};

// A fix uses at most this many satellites of each system (the GSA sentence's fields).
inline constexpr int MaxUsedPerSystem = 12;

struct Sky {
  SystemSet Systems{};  // switched on: their sentences go out even with nothing in view
  std::vector<SkySatellite> Satellites;  // in view, by system, then by number
  int UsedCount = 0;
  int FixMode = 1;                                         // as GSA sends it: 1 no fix, 2 2D, 3 3D
  double Pdop = std::numeric_limits<double>::quiet_NaN();  // NaN without a fix
  double Hdop = std::numeric_limits<double>::quiet_NaN();
  double Vdop = std::numeric_limits<double>::quiet_NaN();
};

// The orbits of every system: nominal ones until an almanac replaces a system's.
class SkyModel {
 public:
  SkyModel();
  void SetAlmanac(const Almanac& almanac);  // replaces the orbits of almanac.System
  size_t SatelliteCount(GnssSystem system) const;

  // The sky seen from a place at a UTC date-time (days since 1899-12-30): the
  // satellites in view of the systems switched on, their signal strengths, the used
  // ones and the DOP. `out` is rewritten; its storage is reused from tick to tick.
  void Compute(double utcDateTime, double latitudeDeg, double longitudeDeg, double heightM,
               const SkyOptions& options, Sky& out) const;

 private:
  struct Satellite {
    int Number = 0;
    bool Healthy = true;
    Orbit Path;
  };
  std::array<std::vector<Satellite>, GnssSystemCount> systems_;
};

// Chooses the used satellites again (healthy ones, the highest first, at most
// MaxUsedPerSystem of each system) and solves the DOP and fix mode from them.
void ChooseUsed(Sky& sky);
// Keeps the `count` satellites highest in the sky (all systems together) and
// chooses again: a receiver that sees only that many.
void LimitInView(Sky& sky, int count);

// 20 + 30 sin(elevation) dB-Hz, varied by up to spreadDb either way by a value that
// depends only on the seed, the satellite and the whole GPS second, rounded; 0..99.
int CarrierToNoise(double elevationDeg, uint64_t seed, GnssSystem system, int number,
                   double gpsSeconds, double spreadDb);

// The satellite's number in NMEA sentences: GLONASS slots as 65..96, the other
// systems' numbers as they are (GPS 1..32; Galileo 1..36 and BeiDou 1..63 within
// their own talkers, as NMEA 4.1 numbers them).
int NmeaSatelliteId(GnssSystem system, int number);
// "GP", "GL", "GA", "GB".
std::string_view SystemTalker(GnssSystem system);

// "GP,GL,GA,GB" (any order, any subset, blanks ignored, either case) -> the set;
// nullopt for an unknown name or an empty list.
std::optional<SystemSet> ParseSystems(std::string_view text);

// A DOP as GSA, GGA and GNS send it: two decimals, "99.99" when there is none or
// it is larger.
std::string DopText(double dop);

// What GGA and GNS report of a computed sky: both the satellites used by the whole
// fix and its HDOP. GGA adds SatsUsed1 and SatsUsed2 and GNS reports SatsUsed2, so
// the count is SatsUsed2 and SatsUsed1 is 0.
PresetSummary SkySummary(const Sky& sky);

}  // namespace fixcaster
