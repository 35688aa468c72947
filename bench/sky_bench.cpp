#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "nmea/Constellations.h"
#include "nmea/Format.h"
#include "nmea/Sky.h"
#include "nmea/SkySentences.h"

namespace fixcaster {
namespace {

// 32 satellites in each system (Walker 32/4/1), more than any system flies.
SkyModel DenseModel() {
  SkyModel model;
  const double inclination[] = {55, 64.8, 56, 55};
  const double axis[] = {26559.7e3, 25510e3, 29600e3, 27900e3};
  for (int s = 0; s < GnssSystemCount; ++s) {
    WalkerConstellation w;
    w.System = static_cast<GnssSystem>(s);
    w.Satellites = 32;
    w.Planes = 4;
    w.InclinationDeg = inclination[s];
    w.SemiMajorAxisM = axis[s];
    model.SetAlmanac(WalkerAlmanac(w));
  }
  return model;
}

// One tick's sky: positions of the satellites of the systems switched on, look
// angles, signal strengths, the used choice and the DOP. Arg: how many systems.
void BM_SkyTick(benchmark::State& state) {
  const SkyModel model = DenseModel();
  SkyOptions options;
  for (int s = 0; s < GnssSystemCount; ++s) options.Systems[s] = s < state.range(0);
  double utc = EncodeDateTime({2026, 6, 15, 12, 0, 0, 0});
  double lat = 35.68, lon = 139.77;
  Sky sky;
  for (auto _ : state) {
    benchmark::DoNotOptimize(utc);
    model.Compute(utc, lat, lon, 40, options, sky);
    benchmark::DoNotOptimize(sky.Hdop);
    utc += 1.0 / 86400;
    lat += 1e-5;
    lon += 1e-5;
  }
  // Time per system of 32 satellites.
  state.counters["per_system"] = benchmark::Counter(
      static_cast<double>(state.range(0)),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SkyTick)->Arg(1)->Arg(4);

// The GSA and GSV texts of a four-system sky under NMEA 4.1.
void BM_SkySentences(benchmark::State& state) {
  const SkyModel model = DenseModel();
  SkyOptions options;
  options.Systems = {true, true, true, true};
  Sky sky;
  model.Compute(EncodeDateTime({2026, 6, 15, 12, 0, 0, 0}), 35.68, 139.77, 40, options, sky);
  std::vector<std::string> lines;
  for (auto _ : state) {
    lines.clear();
    AppendSkyGsa(sky, "4.1", lines);
    AppendSkyGsv(sky, "4.1", lines);
    benchmark::DoNotOptimize(lines.data());
  }
}
BENCHMARK(BM_SkySentences);

}  // namespace
}  // namespace fixcaster
