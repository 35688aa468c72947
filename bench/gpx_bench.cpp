#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "settings/TrackGpx.h"
#include "state/AppState.h"

namespace {

// A GPX 1.1 track of `points` timed points as a phone app writes it: one point a
// second wandering around Tokyo, with elevation and a course extension.
std::string MakeGpx(int64_t points) {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"bench\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
      "  <trk><name>bench</name><trkseg>\n";
  char line[256];
  for (int64_t i = 0; i < points; ++i) {
    const double lat = 35.68 + 0.00001 * static_cast<double>(i % 5003) + 0.000003 * (i % 13);
    const double lon = 139.76 + 0.00001 * static_cast<double>(i % 4999) + 0.000002 * (i % 7);
    const int64_t t = i;
    std::snprintf(line, sizeof line,
                  "    <trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.1f</ele>"
                  "<time>2024-05-%02dT%02d:%02d:%02dZ</time><extensions><course>%d</course>"
                  "</extensions></trkpt>\n",
                  lat, lon, 3.0 + static_cast<double>(i % 40) / 10, static_cast<int>(1 + t / 86400),
                  static_cast<int>(t / 3600 % 24), static_cast<int>(t / 60 % 60),
                  static_cast<int>(t % 60), static_cast<int>(i % 360));
    s += line;
  }
  s += "  </trkseg></trk>\n</gpx>\n";
  return s;
}

std::string WriteTempFile(const std::string& data) {
  const char* base = std::getenv("TMPDIR");
  std::string path = std::string(base && *base ? base : "/tmp") + "/fixcaster-bench-XXXXXX.gpx";
  const int fd = ::mkstemps(path.data(), 4);
  if (fd < 0) return {};
  const bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  ::close(fd);
  return ok ? path : std::string();
}

// Read, parse and convert into the track table: what a GPX load costs before the
// route is prepared (that is BM_PrepareRoute's).
void BM_LoadGpx(benchmark::State& state) {
  const int64_t points = state.range(0);
  const std::string path = WriteTempFile(MakeGpx(points));
  if (path.empty()) {
    state.SkipWithError("cannot write the GPX file");
    return;
  }
  fixcaster::AppState app;
  fixcaster::SettingsWindow window;
  fixcaster::SettingsHooks hooks;
  fixcaster::GpxImportResult r;
  for (auto _ : state) {
    r = fixcaster::LoadTrackGpx(app, path, {}, window, hooks);
    benchmark::DoNotOptimize(r.Rows);
  }
  ::unlink(path.c_str());
  if (!r.Loaded || r.Rows != points || r.TimedSpans != points - 1 ||
      static_cast<int64_t>(app.StringGrid1.StoredRows()) != points)
    state.SkipWithError("the track was not loaded whole");
  state.SetItemsProcessed(state.iterations() * points);
}
BENCHMARK(BM_LoadGpx)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace
