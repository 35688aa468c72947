// libFuzzer target: the GPX reader and the conversion of its points into rows.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "track/Gpx.h"
#include "track/TrackGrammar.h"
#include "track/TrackRows.h"

using namespace fixcaster;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GpxData gpx;
  GpxError error;
  GpxReadOptions options;
  options.MaxPointsPerSequence = 1000;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (ReadGpxText(text, gpx, error, options) != GpxStatus::Ok) {
    if (error.Line < 1 || error.Reason.empty()) std::abort();
    return 0;
  }
  const auto choice = ChooseGpxSequence(gpx, "");
  if (!choice) return 0;
  const GpxSequence& seq = SequenceOf(gpx, *choice);
  if (seq.Points.size() > 1000) std::abort();
  for (const GpxPoint& p : seq.Points)
    if (!(std::fabs(p.Lat) <= 90) || !(std::fabs(p.Lon) <= 180)) std::abort();
  const TrackRowsResult rows = PointsToTrackRows(seq.Points, {});
  // Every row reads back as a position in range, and only the last one has speed 0.
  for (size_t i = 0; i < rows.Rows.size(); ++i) {
    const TrackTable::Row& r = rows.Rows[i];
    if (!(std::fabs(ParseAngle(r[0])) <= 90) || !(std::fabs(ParseAngle(r[1])) <= 180)) std::abort();
    if (std::isnan(ParseNumber(r[2]))) std::abort();
    const bool last = i + 1 == rows.Rows.size();
    if (last != (ParseNumber(r[3]) == 0)) std::abort();
  }
  return 0;
}
