#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "track/Route.h"

namespace fixcaster {

// The small interfaces through which the run engine talks to the world. The window
// implements them in production, tests use fakes; the engine itself never touches
// a widget, a translation or a real clock.

// The run states as the controls show them.
enum class RunState { Stopped, Travelling, Idling };

// The taskbar button's progress state (where the desktop offers one).
enum class TaskbarState { None, Normal };

// What the warning panel (Panel1 with LabelAlm1/LabelAlm2) says. The window turns the
// kind into the texts of the interface language.
enum class LoadWarning {
  Backlog,     // "Baud rate is too low" / "Remaining of Send buffer: <n>Bytes"
  CpuTooSlow,  // "Lack of CPU power" / "Please lengthen an output period"
};

// Labels, bars and panels of the output group that a run refreshes.
class DisplaySink {
 public:
  virtual ~DisplaySink() = default;

  virtual void SetLabelCount(const std::string& text) = 0;  // "3 - 12/40"
  virtual void SetLabelLat(const std::string& text) = 0;
  virtual void SetLabelLon(const std::string& text) = 0;
  virtual void SetLabelAlt(const std::string& text) = 0;
  virtual void SetLabelSpeed(const std::string& text) = 0;
  virtual void SetLabelTime(const std::string& text) = 0;
  virtual void SetLabelReport(const std::string& text) = 0;  // span report, "" clears it
  // ProgressBar1, 0 .. ProgressBarMax.
  virtual void SetProgress(int position) = 0;

  // Maximum of the taskbar progress value; 0 where the desktop has no taskbar
  // progress (then no taskbar call is made).
  virtual int TaskbarProgressMax() const = 0;
  virtual void ShowTaskbarProgress(int32_t span, int value) = 0;
  // State none also removes the overlay (span number) icon.
  virtual void SetTaskbarState(TaskbarState state) = 0;

  // The warning panel; `bytes` is the serial backlog for LoadWarning::Backlog.
  virtual void ShowWarning(LoadWarning kind, int32_t bytes) = 0;
  virtual void HideWarning() = 0;

  // The status line LbelSendBytes: its text and whether it shows the overload
  // colour (yellow) rather than the button-face colour.
  virtual void SetSendStatus(const std::string& text) = 0;
  virtual void SetSendOverload(bool overloaded) = 0;

  // The monitor window: the text is only handed over while it is visible.
  virtual bool MonitorVisible() const = 0;
  virtual void SetMonitorText(const std::string& text) = 0;

  // Selects row `row`, column 1, of the track grid.
  virtual void SelectGridRow(int32_t row) = 0;

  // The engine changed enabled states in the state object (run buttons, grid, Jump
  // buttons); the window refreshes its widgets from there.
  virtual void RunControlsChanged() = 0;
  // A route preparation rewrote cells of the track grid (bad-value markers, rows
  // cleared below the track, the frequency box text).
  virtual void TrackTableChanged() = 0;
};

// Message boxes, given by id; the window holds the texts of both languages.
enum class EngineMessageId {
  OpenOutputFirst,  // warning: "Please open RS-232C or TCP"
  NeedTwoTracks,    // warning: "More than 2 tracks with speed greater than zero are required"
};

class MessageSink {
 public:
  virtual ~MessageSink() = default;
  virtual void ShowMessage(EngineMessageId id) = 0;
  // A message of a route preparation the engine ran (bad cells, values out of range).
  virtual void ShowRouteMessage(const RouteMessage& message) = 0;
};

// The system clock in UTC as a date-time: days since 1899-12-30 00:00, the fraction
// being the time of day, at millisecond resolution.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual double NowUtc() const = 0;
};

// std::chrono::system_clock truncated to the millisecond.
class SystemUtcClock final : public Clock {
 public:
  double NowUtc() const override;
};

// The output timer Timer1. Start (re)arms it with a period in whole milliseconds,
// Stop disarms it; while armed it calls the handler given to the engine once per
// period on the engine's thread.
class TickTimer {
 public:
  virtual ~TickTimer() = default;
  virtual void SetHandler(std::function<void()> handler) = 0;
  virtual void Start(int intervalMs) = 0;
  virtual void Stop() = 0;
};

// Asks the event loop to call RunEngine::ApplicationEvents1Idle once it has nothing
// else to do. A stop request is acted on there instead of by polling.
class IdleScheduler {
 public:
  virtual ~IdleScheduler() = default;
  virtual void ScheduleIdle() = 0;
};

}  // namespace fixcaster
