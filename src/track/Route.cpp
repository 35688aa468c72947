#include "track/Route.h"

#include <algorithm>
#include <cmath>

#include "track/Geodesic.h"

namespace fixcaster {

namespace {

constexpr int32_t kMaxTicks = std::numeric_limits<int32_t>::max();

// The period of one output tick for a frequency text, or nothing when the text is
// no positive number or the period would not be a positive finite time.
std::optional<double> PeriodOf(std::string_view hzText) {
  const double hz = ParseNumber(hzText);
  if (!(hz > 0)) return std::nullopt;  // also NaN
  const double period = 1000 / hz;
  if (!(period > 0) || !std::isfinite(period)) return std::nullopt;
  return period;
}

// Whole ticks of a span: round half to even, at least 1, and clamped to the 32-bit
// count (the speed is then adjusted to that count, so the plan stays consistent).
int32_t TicksOf(double rawTicks) {
  if (!(rawTicks >= 1)) return 1;  // also NaN
  if (rawTicks >= static_cast<double>(kMaxTicks)) return kMaxTicks;
  const double rounded = std::nearbyint(rawTicks);  // default rounding: half to even
  return rounded < 1 ? 1 : static_cast<int32_t>(rounded);
}

template <typename T>
void GrowTo(std::vector<T>& v, size_t n, T fill) {
  if (v.size() < n) v.resize(n, fill);
}

}  // namespace

RouteResult PrepareRoute(TrackTable& table, std::string_view hzText, std::string_view geoidText,
                         int speedUnit, TrackModel& model) {
  RouteResult result;

  model.AltitudeFactor = 1;
  model.DistanceFactor = 0.001;
  model.DistanceUnit = "km";
  if (const auto f = SpeedFactorOf(speedUnit)) model.SpeedFactor = *f;

  if (const auto period = PeriodOf(hzText)) {
    model.OutputPeriodMs = *period;
  } else {
    model.OutputPeriodMs = 1000;
    result.HzText = "1";
  }
  model.GeoidSeparation = ParseNumberOrZero(geoidText) * model.AltitudeFactor;

  // The filled rows are the run from row 1 to the first unfilled one; only they and
  // the entry after them can hold a point, everything beyond is missing.
  const int64_t trackMax = std::max<int64_t>(table.TrackMax(), 0);
  int64_t lastPoint = 0;
  while (lastPoint < trackMax && table.IsFilled(lastPoint + 1)) ++lastPoint;
  const auto entries = static_cast<size_t>(lastPoint) + 2;

  GrowTo(model.TrackLat, entries, MissingValue);
  GrowTo(model.TrackLon, entries, MissingValue);
  GrowTo(model.TrackAlt, entries, MissingValue);
  GrowTo(model.TrackSpeed, entries, 0.0);
  const size_t size = model.TrackLat.size();
  GrowTo(model.SpanDistance, size, 0.0);
  GrowTo(model.SpanDays, size, 0.0);
  GrowTo(model.SpanTicks, size, int32_t{0});

  model.LastPoint = static_cast<int32_t>(lastPoint);
  bool formatError = false;
  size_t closingRow = 0;
  for (int64_t row = 1; row <= lastPoint; ++row) {
    const auto i = static_cast<size_t>(row);
    const TrackRowValues v = ReadTrackRow(table, row, model.SpeedFactor, model.AltitudeFactor);
    model.TrackLat[i] = v.Lat;
    model.TrackLon[i] = v.Lon;
    model.TrackAlt[i] = v.Alt;
    model.TrackSpeed[i] = v.Speed;
    formatError |= v.FormatError;
    if (v.LatOutOfRange) {
      result.Accepted = false;
      result.Messages.push_back({RouteMessageId::LatitudeOutOfRange, row});
    }
    if (v.LonOutOfRange) {
      result.Accepted = false;
      result.Messages.push_back({RouteMessageId::LongitudeOutOfRange, row});
    }
    // A row without a usable position after a moving point is where the loop back
    // to point 1 closes; a later such row replaces an earlier one.
    if (row >= 3 && (std::isnan(v.Lat) || std::isnan(v.Lon)) && model.TrackSpeed[i - 1] > 0)
      closingRow = i;
  }
  for (size_t i = static_cast<size_t>(lastPoint) + 1; i < size; ++i) {
    model.TrackLat[i] = MissingValue;
    model.TrackLon[i] = MissingValue;
    model.TrackAlt[i] = MissingValue;
    model.TrackSpeed[i] = 0;
  }
  // The first unfilled row (or the spare entry after the table) and every row below.
  table.ClearFrom(lastPoint + 1);
  const size_t afterTrack = static_cast<size_t>(lastPoint) + 1;
  if (afterTrack >= 3 && model.TrackSpeed[afterTrack - 1] > 0) closingRow = afterTrack;

  if (closingRow > 0) {
    model.TrackLat[closingRow] = model.TrackLat[1];
    model.TrackLon[closingRow] = model.TrackLon[1];
    model.TrackAlt[closingRow] = model.TrackAlt[1];
    model.TrackSpeed[closingRow] = 0;
  }

  if (formatError) {
    // The previous plan stays as it was.
    result.Accepted = false;
    result.Messages.push_back({RouteMessageId::IllegalNumberFormat, 0});
    return result;
  }

  model.LastSpan = 0;
  model.TotalDistance = 0;
  model.TotalDays = 0;
  for (size_t i = 1; i < size; ++i) {
    model.SpanDistance[i] = 0;
    model.SpanDays[i] = 0;
    model.SpanTicks[i] = 0;
  }
  const double period = model.OutputPeriodMs;
  // Spans run up to TrackMax; the last one may end at the spare entry TrackMax + 1.
  const size_t lastSpanCandidate = std::min(size - 2, static_cast<size_t>(trackMax));
  for (size_t i = 1; i <= lastSpanCandidate; ++i) {
    const double speed = model.TrackSpeed[i];
    if (!std::isnan(model.TrackLat[i]) && !std::isnan(model.TrackLon[i]) &&
        !std::isnan(model.TrackLat[i + 1]) && !std::isnan(model.TrackLon[i + 1]) && speed > 0) {
      const double d =
          GeodesicDistance(model.TrackLat[i], model.TrackLon[i], model.TrackLat[i + 1],
                           model.TrackLon[i + 1], model.TrackAlt[i], model.TrackAlt[i + 1]);
      model.TotalDistance += d;
      model.SpanDistance[i] = d;
      const int32_t ticks = TicksOf(d * 3600 / ((speed * 1.852) * period));
      model.TrackSpeed[i] = d * 3600 / ((period * ticks) * 1.852);
      model.SpanTicks[i] = ticks;
      double days = model.SpanDistance[i] / (model.TrackSpeed[i] * 44448);
      // 0 / 0 for a span of length 0 (and any other failed division) lasts nothing.
      if (!std::isfinite(days)) days = 0;
      model.SpanDays[i] = days;
      model.TotalDays += days;
      model.LastSpan = static_cast<int32_t>(i);
    }
    if (model.TrackSpeed[i] == 0) break;
  }
  return result;
}

}  // namespace fixcaster
