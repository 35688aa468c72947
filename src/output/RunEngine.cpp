#include "output/RunEngine.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <stdexcept>
#include <system_error>

#include "nmea/Format.h"
#include "nmea/Presets.h"
#include "track/TrackGrammar.h"

namespace fixcaster {

namespace {

constexpr double DegToRad = 0.017453292519943295;
constexpr double SemiMajorAxis = 6378137.0;
constexpr double EccentricitySquared = 0.00669437999014132;
constexpr int TaskbarFloor = 11;  // taskbar progress never looks empty while running

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// An integer box's text; nothing when it is not a whole decimal integer.
bool ReadInt(std::string_view text, int32_t& value) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size();
}

// Fixed-point text with `decimals` decimals and "." whatever the process locale.
std::string FixedText(double value, int decimals) {
  char buffer[64];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return {};
  return std::string(buffer, end);
}

std::string TwoDigits(long long value) {
  std::string text = std::to_string(value);
  if (text.size() < 2) text.insert(0, 1, '0');
  return text;
}

// A duration in days as a time of day "hh:nn:ss": rounded to the millisecond, whole
// days dropped, milliseconds not shown.
std::string DurationText(double days) {
  if (!std::isfinite(days) || days < 0 || days > 1e9) days = 0;
  long long ms = std::llround(days * 86400000.0) % 86400000LL;
  long long seconds = ms / 1000;
  return TwoDigits(seconds / 3600) + ":" + TwoDigits(seconds / 60 % 60) + ":" +
         TwoDigits(seconds % 60);
}

// The adaptive distance form: more decimals for short distances.
std::string AdaptiveDistanceText(double value) {
  if (value < 10) return FixedText(value, 3);
  if (value < 100) return FixedText(value, 2);
  return FixedText(value, 1);
}

int32_t ClampToInt32(double value) {
  if (!(value > 0)) return 0;  // also NaN
  if (value >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  return static_cast<int32_t>(value);
}

template <typename T>
T ArrayAt(const std::vector<T>& values, int64_t i, T missing) {
  if (i < 0 || static_cast<uint64_t>(i) >= values.size()) return missing;
  return values[static_cast<size_t>(i)];
}

}  // namespace

RunEngine::RunEngine(AppState& state, OutputChannel& channel, DisplaySink& display,
                     MessageSink& messages, Clock& clock, TickTimer& timer, IdleScheduler& idle)
    : state_(state),
      channel_(channel),
      display_(display),
      messages_(messages),
      clock_(clock),
      timer_(timer),
      idle_(idle) {
  timer_.SetHandler([this] { Timer1Timer(); });
}

RunEngine::~RunEngine() {
  timer_.Stop();
  timer_.SetHandler({});
}

double RunEngine::LatAt(int64_t i) const {
  return ArrayAt(Track.TrackLat, i, MissingValue);
}
double RunEngine::LonAt(int64_t i) const {
  return ArrayAt(Track.TrackLon, i, MissingValue);
}
double RunEngine::AltAt(int64_t i) const {
  return ArrayAt(Track.TrackAlt, i, MissingValue);
}
double RunEngine::SpeedAt(int64_t i) const {
  return ArrayAt(Track.TrackSpeed, i, 0.0);
}
int32_t RunEngine::TicksAt(int64_t i) const {
  return ArrayAt(Track.SpanTicks, i, int32_t{0});
}

void RunEngine::BeginSpanAt(int32_t row) {
  BeginSpan(LatAt(row), LonAt(row), LatAt(int64_t{row} + 1), LonAt(int64_t{row} + 1), AltAt(row),
            AltAt(int64_t{row} + 1));
}

RunState RunEngine::CurrentRunState() const {
  if (!state_.ButtonStop.Enabled) return RunState::Stopped;
  return state_.ButtonIdling.Enabled ? RunState::Travelling : RunState::Idling;
}

// --- run control ----------------------------------------------------------------------

void RunEngine::ButtonStartClick(bool fromStartButton) {
  if (!channel_.IsOutputOpen()) {
    messages_.ShowMessage(EngineMessageId::OpenOutputFirst);
    return;
  }
  StopRequested = false;
  SendOverload = false;
  if (fromStartButton) Idling = false;

  if (state_.ButtonStop.Enabled) {
    // Idling -> travelling: the run goes on from the held step.
    ApplyOutputPeriod();
    SetRunControls(RunState::Travelling);
    EnableJumping(Idling);
    return;
  }

  if (!PrepareRoute()) {
    SetRunControls(RunState::Stopped);
    SetStopRequested();
    return;
  }
  if (Track.LastSpan < 1) {
    messages_.ShowMessage(EngineMessageId::NeedTwoTracks);
    SetRunControls(RunState::Stopped);
    SetStopRequested();
    return;
  }
  state_.Satellites = AnalysePreset(state_.PresetGsa, state_.CurrentPreset);
  ReadSentenceIntervals();
  SentenceCounter = SentenceInterval;  // every checked type is due on the first tick
  ApplyOutputPeriod();
  TickInSpan = 0;
  if (!Idling || CurrentSpan < 1 || CurrentSpan > Track.LastPoint) CurrentSpan = 1;
  BeginSpanAt(CurrentSpan);
  if (Idling) {
    AdvancePosition();
    TickInSpan = 1;
  }
  SetRunControls(RunState::Travelling);
  Timer1Timer();  // the first tick does not wait for the timer
  EnableJumping(Idling);
}

void RunEngine::ButtonIdlingClick() {
  if (!channel_.IsOutputOpen()) {
    messages_.ShowMessage(EngineMessageId::OpenOutputFirst);
    return;
  }
  Idling = true;
  state_.ButtonIdling.Enabled = false;
  if (CurrentSpan < 1 || CurrentSpan > Track.LastPoint) {
    CurrentSpan = 1;
    if (state_.ButtonStop.Enabled) {
      // Past the end of a closed route the receiver stands on point 1 again, but the
      // span state is still that of the last span: set span 1 up, so that travel
      // later goes on from point 1 rather than from inside the last span.
      TickInSpan = 0;
      BeginSpanAt(1);
      AdvancePosition();
      TickInSpan = 1;
    }
  }
  if (TickInSpan <= 1) ButtonStartClick(false);
  if (StopRequested) return;
  SetRunControls(RunState::Idling);
  EnableJumping(true);
}

void RunEngine::ButtonStopClick() {
  SetStopRequested();
  Idling = false;
  channel_.DiscardSerialBacklog();
  if (panel1Visible_) {
    display_.HideWarning();
    panel1Visible_ = false;
  }
  ClearSendStatus();
}

void RunEngine::RequestStop() {
  SetStopRequested();
}

void RunEngine::SetStopRequested() {
  StopRequested = true;
  idle_.ScheduleIdle();
}

void RunEngine::ClearSendStatus() {
  display_.SetSendStatus("");
  display_.SetSendOverload(false);
  SendOverload = false;
}

void RunEngine::Timer1Timer() {
  try {
    // A tick dispatched from inside a tick (the send path may run the event loop)
    // is skipped before anything else, a pending stop included.
    if (TickBusy) {
      if (!panel1Visible_) ShowLoadWarning(-1);
      return;
    }
    if (CurrentRunState() == RunState::Stopped) return;  // a late timeout after the stop

    const bool trackEnded =
        !Idling && (CurrentSpan > Track.LastSpan || TickInSpan > TicksAt(CurrentSpan));
    if (StopRequested) {
      // A stop always wins, even with Repeat: nothing goes out after Stop.
      EndRun();
    } else if (trackEnded) {
      if (state_.CheckBoxRep.Checked) {
        // The first step of span 1 follows the last span's end point; the tick step
        // also moves on when span 1 has a single tick.
        CurrentSpan = 1;
        TickInSpan = 1;
        BeginSpanAt(1);
        TickStep();
      } else {
        EndRun();
      }
    } else {
      TickStep();
    }
  } catch (...) {
    // A failed tick is dropped; the next one starts afresh.
    TickBusy = false;
  }
}

void RunEngine::EndRun() {
  StopTimer();
  EnableJumping(true);
  SetRunControls(RunState::Stopped);
  ClearSendStatus();
  if (panel1Visible_) {
    display_.HideWarning();
    panel1Visible_ = false;
  }
}

void RunEngine::ApplicationEvents1Idle() {
  if (TickBusy) {
    // Never inside a tick: EmitTick asks again when it is done.
    stopDeferred_ = true;
    return;
  }
  stopDeferred_ = false;
  if (!StopRequested) return;
  StopTimer();
  TickInSpan = 0;
  EnableJumping(true);
  SetRunControls(RunState::Stopped);
}

void RunEngine::StartTimer(int intervalMs) {
  timer1Interval_ = intervalMs;
  timer_.Start(intervalMs);
}

void RunEngine::StopTimer() {
  timer1Interval_ = 0;
  timer_.Stop();
}

void RunEngine::ApplyOutputPeriod() {
  double hz = ParseNumber(state_.ComboBoxHz.Text);
  int interval = 1000;
  // A blank box reads as 0 and a negative frequency has no period either.
  if (!std::isfinite(hz) || hz <= 0 || Trim(state_.ComboBoxHz.Text).empty()) {
    state_.ComboBoxHz.Text = "1";
  } else {
    double ms = std::floor(1000.0 / hz);
    interval = ms >= INT32_MAX ? INT32_MAX : static_cast<int>(ms);
    if (interval < MinTimerIntervalMs) interval = MinTimerIntervalMs;
  }
  StartTimer(interval);
}

void RunEngine::SetRunControls(RunState state) {
  const bool stopped = state == RunState::Stopped;
  state_.ButtonStart.Enabled = state != RunState::Travelling;
  state_.ButtonIdling.Enabled = state != RunState::Idling;
  state_.ButtonStop.Enabled = !stopped;
  state_.ButtonLoad.Enabled = stopped;
  state_.ButtonLoadCSV.Enabled = stopped;
  state_.ButtonSaveCSV.Enabled = stopped;
  if (stopped) {
    display_.SetLabelReport("");
    display_.SetProgress(0);
  }
  if (display_.TaskbarProgressMax() > 0) {
    if (stopped) display_.SetTaskbarState(TaskbarState::None);
    if (state == RunState::Travelling) display_.SetTaskbarState(TaskbarState::Normal);
  }
  display_.RunControlsChanged();
}

void RunEngine::EnableJumping(bool enabled) {
  state_.StringGrid1Enabled = enabled;
  state_.JumpButtonsEnabled = enabled;
  display_.RunControlsChanged();
}

bool RunEngine::PrepareRoute() {
  RouteResult result = fixcaster::PrepareRoute(state_.StringGrid1, state_.ComboBoxHz.Text,
                                               state_.ComboBoxGeoid.Text, state_.SpeedUnit, Track);
  if (result.HzText) state_.ComboBoxHz.Text = *result.HzText;
  display_.TrackTableChanged();
  for (const RouteMessage& message : result.Messages) messages_.ShowRouteMessage(message);
  return result.Accepted;
}

// --- frequency change and jumps ------------------------------------------------------------

void RunEngine::ComboBoxHzChange() {
  if (!state_.ButtonStop.Enabled) return;  // while stopped the next start reads the box
  ApplyOutputPeriod();
  RetimeRun();
}

void RunEngine::RetimeRun() {
  const int32_t span = CurrentSpan;
  // A span without ticks (held at the end of an open route) has no place to keep.
  const bool hasPlace = CurSpanTicks > 0;
  const double fraction = hasPlace ? static_cast<double>(TickInSpan) / CurSpanTicks : 0.0;
  PrepareRoute();
  CurrentSpan = span;
  CurSpanTicks = TicksAt(CurrentSpan);
  if (hasPlace) TickInSpan = ClampToInt32(fraction * CurSpanTicks + 0.9999999999);
  display_.SetLabelCount(std::to_string(CurrentSpan) + "-" + std::to_string(TickInSpan) + "/" +
                         std::to_string(TicksAt(CurrentSpan)));
  display_.SetLabelReport(SpanReportFixed());
}

void RunEngine::ButtonJ1Click(int32_t row) {
  if (CurrentRunState() == RunState::Travelling) return;  // the buttons are disabled then
  if (!PrepareRoute()) {
    SetStopRequested();
    return;
  }
  if (row < 1 || row > Track.LastPoint) return;
  CurrentSpan = row;
  TickInSpan = 0;
  BeginSpanAt(row);
  AdvancePosition();
  if (state_.ButtonIdling.Enabled) {
    EmitTick(LatAt(row), LonAt(row), CurCourse, SpeedAt(row), AltAt(row));
    display_.SelectGridRow(row);
  }
}

// --- output cycle ------------------------------------------------------------------------

void RunEngine::TickStep() {
  display_.SelectGridRow(CurrentSpan);
  if (Idling) {
    // The receiver holds the last position it reached (or the point it was put on).
    EmitTick(CurLat, CurLon, CurCourse, SpeedAt(CurrentSpan), CurAlt);
    return;
  }
  AdvancePosition();
  const int32_t spanTicks = TicksAt(CurrentSpan);
  if (TickInSpan == 0) {
    EmitTick(LatAt(CurrentSpan), LonAt(CurrentSpan), CurCourse, SpeedAt(CurrentSpan),
             AltAt(CurrentSpan));
  } else if (TickInSpan == spanTicks) {
    const int64_t end = int64_t{CurrentSpan} + 1;
    EmitTick(LatAt(end), LonAt(end), CurCourse, SpeedAt(end), AltAt(end));
  } else {
    EmitTick(CurLat, CurLon, CurCourse, SpeedAt(CurrentSpan), CurAlt);
  }
  ++TickInSpan;
  if (TickInSpan > spanTicks) {
    TickInSpan = 1;
    ++CurrentSpan;
    if (CurrentSpan <= Track.LastSpan) BeginSpanAt(CurrentSpan);
  }
}

void RunEngine::AdvancePosition() {
  if (CurSpanTicks <= 0) return;
  const double f = static_cast<double>(TickInSpan) / CurSpanTicks;
  const double x = SpanStartXYZ[0] + (SpanEndXYZ[0] - SpanStartXYZ[0]) * f;
  const double y = SpanStartXYZ[1] + (SpanEndXYZ[1] - SpanStartXYZ[1]) * f;
  const double z = SpanStartXYZ[2] + (SpanEndXYZ[2] - SpanStartXYZ[2]) * f;
  const double r = std::sqrt(x * x + y * y + z * z);
  // The chord of two antipodal points passes through the centre, where no direction
  // is left (only rounding noise): the receiver keeps its place for that one step.
  const double radius =
      std::sqrt(SpanStartXYZ[0] * SpanStartXYZ[0] + SpanStartXYZ[1] * SpanStartXYZ[1] +
                SpanStartXYZ[2] * SpanStartXYZ[2]);
  if (!(r > radius * 1e-9)) return;
  CurLon = std::atan2(y, x) / DegToRad;
  CurLat = std::asin(z / r) / DegToRad;
  CurAlt = SpanStartAlt + (SpanEndAlt - SpanStartAlt) * f;

  double dLon = CurLon - PrevLon;
  // A step across the 180th meridian is a short step, not one around the world.
  if (dLon > 180) dLon -= 360;
  if (dLon < -180) dLon += 360;
  const double dLat = CurLat - PrevLat;
  // A step that does not move has no course of its own; keep the last one.
  if (dLon != 0 || dLat != 0) {
    double course = std::atan2(dLon * std::cos(CurLat * DegToRad), dLat) / DegToRad;
    if (course < 0) course += 360;
    CurCourse = course;
  }
  PrevLat = CurLat;
  PrevLon = CurLon;
}

void RunEngine::ShowLoadWarning(int32_t n) {
  if (n == 0) {
    if (panel1Visible_) display_.HideWarning();
    panel1Visible_ = false;
    return;
  }
  display_.ShowWarning(n > 0 ? LoadWarning::Backlog : LoadWarning::CpuTooSlow, n);
  panel1Visible_ = true;
}

void RunEngine::ReadSentenceIntervals() {
  for (int s = 0; s < SentenceCount; ++s) {
    int32_t interval = 0;  // unreadable: due on every tick
    if (!ReadInt(state_.ComboBoxInterval[s].Text, interval)) interval = 0;
    SentenceInterval[s] = interval;
  }
  int32_t decimals = 0;
  if (!ReadInt(state_.ComboBoxTimeDec.Text, decimals)) decimals = 0;
  if (decimals > 3) {
    state_.ComboBoxTimeDec.Text = "3";
    decimals = 3;
  } else if (decimals < 0) {
    state_.ComboBoxTimeDec.Text = "0";
    decimals = 0;
  }
  state_.TimeDecimals = decimals;
}

int64_t RunEngine::SendLoad(int64_t sentBytes, int intervalMs) {
  if (intervalMs <= 0) return 0;
  return sentBytes * 10010 / intervalMs;
}

void RunEngine::RefreshSentenceSettings() {
  SentenceSettings& s = sentenceSettings_;
  s.NmeaVersion = state_.ComboBoxNMEA.Text;
  s.NavStatus = state_.ComboBoxNavSt.Text;
  s.Fix = state_.Fix;
  s.Satellites = state_.Satellites;
  s.DgpsAge = state_.DgpsAge;
  s.DgpsStation = state_.DgpsStation;
  s.MagVariation = state_.MagVariation;
  s.MagVariationText = state_.MagVariationText;
  s.ZoneText = state_.ZoneText;
  s.Idling = Idling;
}

void RunEngine::SendSentence(const std::string& sentence) {
  line_.assign(sentence);
  line_.append("\r\n");
  channel_.SendText(line_);
}

void RunEngine::SendPresetLines(const std::string* first, int count) {
  for (int i = 0; i < count; ++i) {
    if (first[i].empty()) continue;
    SendSentence(AppendChecksum(first[i]));
  }
}

void RunEngine::EmitTick(double latitude, double longitude, double course, double speed,
                         double altitude) {
  TickBusy = true;
  bool failed = false;
  try {
    Track.GeoidSeparation = ParseNumberOrZero(state_.ComboBoxGeoid.Text) * Track.AltitudeFactor;
    channel_.ResetSent();
    ShowLoadWarning(channel_.SerialBacklog());
    const double now = clock_.NowUtc();

    const int32_t spanTicks = TicksAt(CurrentSpan);
    display_.SetLabelCount(std::to_string(CurrentSpan) + " - " + std::to_string(TickInSpan) + "/" +
                           std::to_string(spanTicks));
    const bool atLastPoint = CurrentSpan == Track.LastPoint;
    // A span without ticks (a point that begins no span) shows no progress.
    if ((atLastPoint && speed == 0) || spanTicks <= 0) {
      display_.SetProgress(0);
    } else {
      display_.SetProgress(
          static_cast<int>(int64_t{ProgressBarMax} * std::max(TickInSpan, 0) / spanTicks));
    }
    const int taskbarMax = display_.TaskbarProgressMax();
    if (taskbarMax > 0) {
      int value = TaskbarFloor;
      if (!atLastPoint && speed != 0 && spanTicks > 0) {
        value = static_cast<int>(int64_t{taskbarMax - TaskbarFloor} * std::max(TickInSpan, 0) /
                                 spanTicks) +
                TaskbarFloor;
      }
      display_.ShowTaskbarProgress(CurrentSpan, value);
    }
    display_.SetLabelLat(FormatDms(latitude, 3, "NS"));
    display_.SetLabelLon(FormatDms(longitude, 3, "EW"));
    display_.SetLabelAlt(FormatOneDecimal(altitude));
    display_.SetLabelSpeed(Idling ? std::string("0.0")
                                  : FormatOneDecimal(speed / Track.SpeedFactor));
    display_.SetLabelTime(FormatUtc(now, "hh:nn:ss", state_.TimeDecimals));

    int32_t minuteDecimals = 0;
    const bool decimalsReadable = ReadInt(state_.ComboBoxDegDec.Text, minuteDecimals);
    TickFields fields =
        FormatTickFields(now, latitude, longitude, altitude, Track.GeoidSeparation, speed, course,
                         state_.TimeDecimals, decimalsReadable ? minuteDecimals : 6);
    if (!decimalsReadable) {
      // An unreadable number of decimals leaves the coordinate fields empty.
      fields.Latitude.clear();
      fields.Longitude.clear();
    }
    RefreshSentenceSettings();

    auto due = [this](Sentence s) {
      return state_.CheckBoxSentence[s].Checked && SentenceCounter[s] >= SentenceInterval[s];
    };
    auto sent = [this](Sentence s) { SentenceCounter[s] = 0; };
    auto talker = [this](Sentence s) -> const std::string& { return state_.TalkerPrefixText[s]; };
    // A sentence that cannot be built ends the tick's output there.
    auto required = [](std::optional<std::string> sentence) {
      if (!sentence) throw std::runtime_error("sentence cannot be built");
      return std::move(*sentence);
    };

    const bool rmcFirst = state_.CheckBoxRMCprec.Checked;
    auto sendRmc = [&] {
      if (!due(sRMC)) return;
      SendSentence(BuildRMC(talker(sRMC), fields, sentenceSettings_));
      sent(sRMC);
    };
    if (rmcFirst) sendRmc();
    if (due(sGGA)) {
      SendSentence(required(BuildGGA(talker(sGGA), fields, sentenceSettings_)));
      sent(sGGA);
    }
    if (state_.CheckBoxSentence[sGNS].Enabled && due(sGNS)) {
      SendSentence(required(BuildGNS(talker(sGNS), fields, sentenceSettings_)));
      sent(sGNS);
    }
    if (!rmcFirst) sendRmc();
    if (due(sGLL)) {
      SendSentence(BuildGLL(talker(sGLL), fields, sentenceSettings_));
      sent(sGLL);
    }
    if (due(sVTG)) {
      SendSentence(BuildVTG(talker(sVTG), fields, sentenceSettings_));
      sent(sVTG);
    }
    if (due(sZDA)) {
      SendSentence(BuildZDA(talker(sZDA), fields, sentenceSettings_));
      sent(sZDA);
    }
    if (due(sHDT)) {
      SendSentence(BuildHDT(talker(sHDT), fields));
      sent(sHDT);
    }
    const int preset = state_.CurrentPreset;
    const bool presetValid = preset >= 1 && preset <= PresetCount;
    if (due(sGSA)) {
      if (presetValid) SendPresetLines(&state_.PresetGsa[preset][1], PresetGsaLines);
      sent(sGSA);
    }
    if (due(sGSV)) {
      if (presetValid) SendPresetLines(&state_.PresetGsv[preset][1], PresetGsvLines);
      sent(sGSV);
    }
  } catch (...) {
    // The rest of this tick's output is dropped; motion and the next tick go on.
    failed = true;
  }
  // What went out before a failure still forms the tick's output.
  channel_.EndTick();
  // A failed tick still counts as a tick: otherwise a type sent before the failure
  // (counter 0) would never become due again while the failure persists.
  for (int32_t& counter : SentenceCounter) {
    if (counter < INT32_MAX) ++counter;
  }
  if (!failed) {
    const int32_t sentBytes = channel_.SentBytes();
    display_.SetSendStatus(" Sending: " + std::to_string(sentBytes) + " bytes ");
    if (timer1Interval_ > 0) {
      const bool overloaded =
          channel_.IsSerialOpen() && SendLoad(sentBytes, timer1Interval_) >= channel_.SerialBaud();
      if (overloaded != SendOverload) {
        display_.SetSendOverload(overloaded);
        SendOverload = overloaded;
      }
    }
    if (display_.MonitorVisible()) display_.SetMonitorText(channel_.SentText());
  }
  TickBusy = false;
  if (stopDeferred_ && StopRequested) idle_.ScheduleIdle();
  stopDeferred_ = false;
}

// --- span start --------------------------------------------------------------------------

void RunEngine::BeginSpan(double lat1, double lon1, double lat2, double lon2, double alt1,
                          double alt2) {
  const double phi1 = lat1 * DegToRad, lambda1 = lon1 * DegToRad;
  const double phi2 = lat2 * DegToRad, lambda2 = lon2 * DegToRad;
  auto primeVertical = [](double phi) {
    const double s = std::sin(phi);
    const double n = SemiMajorAxis / std::sqrt(1 - s * EccentricitySquared * s);
    return std::isfinite(n) ? n : 0.0;
  };
  const double r = (primeVertical(phi1) + primeVertical(phi2)) / 2;
  SpanStartXYZ = {r * std::cos(lambda1) * std::cos(phi1), r * std::sin(lambda1) * std::cos(phi1),
                  r * std::sin(phi1)};
  SpanEndXYZ = {r * std::cos(lambda2) * std::cos(phi2), r * std::sin(lambda2) * std::cos(phi2),
                r * std::sin(phi2)};
  SpanStartAlt = alt1;
  SpanEndAlt = alt2;
  CurSpanTicks = TicksAt(CurrentSpan);
  PrevLat = lat1;
  PrevLon = lon1;
  if (CurSpanTicks <= 0) {
    // A point that begins no span: the receiver is simply at that point.
    CurLat = lat1;
    CurLon = lon1;
    CurAlt = alt1;
  } else {
    --TickInSpan;
    AdvancePosition();
    ++TickInSpan;
  }
  display_.SetLabelReport(SpanReportAdaptive());
}

std::string RunEngine::SpanReportAdaptive() const {
  return SpanReport(false);
}
std::string RunEngine::SpanReportFixed() const {
  return SpanReport(true);
}

std::string RunEngine::SpanReport(bool fixedForm) const {
  // Spans past the planned ones carry no meaningful values: report them as ended.
  const bool ended = !fixedForm && ((CurrentSpan == Track.LastPoint && SpeedAt(CurrentSpan) == 0) ||
                                    CurrentSpan > Track.LastSpan || CurrentSpan < 1);
  const double spanDistance =
      ended ? 0.0 : ArrayAt(Track.SpanDistance, CurrentSpan, 0.0) * Track.DistanceFactor;
  const double totalDistance = Track.TotalDistance * Track.DistanceFactor;
  const double spanDays = ended ? 0.0 : ArrayAt(Track.SpanDays, CurrentSpan, 0.0);
  auto distance = [fixedForm](double value) {
    return fixedForm ? FixedText(value, 1) : AdaptiveDistanceText(value);
  };
  return distance(spanDistance) + "/" + distance(totalDistance) + Track.DistanceUnit + "   " +
         DurationText(spanDays) + "/" + DurationText(Track.TotalDays);
}

}  // namespace fixcaster
