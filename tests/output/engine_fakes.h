#pragma once

// Fakes of the run engine's interfaces and a fixture with the default track. They
// record what the engine did; none of them waits on a real clock.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "nmea/Format.h"
#include "nmea/Presets.h"
#include "output/EngineInterfaces.h"
#include "output/OutputChannel.h"
#include "output/RunEngine.h"
#include "state/AppState.h"

namespace fixcaster::enginetest {

class FakeChannel : public OutputChannel {
 public:
  bool outputOpen = true;
  bool serialOpen = false;
  int32_t baud = 4800;
  int32_t backlog = 0;
  int32_t reportedBytes = -1;  // SentBytes reports this when >= 0: a tick's exact load
  int failAtSend = 0;          // throw on this send (1-based) of every tick; 0 never
  std::function<void(int sendInTick)> onSend;  // runs inside SendText

  int ticks = 0;                                // ResetSent calls: one per emitted tick
  int discards = 0;                             // DiscardSerialBacklog calls
  std::vector<std::vector<std::string>> lines;  // the lines of each tick, CR LF cut off

  bool IsOutputOpen() const override { return outputOpen; }
  bool IsSerialOpen() const override { return serialOpen; }
  void SendText(std::string_view text) override {
    ++sendInTick_;
    if (failAtSend == sendInTick_) throw std::runtime_error("channel failed");
    if (lines.empty()) lines.emplace_back();
    std::string line(text);
    EXPECT_GE(line.size(), 2u);
    EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
    sentText_ += line;
    sentBytes_ += static_cast<int32_t>(line.size());
    line.resize(line.size() - 2);
    lines.back().push_back(line);
    if (onSend) onSend(sendInTick_);
  }
  // Ends of tick seen so far, and how many sentences each tick had by then.
  std::vector<size_t> endTicks;
  void EndTick() override { endTicks.push_back(lines.empty() ? 0 : lines.back().size()); }
  void ResetSent() override {
    ++ticks;
    sendInTick_ = 0;
    sentBytes_ = 0;
    sentText_.clear();
    lines.emplace_back();
  }
  int32_t SentBytes() const override { return reportedBytes >= 0 ? reportedBytes : sentBytes_; }
  const std::string& SentText() const override { return sentText_; }
  int32_t SerialBacklog() const override { return backlog; }
  int32_t SerialBaud() const override { return baud; }
  void DiscardSerialBacklog() override { ++discards; }

  const std::vector<std::string>& LastTick() const { return lines.back(); }

 private:
  int sendInTick_ = 0;
  int32_t sentBytes_ = 0;
  std::string sentText_;
};

struct WarningCall {
  bool shown;
  LoadWarning kind;
  int32_t bytes;
};

class FakeDisplay : public DisplaySink {
 public:
  std::map<std::string, std::string> labels;  // "Count", "Lat", ..., "Report"
  int progress = -1;
  int taskbarMax = 128;
  std::vector<std::pair<int32_t, int>> taskbar;
  std::vector<TaskbarState> taskbarStates;
  std::vector<WarningCall> warnings;
  std::string sendStatus = "unset";
  std::vector<bool> overloadColours;
  bool monitorVisible = false;
  std::string monitorText;
  int32_t selectedRow = -1;
  int controlsChanged = 0;
  int tableChanged = 0;

  void SetLabelCount(const std::string& t) override { labels["Count"] = t; }
  void SetLabelLat(const std::string& t) override { labels["Lat"] = t; }
  void SetLabelLon(const std::string& t) override { labels["Lon"] = t; }
  void SetLabelAlt(const std::string& t) override { labels["Alt"] = t; }
  void SetLabelSpeed(const std::string& t) override { labels["Speed"] = t; }
  void SetLabelTime(const std::string& t) override { labels["Time"] = t; }
  void SetLabelReport(const std::string& t) override { labels["Report"] = t; }
  void SetProgress(int p) override { progress = p; }
  int TaskbarProgressMax() const override { return taskbarMax; }
  void ShowTaskbarProgress(int32_t span, int value) override { taskbar.emplace_back(span, value); }
  void SetTaskbarState(TaskbarState s) override { taskbarStates.push_back(s); }
  void ShowWarning(LoadWarning kind, int32_t bytes) override {
    warnings.push_back({true, kind, bytes});
  }
  void HideWarning() override { warnings.push_back({false, LoadWarning::Backlog, 0}); }
  void SetSendStatus(const std::string& t) override { sendStatus = t; }
  void SetSendOverload(bool o) override { overloadColours.push_back(o); }
  bool MonitorVisible() const override { return monitorVisible; }
  void SetMonitorText(const std::string& t) override { monitorText = t; }
  void SelectGridRow(int32_t row) override { selectedRow = row; }
  void RunControlsChanged() override { ++controlsChanged; }
  void TrackTableChanged() override { ++tableChanged; }
};

class FakeMessages : public MessageSink {
 public:
  std::vector<EngineMessageId> ids;
  std::vector<RouteMessage> route;
  void ShowMessage(EngineMessageId id) override { ids.push_back(id); }
  void ShowRouteMessage(const RouteMessage& m) override { route.push_back(m); }
};

class FakeClock : public Clock {
 public:
  // 2024-05-06 01:23:45.678 UTC
  double now = 45418.0 + (1 * 3600 + 23 * 60 + 45.678) / 86400.0;
  double NowUtc() const override { return now; }
};

class FakeTimer : public TickTimer {
 public:
  std::function<void()> handler;
  bool running = false;
  int interval = 0;
  int starts = 0;
  void SetHandler(std::function<void()> h) override { handler = std::move(h); }
  void Start(int ms) override {
    running = true;
    interval = ms;
    ++starts;
  }
  void Stop() override { running = false; }
  // One period elapsed.
  void Fire() {
    ASSERT_TRUE(running) << "the timer fired while stopped";
    handler();
  }
};

class FakeIdle : public IdleScheduler {
 public:
  int scheduled = 0;
  void ScheduleIdle() override { ++scheduled; }
};

// One parsed sentence: its type ("GGA") and its comma-separated fields, checksum cut.
struct Parsed {
  std::string type;
  std::vector<std::string> fields;  // fields[0] is "$GPRMC"
};

inline Parsed Parse(const std::string& line) {
  Parsed p;
  std::string body = line.substr(0, line.find('*'));
  size_t start = 0;
  while (true) {
    size_t comma = body.find(',', start);
    p.fields.push_back(body.substr(start, comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  p.type = p.fields[0].size() >= 6 ? p.fields[0].substr(3, 3) : p.fields[0];
  return p;
}

// "ddmm.mmmmmm" or "dddmm.mmmmmm" with its hemisphere into signed degrees.
inline double NmeaDegrees(const std::string& text, const std::string& hemi, int width) {
  double degrees = std::stod(text.substr(0, static_cast<size_t>(width - 2)));
  double minutes = std::stod(text.substr(static_cast<size_t>(width - 2)));
  double value = degrees + minutes / 60.0;
  return (hemi == "S" || hemi == "W") ? -value : value;
}

struct Fix {
  double lat, lon, speedKnots, course;
};

// Position, speed and course of the RMC line of one tick.
inline Fix RmcFix(const std::vector<std::string>& tick) {
  for (const std::string& line : tick) {
    Parsed p = Parse(line);
    if (p.type != "RMC") continue;
    return {NmeaDegrees(p.fields[3], p.fields[4], 4), NmeaDegrees(p.fields[5], p.fields[6], 5),
            std::stod(p.fields[7]), std::stod(p.fields[8])};
  }
  ADD_FAILURE() << "no RMC in the tick";
  return {NAN, NAN, NAN, NAN};
}

inline std::vector<std::string> Types(const std::vector<std::string>& tick) {
  std::vector<std::string> types;
  for (const std::string& line : tick) types.push_back(Parse(line).type);
  return types;
}

// The engine with fakes, the default track of a fresh installation and every talker
// set to GP.
struct EngineRig {
  EngineRig() {
    state.PresetGsa = DefaultPresetGsa();
    state.PresetGsv = DefaultPresetGsv();
    for (auto& talker : state.TalkerPrefixText) talker = "$GP";
    state.ComboBoxHz.Text = "1";
    SetRow(1, "35 40 49.448", "139 46 8.793", "3", "30");
    SetRow(2, "35 41 0.977", "139 46 15.489", "3", "");
  }

  void SetRow(int row, const std::string& lat, const std::string& lon, const std::string& alt,
              const std::string& speed) {
    state.StringGrid1.SetCell(row, TrackTable::ColLat, lat);
    state.StringGrid1.SetCell(row, TrackTable::ColLon, lon);
    state.StringGrid1.SetCell(row, TrackTable::ColAlt, alt);
    state.StringGrid1.SetCell(row, TrackTable::ColSpeed, speed);
  }

  // Only these sentence types are checked.
  void OnlySentences(std::initializer_list<Sentence> checked) {
    for (auto& box : state.CheckBoxSentence) box.Checked = false;
    for (Sentence s : checked) state.CheckBoxSentence[s].Checked = true;
  }

  // Fires the timer n times (it must be running).
  void Fire(int n) {
    for (int i = 0; i < n; ++i) timer.Fire();
  }

  // Every sentence type checked, NMEA 2.3.
  void AllSentences() {
    for (auto& box : state.CheckBoxSentence) box.Checked = true;
    state.ComboBoxNMEA.Text = "2.3";
  }

  AppState state;
  FakeChannel channel;
  FakeDisplay display;
  FakeMessages messages;
  FakeClock clock;
  FakeTimer timer;
  FakeIdle idle;
  RunEngine engine{state, channel, display, messages, clock, timer, idle};
};

class EngineFixture : public ::testing::Test, public EngineRig {};

}  // namespace fixcaster::enginetest
