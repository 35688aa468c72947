#include <benchmark/benchmark.h>

#include <string>

#include "nmea/Format.h"
#include "nmea/Presets.h"
#include "nmea/Sentences.h"
#include "realistic_tick.h"

namespace fixcaster {
namespace {

// One full tick under NMEA 4.1: the field texts, the seven position and motion
// sentences and the GSA/GSV block of preset 4 (4 + 24 lines), each line framed
// and given its CR LF, as the output cycle sends them.
void BM_FullTick(benchmark::State& state) {
  PresetGsaTable gsa = DefaultPresetGsa();
  const PresetGsvTable gsv = DefaultPresetGsv();
  const SentenceSettings settings = BusyTickSettings(gsa);
  double utc = EncodeDateTime({2024, 5, 6, 1, 23, 45, 678});
  double lat = 35.68040222;
  double lon = 139.76910917;
  size_t bytes = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(utc);
    benchmark::DoNotOptimize(lat);
    benchmark::DoNotOptimize(lon);
    const TickFields tick = FormatTickFields(utc, lat, lon, 3.0, 36.7, 16.26, 25.3, 3, 6);
    std::string out;
    out.reserve(2560);
    out += BuildRMC("$GP", tick, settings) + "\r\n";
    out += BuildGGA("$GP", tick, settings).value_or("") + "\r\n";
    out += BuildGNS("$GN", tick, settings).value_or("") + "\r\n";
    out += BuildGLL("$GP", tick, settings) + "\r\n";
    out += BuildVTG("$GP", tick, settings) + "\r\n";
    out += BuildZDA("$GP", tick, settings) + "\r\n";
    out += BuildHDT("$GP", tick) + "\r\n";
    out += FramePresetGsa(gsa, 4);
    out += FramePresetGsv(gsv, 4);
    bytes += out.size();
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
    utc += 1.0 / 86400;
    lat += 1e-6;
    lon += 1e-6;
  }
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_FullTick);

}  // namespace
}  // namespace fixcaster
