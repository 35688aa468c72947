#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "track/TrackTable.h"

namespace fixcaster {

// A recorded position, from a track file or a log, on its way into the table.
struct TrackPoint {
  static constexpr double None = std::numeric_limits<double>::quiet_NaN();
  double Lat = None;         // degrees, north positive
  double Lon = None;         // degrees, east positive
  double Ele = None;         // metres; None leaves the altitude cell blank (0 m)
  double Time = None;        // seconds on any fixed scale; None when not recorded
  double SpeedKnots = None;  // speed the recorder reported at this point, if any
};

struct TrackRowOptions {
  int SpeedUnit = 0;  // unit of the speed column: 0 km/h, 1 mph, 2 knot (others: km/h)
  // Speed cell text of a span whose speed neither was recorded nor follows from
  // the times of its two points.
  std::string UntimedSpeed = "30";
};

struct TrackRowsResult {
  std::vector<TrackTable::Row> Rows;
  int64_t Merged = 0;         // points dropped into the point before them
  int64_t TimedSpans = 0;     // spans whose speed came from the two points' times
  int64_t BackwardTimes = 0;  // spans whose end was recorded before their start
};

// The table's own cell texts: decimal degrees with a sign and up to nine decimals
// (about 0.1 mm), metres with up to three decimals, speeds with nine significant
// digits; trailing zeros are dropped ("35.5", "-0.25", "3", "30.1176").
std::string DegreesCellText(double degrees);
std::string AltitudeCellText(double metres);
std::string SpeedCellText(double speed);

// Turns recorded points into table rows that travel the recording:
// - A point at the same place as the kept point before it (a span of length 0,
//   which would end the route there) or at the same time (an infinite speed) is
//   merged into it; the kept point keeps its own time, so the spans after it still
//   arrive when the recording did.
// - The speed of the row leading from a point to the next: the speed recorded at
//   the point when above 0; else, when both points have times and the later one
//   is later, the geodesic distance over the time difference, in the column's
//   unit; when the time goes backwards, the speed of the last timed span (or
//   UntimedSpeed when there is none); otherwise UntimedSpeed.
// - The last row's speed is "0": the route ends at the last point instead of
//   closing back to the first.
// Distances are measured between the values the cells will hold, so the route
// planned from the table sees the same spans.
TrackRowsResult PointsToTrackRows(const std::vector<TrackPoint>& points,
                                  const TrackRowOptions& options);

}  // namespace fixcaster
