#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace fixcaster {

// The satellite systems a sky can hold, in the order their sentences go out.
enum class GnssSystem : uint8_t { Gps, Glonass, Galileo, BeiDou };
inline constexpr int GnssSystemCount = 4;

// Highest satellite number of a system within its own numbering: GPS PRN 1..32,
// GLONASS slot 1..32 (sent as 65..96), Galileo 1..36, BeiDou 1..63.
int MaxSatelliteNumber(GnssSystem system);

// One satellite's almanac in the units of the navigation message's equations:
// radians, seconds, metres. Every system's orbit is kept on GPS time.
struct AlmanacRecord {
  int Prn = 0;     // number within its system
  int Health = 0;  // 0 healthy; others are shown in view but not used in the fix
  double Eccentricity = 0;
  double Toa = 0;  // reference time, seconds into week `Week`
  int Week = 0;
  double Inclination = 0;        // i0, rad
  double OmegaDot = 0;           // rate of right ascension, rad/s
  double SqrtA = 0;              // square root of the semi-major axis, m^1/2
  double Omega0 = 0;             // longitude of the ascending node at the start of the week, rad
  double ArgumentOfPerigee = 0;  // rad
  double MeanAnomaly = 0;        // M0 at the reference time, rad
  double Af0 = 0;                // clock terms, kept as read; a sky needs no clock
  double Af1 = 0;
};

struct Almanac {
  GnssSystem System = GnssSystem::Gps;
  // YUMA and SEM files count weeks modulo 1024 (the broadcast's ten bits); the week
  // meant is the one nearest to the time the sky is computed for. 0: full weeks.
  int WeekModulus = 0;
  std::vector<AlmanacRecord> Records;
};

enum class AlmanacErrorCode {
  None,
  Unreadable,        // the file cannot be opened or read; Text is the path
  TooLarge,          // far larger than any almanac; Text is the path
  UnknownFormat,     // neither YUMA nor SEM
  Empty,             // no satellite in the file
  BadNumber,         // Text is not a number (or not a whole one where one is needed)
  MissingValue,      // the record ends before Text is given
  RepeatedValue,     // Text is given twice in one record
  UnexpectedLine,    // a line that belongs to no record; Text is the line
  NumberOutOfRange,  // the satellite number Text is outside 1..MaxSatelliteNumber
  DuplicateNumber,   // a second record for satellite Text
  ValueOutOfRange,   // Text names the value (eccentricity, semi-major axis, ...)
  RecordCount,       // the SEM header announces Text records, the file holds Found
};

struct AlmanacError {
  AlmanacErrorCode Code = AlmanacErrorCode::None;
  int Line = 0;  // 1-based; 0 when the error concerns the whole file
  std::string Text;
  int Found = 0;
};

struct AlmanacResult {
  Almanac Value;
  AlmanacError Error;
  bool Ok() const { return Error.Code == AlmanacErrorCode::None; }
};

// YUMA: a record per satellite, a "****" header line and "Label: value" lines
// (ID, Health, Eccentricity, Time of Applicability, Orbital Inclination, Rate of
// Right Ascen, SQRT(A), Right Ascen at Week, Argument of Perigee, Mean Anom, Af0,
// Af1, week), angles in radians.
AlmanacResult ReadYuma(std::string_view text, GnssSystem system = GnssSystem::Gps);
// SEM: a header of the record count and name, the week and reference time, then
// per satellite its PRN, SVN, URA, eccentricity, inclination offset from 0.30
// semicircles, rate of right ascension, square root of A, longitude of the node,
// argument of perigee, mean anomaly, af0, af1, health and configuration; angles
// in semicircles.
AlmanacResult ReadSem(std::string_view text, GnssSystem system = GnssSystem::Gps);
// Either format, told apart by the first line that is not blank.
AlmanacResult ReadAlmanac(std::string_view text, GnssSystem system = GnssSystem::Gps);
AlmanacResult LoadAlmanacFile(const std::string& path, GnssSystem system = GnssSystem::Gps);

// English text of an error, e.g. "line 7: \"0.1x\" is not a number".
std::string AlmanacErrorMessage(const AlmanacError& error);

}  // namespace fixcaster
