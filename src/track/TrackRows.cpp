#include "track/TrackRows.h"

#include <charconv>
#include <cmath>
#include <optional>

#include "track/Geodesic.h"
#include "track/TrackGrammar.h"

namespace fixcaster {

namespace {

constexpr double kMetresPerSecondToKnots = 3.6 / 1.852;
constexpr int kDegreeDecimals = 9;  // about 0.1 mm
constexpr int kAltitudeDecimals = 3;

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

// The cell text of `v` with at most `decimals` decimals, and the value the cell
// will be read as. A value whose shortest exact text has few enough decimals (as
// every number read from a file with that many has) is its own reading; only a
// rounded one is read back.
std::string CellNumber(double v, int decimals, double& reading) {
  reading = v;
  if (!std::isfinite(v)) return {};
  char buf[400];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  if (ec == std::errc()) {
    const std::string_view t(buf, static_cast<size_t>(end - buf));
    const size_t dot = t.find('.');
    if (dot == std::string_view::npos || t.size() - dot - 1 <= static_cast<size_t>(decimals)) {
      if (v == 0) {
        reading = 0;
        return "0";
      }
      return std::string(t);
    }
  }
  std::string text = TrimmedFixed(v, decimals);
  reading = ParseNumber(text);
  return text;
}

double KnotsToUnit(double knots, int speedUnit) {
  return knots / SpeedFactorOf(speedUnit).value_or(KmhSpeedFactor);
}

}  // namespace

std::string DegreesCellText(double degrees) {
  double reading;
  return CellNumber(degrees, kDegreeDecimals, reading);
}

std::string AltitudeCellText(double metres) {
  double reading;
  return CellNumber(metres, kAltitudeDecimals, reading);
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
  };
  TrackRowsResult result;
  result.Rows.reserve(points.size());
  std::optional<Kept> prev;
  std::optional<std::string> lastTimed;

  // The speed of the row leading from `a` to the next kept point `b`, `d` apart.
  const auto spanSpeed = [&](const Kept& a, const Kept& b, double d) {
    const double dt = b.time - a.time;  // NaN when either has no time
    if (a.speedKnots > 0 && std::isfinite(a.speedKnots))
      return SpeedCellText(KnotsToUnit(a.speedKnots, options.SpeedUnit));
    if (dt > 0) {
      const double v = KnotsToUnit(d / dt * kMetresPerSecondToKnots, options.SpeedUnit);
      // Nine significant digits of a number above 0 never read as 0 (which would
      // end the route); only an underflow to 0 itself would.
      lastTimed = v > 0 ? SpeedCellText(v) : options.UntimedSpeed;
      ++result.TimedSpans;
      return *lastTimed;
    }
    if (dt < 0) {
      ++result.BackwardTimes;
      return lastTimed.value_or(options.UntimedSpeed);
    }
    return options.UntimedSpeed;
  };

  for (const TrackPoint& p : points) {
    TrackTable::Row row;
    Kept k{0, 0, 0, p.Time, p.SpeedKnots};
    row[0] = CellNumber(p.Lat, kDegreeDecimals, k.lat);
    row[1] = CellNumber(p.Lon, kDegreeDecimals, k.lon);
    if (row[0].empty() || row[1].empty()) continue;  // no position: nothing to travel
    row[2] = CellNumber(p.Ele, kAltitudeDecimals, k.alt);
    if (row[2].empty()) k.alt = 0;  // a blank altitude reads as 0 m
    if (prev) {
      const double d = GeodesicDistance(prev->lat, prev->lon, k.lat, k.lon, prev->alt, k.alt);
      const bool sameTime = !std::isnan(prev->time) && prev->time == k.time;
      if (d == 0 || sameTime) {
        ++result.Merged;
        continue;
      }
      result.Rows.back()[3] = spanSpeed(*prev, k, d);
    }
    prev = k;
    result.Rows.push_back(std::move(row));
  }
  // assign(1, c): gcc 12 warns falsely (-Wrestrict) on assigning a literal here.
  if (!result.Rows.empty()) result.Rows.back()[3].assign(1, '0');
  return result;
}

}  // namespace fixcaster
