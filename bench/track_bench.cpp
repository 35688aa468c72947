#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "track/Route.h"

namespace {

// Degrees, minutes and seconds as a user types them, e.g. "35 40 49.448".
std::string Dms(double degrees) {
  const int d = static_cast<int>(degrees);
  const double minutes = (degrees - d) * 60;
  const int m = static_cast<int>(minutes);
  const double s = (minutes - m) * 60;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d %d %.3f", d, m, s);
  return buf;
}

// A closed track of `rows` filled rows wandering around Tokyo, every point moving,
// so the route returns from the last point to the first.
fixcaster::TrackTable MakeTrack(int32_t rows) {
  fixcaster::TrackTable table(rows);
  for (int32_t i = 1; i <= rows; ++i) {
    const double lat = 35.68 + 0.0001 * (i % 997) + 0.00003 * (i % 13);
    const double lon = 139.76 + 0.0001 * (i % 991) + 0.00002 * (i % 7);
    table.SetCell(i, fixcaster::TrackTable::ColLat, Dms(lat));
    table.SetCell(i, fixcaster::TrackTable::ColLon, Dms(lon));
    table.SetCell(i, fixcaster::TrackTable::ColAlt, std::to_string(3 + i % 40));
    table.SetCell(i, fixcaster::TrackTable::ColSpeed, std::to_string(20 + i % 60));
  }
  return table;
}

void BM_PrepareRoute(benchmark::State& state) {
  const auto rows = static_cast<int32_t>(state.range(0));
  fixcaster::TrackTable table = MakeTrack(rows);
  fixcaster::TrackModel model;
  for (auto _ : state) {
    const fixcaster::RouteResult r = fixcaster::PrepareRoute(table, "1", "36.7", 0, model);
    benchmark::DoNotOptimize(r.Accepted);
    benchmark::DoNotOptimize(model.TotalDistance);
  }
  if (model.LastSpan != rows) state.SkipWithError("the track was not planned whole");
  state.SetItemsProcessed(state.iterations() * rows);
}
BENCHMARK(BM_PrepareRoute)->Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
