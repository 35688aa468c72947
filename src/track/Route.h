#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "track/TrackGrammar.h"
#include "track/TrackTable.h"

namespace fixcaster {

// A missing value in the track arrays.
inline constexpr double MissingValue = std::numeric_limits<double>::quiet_NaN();

// The planned route: per-row arrays (index i = table row i, entry 0 unused, the
// entry after the last filled row may hold the closing copy of point 1) and
// per-span arrays (entry i = span from point i to point i + 1).
//
// The arrays cover every entry that can hold a point: at least LastPoint + 2
// entries (not TrackMax + 2, which a settings file may set to two billion), and
// they never shrink, so an index that was valid in an earlier plan stays valid.
// Point entries past the track read as missing: NaN position and altitude, speed 0.
// Only spans 1 .. LastSpan are meaningful; a plan rejected for a malformed cell
// leaves LastSpan, the totals and the span arrays as the previous plan made them.
struct TrackModel {
  std::vector<double> TrackLat{MissingValue, MissingValue};
  std::vector<double> TrackLon{MissingValue, MissingValue};
  std::vector<double> TrackAlt{MissingValue, MissingValue};
  std::vector<double> TrackSpeed{0, 0};    // knots; after planning the adjusted speed
  std::vector<double> SpanDistance{0, 0};  // metres
  std::vector<double> SpanDays{0, 0};      // days (1 = 24 hours)
  std::vector<int32_t> SpanTicks{0, 0};    // >= 1 for a planned span

  int32_t LastPoint = 0;  // last filled row, 0 when row 1 is not filled
  int32_t LastSpan = 0;   // last planned span, 0 when nothing can be travelled
  double TotalDistance = 0;
  double TotalDays = 0;
  double OutputPeriodMs = 1000;
  double GeoidSeparation = 0;

  double SpeedFactor = KmhSpeedFactor;
  double AltitudeFactor = 1;
  double DistanceFactor = 0.001;
  std::string DistanceUnit = "km";

  // Number of entries of every array.
  size_t Entries() const { return TrackLat.size(); }
};

// Messages of a preparation, in the order they are to be shown. The window turns
// the id into the text of the current language.
enum class RouteMessageId {
  LatitudeOutOfRange,   // warning "Latitude exceeds +-90˚"
  LongitudeOutOfRange,  // warning "Longitude exceeds +-180˚"
  IllegalNumberFormat,  // error "Format of the numerical value is illegal"
};

struct RouteMessage {
  RouteMessageId Id;
  int64_t Row = 0;  // the offending table row; 0 for the format error (all rows)

  bool operator==(const RouteMessage&) const = default;
};

struct RouteResult {
  bool Accepted = true;  // false: a malformed cell or a value out of range
  // The frequency text to show instead of the one given: "1" when the given text
  // was no positive number (the period is then 1000 ms). Empty when unchanged.
  std::optional<std::string> HzText;
  std::vector<RouteMessage> Messages;
};

// Reads the track table into `model` and plans every span: its length, its whole
// number of output ticks at the frequency `hzText` (round half to even, at least 1,
// at most INT32_MAX) and the speed adjusted so the span takes exactly that many
// ticks. Malformed cells are marked "NG " and the plan of the previous preparation
// is kept; values out of range make the result false but the plan is still made.
// Rows from the first unfilled one on are cleared. `speedUnit` outside 0 .. 2 keeps
// model.SpeedFactor.
RouteResult PrepareRoute(TrackTable& table, std::string_view hzText, std::string_view geoidText,
                         int speedUnit, TrackModel& model);

}  // namespace fixcaster
