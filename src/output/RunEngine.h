#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "nmea/Sentences.h"
#include "output/EngineInterfaces.h"
#include "output/OutputChannel.h"
#include "state/AppState.h"
#include "track/Route.h"

namespace fixcaster {

// The run engine: owns one run of the simulated receiver (which span, which tick,
// idling or not, a pending stop) and the planned route, moves the receiver one step
// per output tick and emits the due sentences. Settings are read from the state
// object at the moment they are needed, so a change in the window takes effect at
// the next tick. Everything runs on one thread (the window's); the only re-entry is
// a timer tick arriving while a tick is being sent, which is skipped.
class RunEngine {
 public:
  static constexpr int ProgressBarMax = 310;
  static constexpr int MinTimerIntervalMs = 10;

  RunEngine(AppState& state, OutputChannel& channel, DisplaySink& display, MessageSink& messages,
            Clock& clock, TickTimer& timer, IdleScheduler& idle);
  ~RunEngine();
  RunEngine(const RunEngine&) = delete;
  RunEngine& operator=(const RunEngine&) = delete;

  // --- run control -------------------------------------------------------------
  // The start operation. `fromStartButton` false is the call of the Idling operation
  // and of the "/A" switch, which leave Idling as it is.
  void ButtonStartClick(bool fromStartButton = true);
  void ButtonIdlingClick();
  void ButtonStopClick();
  // Esc, and the output port being closed: only asks for the stop.
  void RequestStop();
  // The output timer's handler; never throws.
  void Timer1Timer();
  // The run's share of the idle handler: acts on a pending stop. The window calls it
  // when the idle scheduler asks (the engine asks whenever a stop becomes pending).
  void ApplicationEvents1Idle();
  // Timer interval from ComboBoxHz: whole ms of 1000 / f, at least 10 ms.
  void ApplyOutputPeriod();
  void SetRunControls(RunState state);
  void EnableJumping(bool enabled);

  // --- changes during a run --------------------------------------------------------
  // A new frequency: while a run is going, new timer period and re-planned spans.
  void ComboBoxHzChange();
  // Re-plans the route, keeping the receiver at the same relative place in its span.
  void RetimeRun();
  // An interval, geoid, coordinate-decimals or time-decimals box changed.
  void ComboBoxGGAChange() { ReadSentenceIntervals(); }
  // Jump button: moves the receiver to track row `row`; while stopped one tick is
  // emitted for that point.
  void ButtonJ1Click(int32_t row);
  // The row beside Jump button `tag` (1..9) when the grid's first visible row is topRow.
  static int32_t JumpRow(int tag, int32_t topRow) { return tag + topRow - 1; }

  // --- output cycle ----------------------------------------------------------------
  void TickStep();
  void AdvancePosition();
  void EmitTick(double latitude, double longitude, double course, double speed, double altitude);
  // n > 0 bytes waiting in the serial transmit buffer, 0 none, < 0 a skipped tick.
  void ShowLoadWarning(int32_t n);
  void ReadSentenceIntervals();

  // --- span start ----------------------------------------------------------------------
  void BeginSpan(double lat1, double lon1, double lat2, double lon2, double alt1, double alt2);
  // The span report as BeginSpan writes it and as RetimeRun writes it.
  std::string SpanReportAdaptive() const;
  std::string SpanReportFixed() const;

  // Runs the route preparation on the grid, shows its messages; true when accepted.
  bool PrepareRoute();

  // Bits per second a tick of `sentBytes` characters needs at `intervalMs` (10 bits a
  // character, plus 0.1 %).
  static int64_t SendLoad(int64_t sentBytes, int intervalMs);

  RunState CurrentRunState() const;
  int Timer1Interval() const { return timer1Interval_; }
  bool WarningPanelVisible() const { return panel1Visible_; }

  // --- the planned route -------------------------------------------------------------
  TrackModel Track;

  // --- run state -----------------------------------------------------------------------
  int32_t CurrentSpan = 0;  // grid row of the span being travelled; 1 at a fresh start
  int32_t TickInSpan = 0;   // ticks done in the current span
  bool Idling = false;
  bool StopRequested = false;
  bool TickBusy = false;
  bool SendOverload = false;

  // Indexed by Sentence (GGA, RMC, GLL, VTG, ZDA, GNS, HDT, GSA, GSV).
  std::array<int32_t, SentenceCount> SentenceInterval{};
  std::array<int32_t, SentenceCount> SentenceCounter{};

  double CurLat = 0, CurLon = 0, CurAlt = 0, CurCourse = 0;
  double PrevLat = 0, PrevLon = 0;

  // Span state of BeginSpan.
  std::array<double, 3> SpanStartXYZ{};
  std::array<double, 3> SpanEndXYZ{};
  double SpanStartAlt = 0, SpanEndAlt = 0;
  int32_t CurSpanTicks = 0;

 private:
  // Bounds-safe reads of the route arrays: entries past the arrays read as missing.
  double LatAt(int64_t i) const;
  double LonAt(int64_t i) const;
  double AltAt(int64_t i) const;
  double SpeedAt(int64_t i) const;
  int32_t TicksAt(int64_t i) const;
  void BeginSpanAt(int32_t row);
  void StartTimer(int intervalMs);
  void StopTimer();
  void ClearSendStatus();
  void SetStopRequested();
  void EndRun();
  void SendSentence(const std::string& sentence);
  void SendPresetLines(const std::string* first, int count);
  void RefreshSentenceSettings();
  std::string SpanReport(bool fixedForm) const;

  AppState& state_;
  OutputChannel& channel_;
  DisplaySink& display_;
  MessageSink& messages_;
  Clock& clock_;
  TickTimer& timer_;
  IdleScheduler& idle_;

  int timer1Interval_ = 0;  // 0: not firing
  bool panel1Visible_ = false;
  bool stopDeferred_ = false;  // the idle step met a busy tick
  SentenceSettings sentenceSettings_;
  std::string line_;  // reused buffer of one framed line
};

}  // namespace fixcaster
