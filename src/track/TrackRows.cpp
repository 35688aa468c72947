#include "track/TrackRows.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "track/Geodesic.h"
#include "track/TrackGrammar.h"

namespace fixcaster {

namespace {

constexpr double kMetresPerSecondToKnots = 3.6 / 1.852;

// Fixed-point text with `decimals`, trailing zeros and a bare "." removed, "-0" as
// "0". Empty for NaN or infinity.
std::string TrimmedFixed(double v, int decimals) {
  if (!std::isfinite(v)) return {};
  char buf[400];
  const auto [end, ec] =
      std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return {};
  std::string_view t(buf, static_cast<size_t>(end - buf));
  if (t.find('.') != std::string_view::npos) {
    while (t.back() == '0') t.remove_suffix(1);
    if (t.back() == '.') t.remove_suffix(1);
  }
  if (t == "-0") t = "0";
  return std::string(t);
}

double KnotsToUnit(double knots, int speedUnit) {
  return knots / SpeedFactorOf(speedUnit).value_or(KmhSpeedFactor);
}

}  // namespace

std::string DegreesCellText(double degrees) {
  return TrimmedFixed(degrees, 9);
}

std::string AltitudeCellText(double metres) {
  return TrimmedFixed(metres, 3);
}

std::string SpeedCellText(double speed) {
  if (!std::isfinite(speed)) return {};
  char buf[64];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, speed, std::chars_format::general, 9);
  if (ec != std::errc()) return {};
  return std::string(buf, end);
}

TrackRowsResult PointsToTrackRows(const std::vector<TrackPoint>& points,
                                  const TrackRowOptions& options) {
  struct Kept {
    double lat, lon, alt;  // as the cells will read
    double time;
    double speedKnots;
    double distanceToNext = 0;
  };
  TrackRowsResult result;
  std::vector<Kept> kept;
  kept.reserve(points.size());
  result.Rows.reserve(points.size());

  for (const TrackPoint& p : points) {
    TrackTable::Row row;
    row[0] = DegreesCellText(p.Lat);
    row[1] = DegreesCellText(p.Lon);
    if (row[0].empty() || row[1].empty()) continue;  // no position: nothing to travel
    row[2] = AltitudeCellText(p.Ele);
    const Kept k{ParseAngle(row[0]), ParseAngle(row[1]), ParseNumber(row[2]), p.Time, p.SpeedKnots};
    if (!kept.empty()) {
      Kept& prev = kept.back();
      const double d = GeodesicDistance(prev.lat, prev.lon, k.lat, k.lon, prev.alt, k.alt);
      const bool sameTime = !std::isnan(prev.time) && prev.time == k.time;
      if (d == 0 || sameTime) {
        ++result.Merged;
        continue;
      }
      prev.distanceToNext = d;
    }
    kept.push_back(k);
    result.Rows.push_back(std::move(row));
  }

  std::optional<std::string> lastTimed;
  for (size_t i = 0; i + 1 < kept.size(); ++i) {
    const Kept& a = kept[i];
    const Kept& b = kept[i + 1];
    std::string& speed = result.Rows[i][3];
    const double dt = b.time - a.time;  // NaN when either has no time
    if (a.speedKnots > 0 && std::isfinite(a.speedKnots)) {
      speed = SpeedCellText(KnotsToUnit(a.speedKnots, options.SpeedUnit));
    } else if (dt > 0) {
      const double knots = a.distanceToNext / dt * kMetresPerSecondToKnots;
      speed = SpeedCellText(KnotsToUnit(knots, options.SpeedUnit));
      // A speed too small to be written as a number above 0 would end the route.
      if (!(ParseNumber(speed) > 0)) speed = options.UntimedSpeed;
      lastTimed = speed;
      ++result.TimedSpans;
    } else if (dt < 0) {
      speed = lastTimed.value_or(options.UntimedSpeed);
      ++result.BackwardTimes;
    } else {
      speed = options.UntimedSpeed;
    }
  }
  // assign(1, c): gcc 12 warns falsely (-Wrestrict) on assigning a literal here.
  if (!result.Rows.empty()) result.Rows.back()[3].assign(1, '0');
  return result;
}

}  // namespace fixcaster
