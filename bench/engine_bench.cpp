#include <benchmark/benchmark.h>

#include <string>

#include "nmea/Format.h"
#include "nmea/Presets.h"
#include "output/EngineInterfaces.h"
#include "output/OutputChannel.h"
#include "output/RunEngine.h"
#include "state/AppState.h"

namespace fixcaster {
namespace {

// Keeps the per-tick counters like the real output port, sends nowhere.
class NullChannel final : public OutputChannel {
 public:
  bool IsOutputOpen() const override { return true; }
  bool IsSerialOpen() const override { return true; }
  void SendText(std::string_view text) override {
    sentText_.append(text);
    sentBytes_ += static_cast<int32_t>(text.size());
  }
  void ResetSent() override {
    sentBytes_ = 0;
    sentText_.clear();
  }
  int32_t SentBytes() const override { return sentBytes_; }
  const std::string& SentText() const override { return sentText_; }
  int32_t SerialBacklog() const override { return 0; }
  int32_t SerialBaud() const override { return 115200; }
  void DiscardSerialBacklog() override {}

 private:
  int32_t sentBytes_ = 0;
  std::string sentText_;
};

// Takes every call, keeps the texts (as a window would copy them into its labels).
class NullDisplay final : public DisplaySink {
 public:
  void SetLabelCount(const std::string& t) override { Keep(t); }
  void SetLabelLat(const std::string& t) override { Keep(t); }
  void SetLabelLon(const std::string& t) override { Keep(t); }
  void SetLabelAlt(const std::string& t) override { Keep(t); }
  void SetLabelSpeed(const std::string& t) override { Keep(t); }
  void SetLabelTime(const std::string& t) override { Keep(t); }
  void SetLabelReport(const std::string& t) override { Keep(t); }
  void SetProgress(int p) override { benchmark::DoNotOptimize(p); }
  int TaskbarProgressMax() const override { return 128; }
  void ShowTaskbarProgress(int32_t span, int value) override {
    benchmark::DoNotOptimize(span);
    benchmark::DoNotOptimize(value);
  }
  void SetTaskbarState(TaskbarState) override {}
  void ShowWarning(LoadWarning, int32_t) override {}
  void HideWarning() override {}
  void SetSendStatus(const std::string& t) override { Keep(t); }
  void SetSendOverload(bool) override {}
  bool MonitorVisible() const override { return true; }
  void SetMonitorText(const std::string& t) override { Keep(t); }
  void SelectGridRow(int32_t row) override { benchmark::DoNotOptimize(row); }
  void RunControlsChanged() override {}
  void TrackTableChanged() override {}

 private:
  void Keep(const std::string& t) {
    kept_.assign(t);
    benchmark::DoNotOptimize(kept_.data());
  }
  std::string kept_;
};

class NullMessages final : public MessageSink {
 public:
  void ShowMessage(EngineMessageId) override {}
  void ShowRouteMessage(const RouteMessage&) override {}
};

class SteppingClock final : public Clock {
 public:
  double NowUtc() const override { return now_ += 0.05 / 86400; }

 private:
  mutable double now_ = EncodeDateTime({2024, 5, 6, 1, 23, 45, 678});
};

class NullTimer final : public TickTimer {
 public:
  void SetHandler(std::function<void()>) override {}
  void Start(int) override {}
  void Stop() override {}
};

class NullIdle final : public IdleScheduler {
 public:
  void ScheduleIdle() override {}
};

// One complete tick step at 20 Hz with every sentence type due on every tick, NMEA
// 4.1 and preset 4 (4 GSA + 24 GSV lines), through a channel that goes nowhere.
void BM_EngineTick(benchmark::State& bench) {
  AppState state;
  state.PresetGsa = DefaultPresetGsa();
  state.PresetGsv = DefaultPresetGsv();
  state.CurrentPreset = 4;
  state.RadioButtonGSAChecked = 4;
  for (auto& talker : state.TalkerPrefixText) talker = "$GP";
  for (auto& box : state.CheckBoxSentence) box.Checked = true;
  for (auto& box : state.ComboBoxInterval) box.Text = "1";
  state.ComboBoxNMEA.Text = "4.1";
  state.ComboBoxHz.Text = "20";
  state.ComboBoxTimeDec.Text = "2";
  state.DgpsAge[2] = "30";
  state.DgpsStation[2] = "0137";
  // A long span, so the run never reaches its end while measured.
  state.StringGrid1.SetCell(1, TrackTable::ColLat, "35 40 49.448");
  state.StringGrid1.SetCell(1, TrackTable::ColLon, "139 46 8.793");
  state.StringGrid1.SetCell(1, TrackTable::ColAlt, "3");
  state.StringGrid1.SetCell(1, TrackTable::ColSpeed, "1");
  state.StringGrid1.SetCell(2, TrackTable::ColLat, "36 40 0");
  state.StringGrid1.SetCell(2, TrackTable::ColLon, "140 46 0");
  state.StringGrid1.SetCell(2, TrackTable::ColAlt, "30");

  NullChannel channel;
  NullDisplay display;
  NullMessages messages;
  SteppingClock clock;
  NullTimer timer;
  NullIdle idle;
  RunEngine engine(state, channel, display, messages, clock, timer, idle);
  engine.ButtonStartClick();
  if (engine.Track.LastSpan < 1 || channel.SentBytes() == 0) {
    bench.SkipWithError("the run did not start");
    return;
  }
  int64_t bytes = 0;
  for (auto _ : bench) {
    engine.TickStep();
    bytes += channel.SentBytes();
    if (engine.CurrentSpan > engine.Track.LastSpan) {
      bench.PauseTiming();
      engine.ButtonStopClick();
      engine.ApplicationEvents1Idle();
      engine.ButtonStartClick();
      bench.ResumeTiming();
    }
  }
  bench.SetBytesProcessed(bytes);
  bench.counters["bytes/tick"] =
      benchmark::Counter(static_cast<double>(bytes), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_EngineTick);

}  // namespace
}  // namespace fixcaster
