#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "track/TrackTable.h"

namespace fixcaster {

// The grammars of the track table's cells and the unit factors. Every routine is a
// pure function of its text and reads "." as the decimal point whatever the locale.

// Speed column unit: 0 km/h, 1 mph, 2 knot. The factors convert to knots.
inline constexpr double KmhSpeedFactor = 1 / 1.852;
inline constexpr double MphSpeedFactor = 1.609344 / 1.852;
inline constexpr double KnotSpeedFactor = 1;
// Factor of `speedUnit` (0 .. 2); nothing for any other unit, so the caller keeps
// the factor it had.
std::optional<double> SpeedFactorOf(int speedUnit);

// Latitude or longitude cell: degrees [minutes [seconds]] with hemisphere letters
// or a leading sign, numbers separated by anything that is no digit, "." or letter
// N/E/S/W. Signed decimal degrees, NaN when blank or when a number is malformed.
// Numbers after the third (seconds) are ignored.
double ParseAngle(std::string_view text);

// A latitude or longitude cell as the route reads it: ParseAngle, except that a
// cell holding nothing but the bad-value marker stays unusable (NaN).
double ParsePositionCell(std::string_view text);

// Altitude and speed cells: surrounding blanks (codes up to space) allowed, a blank
// text is 0, a malformed one or one beyond the double range NaN.
double ParseNumber(std::string_view text);
// The same grammar, but a malformed text gives 0 (geoid separation, variation).
double ParseNumberOrZero(std::string_view text);

// Puts "NG " in front of a bad cell's text, once.
inline constexpr std::string_view BadCellMarker = "NG ";
std::string MarkBadCell(std::string_view text);

// Magnetic variation setting: the digits and "." of the text as a number, negative
// when the text holds "-" or "W" anywhere; NaN for an empty text.
double ParseMagVariation(std::string_view text);
// The RMC variation fields "v.v,E" / "v.v,W"; "," for NaN.
std::string FormatMagVariation(double value);

// One filled row of the track table read into numbers (degrees, metres, knots).
struct TrackRowValues {
  double Lat = 0;
  double Lon = 0;
  double Alt = 0;
  double Speed = 0;
  bool FormatError = false;    // at least one cell was malformed (and is now marked)
  bool LatOutOfRange = false;  // |latitude| > 90
  bool LonOutOfRange = false;  // |longitude| > 180
};

// Reads row `row` of `table`, marking each malformed cell with "NG ". Speed is the
// absolute value of the entry times `speedFactor`; a blank altitude or speed is 0.
TrackRowValues ReadTrackRow(TrackTable& table, int64_t row, double speedFactor,
                            double altitudeFactor);

}  // namespace fixcaster
