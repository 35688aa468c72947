// Settings file and track CSV throughput: a settings file holding an N-row track
// and all four presets, loaded and saved, and an N-row CSV file imported.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "settings/Settings.h"
#include "settings/TrackCsv.h"
#include "state/AppState.h"

namespace fixcaster {
namespace {

// A temporary folder for the benchmark's files, removed at the end.
struct BenchDir {
  std::string path;
  BenchDir() {
    const char* base = std::getenv("TMPDIR");
    path = std::string(base && *base ? base : "/tmp") + "/fixcaster-bench-XXXXXX";
    if (!::mkdtemp(path.data())) path.clear();
  }
  ~BenchDir() {
    for (const char* f : {"/fixcaster.ini", "/track.csv"}) ::unlink((path + f).c_str());
    ::rmdir(path.c_str());
  }
};

std::string Dms(int64_t n, int base) {
  return std::to_string(base + n % 3) + " " + std::to_string(n % 60) + " " +
         std::to_string(n % 60) + "." + std::to_string(n % 1000);
}

// A state with an N-row track of typical texts and every preset line filled.
void FillState(AppState& s, int64_t rows, const std::string& iniPath) {
  InitSettingsGlobals(s);
  s.SettingsPath = iniPath;
  s.StringGrid1.SetTrackMax(static_cast<int32_t>(rows));
  for (int64_t n = 1; n <= rows; ++n) {
    s.StringGrid1.SetCell(n, 1, Dms(n, 35));
    s.StringGrid1.SetCell(n, 2, Dms(n, 139));
    s.StringGrid1.SetCell(n, 3, std::to_string(n % 500));
    s.StringGrid1.SetCell(n, 4, std::to_string(20 + n % 40));
  }
  for (int p = 1; p <= PresetCount; ++p) {
    for (int l = 1; l <= PresetGsaLines; ++l)
      s.PresetGsa[p][l] = "$GPGSA,A,3,07,25,16,01,18,22,26,30,08,47,24,06,1.32,0.78,1.07";
    for (int l = 1; l <= PresetGsvLines; ++l)
      s.PresetGsv[p][l] = "$GPGSV,3,1,12,07,90,0,44,25,30,240,40,16,30,120,40,01,30,0,40";
  }
}

void BM_LoadSettings(benchmark::State& bs) {
  BenchDir dir;
  AppState source;
  FillState(source, bs.range(0), dir.path + "/fixcaster.ini");
  SaveSettings(source);
  SettingsWindow window;
  const SettingsHooks hooks = CoreSettingsHooks();
  for (auto _ : bs) {
    AppState s;
    InitSettingsGlobals(s);
    s.SettingsPath = source.SettingsPath;
    LoadSettings(s, window, hooks);
    if (s.StringGrid1.Cell(bs.range(0), 1).empty()) bs.SkipWithError("track not loaded");
    benchmark::DoNotOptimize(s.StringGrid1.StoredRows());
  }
  bs.SetItemsProcessed(bs.iterations() * bs.range(0));
}

void BM_SaveSettings(benchmark::State& bs) {
  BenchDir dir;
  AppState s;
  FillState(s, bs.range(0), dir.path + "/fixcaster.ini");
  SaveSettings(s);  // the usual case: the file is there and is replaced
  for (auto _ : bs) {
    SaveSettings(s);
  }
  bs.SetItemsProcessed(bs.iterations() * bs.range(0));
}

void BM_LoadTrackCsv(benchmark::State& bs) {
  BenchDir dir;
  AppState source;
  FillState(source, bs.range(0), dir.path + "/fixcaster.ini");
  const std::string csv = dir.path + "/track.csv";
  {
    std::ofstream f(csv, std::ios::binary);
    f << TrackCsvText(source.StringGrid1, bs.range(0));
  }
  SettingsWindow window;
  AppState s;
  s.StringGrid1.SetTrackMax(static_cast<int32_t>(bs.range(0)));
  for (auto _ : bs) {
    LoadTrackCsv(s, csv, window, {});
    if (s.StringGrid1.Cell(bs.range(0), 4).empty()) bs.SkipWithError("track not loaded");
  }
  bs.SetItemsProcessed(bs.iterations() * bs.range(0));
}

BENCHMARK(BM_LoadSettings)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveSettings)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadTrackCsv)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace fixcaster
