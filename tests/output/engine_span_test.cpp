// Span start and the span report, the motion along a span (a whole run of the
// default track, courses), frequency changes during a run and the Jump buttons.

#include <cmath>

#include "engine_fakes.h"

namespace fixcaster::enginetest {
namespace {

using Lines = std::vector<std::string>;

class SpanTest : public EngineFixture {
 protected:
  SpanTest() { OnlySentences({sRMC, sVTG}); }
};

TEST_F(SpanTest, ReportAtTheStartOfTheDefaultTrack) {
  engine.ButtonStartClick();
  EXPECT_EQ(display.labels["Report"], "0.393/0.393km   00:00:47/00:00:47");
}

struct ReportCase {
  const char* name;
  double spanMetres, totalMetres, spanDays, totalDays;
  int32_t currentSpan, lastPoint, lastSpan;
  double speed;  // of the current row
  const char* adaptive;
  const char* fixed;
};

class Report : public SpanTest, public ::testing::WithParamInterface<ReportCase> {};

TEST_P(Report, FormsOfTheSpanReport) {
  const ReportCase& c = GetParam();
  TrackModel& t = engine.Track;
  t.TrackSpeed.assign(10, c.speed);
  t.SpanDistance.assign(10, c.spanMetres);
  t.SpanDays.assign(10, c.spanDays);
  t.TotalDistance = c.totalMetres;
  t.TotalDays = c.totalDays;
  t.LastPoint = c.lastPoint;
  t.LastSpan = c.lastSpan;
  engine.CurrentSpan = c.currentSpan;
  EXPECT_EQ(engine.SpanReportAdaptive(), c.adaptive);
  EXPECT_EQ(engine.SpanReportFixed(), c.fixed);
}

INSTANTIATE_TEST_SUITE_P(
    Span, Report,
    ::testing::Values(
        ReportCase{"TwelveAndAHalfOf150", 12500, 150000, 0.5 / 24, 5.0 / 24, 2, 5, 4, 10,
                   "12.50/150.0km   00:30:00/05:00:00", "12.5/150.0km   00:30:00/05:00:00"},
        ReportCase{"TwentyFiveHours", 5000, 5000, 25.0 / 24, 25.0 / 24, 1, 3, 2, 10,
                   "5.000/5.000km   01:00:00/01:00:00", "5.0/5.0km   01:00:00/01:00:00"},
        ReportCase{"HalfSecondRoundsUp", 100, 99999, 0.4999 / 86400, 1.9996 / 86400, 1, 3, 2, 10,
                   "0.100/100.00km   00:00:00/00:00:02", "0.1/100.0km   00:00:00/00:00:02"},
        ReportCase{"EndOfAnOpenRoute", 393, 393, 47.0 / 86400, 47.0 / 86400, 2, 2, 1, 0,
                   "0.000/0.393km   00:00:00/00:00:47", "0.4/0.4km   00:00:47/00:00:47"},
        // A row beyond the planned spans holds no meaningful span values.
        ReportCase{"BeyondThePlan", 777, 393, 9.0 / 86400, 47.0 / 86400, 4, 5, 2, 10,
                   "0.000/0.393km   00:00:00/00:00:47", "0.8/0.4km   00:00:09/00:00:47"}),
    [](const auto& info) { return std::string(info.param.name); });

// Unit vector of a latitude/longitude taken as spherical coordinates.
std::array<double, 3> UnitVector(double lat, double lon) {
  const double p = lat * M_PI / 180, l = lon * M_PI / 180;
  return {std::cos(p) * std::cos(l), std::cos(p) * std::sin(l), std::sin(p)};
}

std::array<double, 3> Cross(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double Dot(const std::array<double, 3>& a, const std::array<double, 3>& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

TEST_F(SpanTest, WholeRunOfTheDefaultTrackFollowsTheGreatCircle) {
  engine.ButtonStartClick();
  while (timer.running && channel.ticks < 200) timer.Fire();
  ASSERT_EQ(channel.lines.size(), 48u);  // point 1, then 47 steps
  EXPECT_NEAR(engine.Track.TrackSpeed[1], 16.26219807411144, 1e-9);
  const std::string adjusted = FormatOneDecimal(engine.Track.TrackSpeed[1]);
  const std::string adjustedKmh = FormatOneDecimal(engine.Track.TrackSpeed[1] * 1.852);

  const Parsed first = Parse(channel.lines.front()[0]);
  EXPECT_EQ(first.fields[3], "3540.824133");
  EXPECT_EQ(first.fields[5], "13946.146550");
  EXPECT_EQ(first.fields[7], adjusted);
  const Parsed last = Parse(channel.lines.back()[0]);
  EXPECT_EQ(last.fields[3], "3541.016283");
  EXPECT_EQ(last.fields[5], "13946.258150");
  EXPECT_EQ(last.fields[7], "0.0") << "point 2 has no speed of its own";

  const double lat1 = 35 + 40 / 60.0 + 49.448 / 3600, lon1 = 139 + 46 / 60.0 + 8.793 / 3600;
  const double lat2 = 35 + 41 / 60.0 + 0.977 / 3600, lon2 = 139 + 46 / 60.0 + 15.489 / 3600;
  const auto a = UnitVector(lat1, lon1), b = UnitVector(lat2, lon2);
  auto normal = Cross(a, b);
  const double norm = std::sqrt(Dot(normal, normal));
  for (double& v : normal) v /= norm;
  const double earth = 6371000;
  const double spanAngle = std::acos(Dot(a, b));
  double previous = -1;
  for (size_t t = 1; t + 1 < channel.lines.size(); ++t) {
    SCOPED_TRACE(t);
    const Fix fix = RmcFix(channel.lines[t]);
    const auto p = UnitVector(fix.lat, fix.lon);
    EXPECT_LT(std::abs(Dot(p, normal)) * earth, 0.01) << "metres off the great circle";
    const double along = std::acos(std::min(1.0, Dot(a, p))) / spanAngle;
    EXPECT_NEAR(along, static_cast<double>(t) / 47, 0.002);
    EXPECT_GT(along, previous);
    previous = along;
    EXPECT_EQ(Parse(channel.lines[t][0]).fields[7], adjusted);
    EXPECT_EQ(Parse(channel.lines[t][1]).fields[7], adjustedKmh) << "VTG km/h";
  }
}

struct CourseCase {
  const char* name;
  const char *lat1, *lon1, *lat2, *lon2;
  double course;
};

class Course : public SpanTest, public ::testing::WithParamInterface<CourseCase> {};

TEST_P(Course, OfEveryStepPointsAlongTheSpan) {
  const CourseCase& c = GetParam();
  SetRow(1, c.lat1, c.lon1, "0", "30");
  SetRow(2, c.lat2, c.lon2, "0", "");
  engine.ButtonStartClick();
  while (timer.running && channel.ticks < 100) timer.Fire();  // the whole span
  ASSERT_GT(channel.ticks, 5);
  for (const Lines& tick : channel.lines) {
    const double course = RmcFix(tick).course;
    double error = std::abs(course - c.course);
    error = std::min(error, 360 - error);
    EXPECT_LT(error, 0.15) << "course " << course;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Span, Course,
    ::testing::Values(CourseCase{"North", "0", "10", "0.001", "10", 0},
                      CourseCase{"East", "0", "10", "0", "10.001", 90},
                      CourseCase{"South", "0.001", "10", "0", "10", 180},
                      CourseCase{"West", "0", "10.001", "0", "10", 270},
                      CourseCase{"EastAcrossTheDateLine", "0", "179.9995", "0", "-179.9995", 90},
                      CourseCase{"WestAcrossTheDateLine", "0", "-179.9995", "0", "179.9995", 270},
                      CourseCase{"NorthEastAtTheDateLine", "10", "179.9997", "10.0005", "-179.9998",
                                 44.56}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SpanTest, MidpointOfAnAntipodalSpanKeepsTheLastPosition) {
  engine.CurrentSpan = 1;
  engine.Track.SpanTicks = {0, 4, 0};
  engine.TickInSpan = 2;
  engine.BeginSpan(0, 0, 0, 180, 0, 0);  // places the receiver one step before the middle
  const double lat = engine.CurLat, lon = engine.CurLon, course = engine.CurCourse;
  ASSERT_TRUE(std::isfinite(lat) && std::isfinite(lon));
  engine.AdvancePosition();  // the middle of the chord is the centre of the earth
  EXPECT_EQ(engine.CurLat, lat);
  EXPECT_EQ(engine.CurLon, lon);
  EXPECT_EQ(engine.CurCourse, course);
  engine.TickInSpan = 3;
  engine.AdvancePosition();
  EXPECT_TRUE(std::isfinite(engine.CurLat) && std::isfinite(engine.CurCourse));
}

TEST_F(SpanTest, RetimeFromOneToTwoHertzAtTick24Of47) {
  engine.ButtonStartClick();
  while (engine.TickInSpan < 24) timer.Fire();
  state.ComboBoxHz.Text = "2";
  engine.ComboBoxHzChange();
  EXPECT_EQ(engine.TickInSpan, 48);
  EXPECT_EQ(engine.CurSpanTicks, 94);
  EXPECT_EQ(display.labels["Count"], "1-48/94");
  EXPECT_EQ(display.labels["Report"], "0.4/0.4km   00:00:47/00:00:47");
  EXPECT_EQ(timer.interval, 500);
  // The receiver carries on from the same place with half steps.
  const Fix before = RmcFix(channel.LastTick());
  timer.Fire();
  const Fix after = RmcFix(channel.LastTick());
  EXPECT_GT(after.lat, before.lat);
  EXPECT_EQ(display.labels["Count"], "1 - 48/94");
}

TEST_F(SpanTest, RetimeKeepsTheRelativePlace) {
  const std::pair<int32_t, int32_t> cases[] = {{0, 0}, {1, 2}, {24, 48}, {46, 92}, {47, 94}};
  for (auto [tick, expected] : cases) {
    SCOPED_TRACE(tick);
    state.ComboBoxHz.Text = "1";
    engine.ButtonIdlingClick();  // a run whose tick does not move by itself
    engine.TickInSpan = tick;
    state.ComboBoxHz.Text = "2";
    engine.ComboBoxHzChange();
    EXPECT_EQ(engine.TickInSpan, expected);
    engine.ButtonStopClick();
    engine.ApplicationEvents1Idle();
  }
}

TEST_F(SpanTest, RetimeAtAPointWithoutTicksKeepsTheTick) {
  engine.ButtonJ1Click(2);  // the end of the open default track: no span begins there
  engine.ButtonIdlingClick();
  ASSERT_EQ(engine.CurSpanTicks, 0);
  const int32_t tick = engine.TickInSpan;
  state.ComboBoxHz.Text = "5";
  engine.ComboBoxHzChange();
  EXPECT_EQ(engine.TickInSpan, tick);
  EXPECT_EQ(display.labels["Count"], "2-" + std::to_string(tick) + "/0");
  Fire(1);
  EXPECT_EQ(Parse(channel.LastTick()[0]).fields[3], "3541.016283");
}

TEST_F(SpanTest, FrequencyChangeWhileStoppedWaitsForTheNextStart) {
  state.ComboBoxHz.Text = "2";
  engine.ComboBoxHzChange();
  EXPECT_EQ(timer.starts, 0);
  EXPECT_EQ(display.tableChanged, 0) << "no preparation";
  engine.ButtonStartClick();
  EXPECT_EQ(timer.interval, 500);
  EXPECT_EQ(engine.CurSpanTicks, 94);
}

TEST_F(SpanTest, JumpRowIsTheButtonBesideTheVisibleRow) {
  EXPECT_EQ(RunEngine::JumpRow(1, 1), 1);
  EXPECT_EQ(RunEngine::JumpRow(9, 1), 9);
  EXPECT_EQ(RunEngine::JumpRow(1, 5), 5);
  EXPECT_EQ(RunEngine::JumpRow(9, 5), 13);
}

TEST_F(SpanTest, JumpWhileStoppedEmitsExactlyOneTick) {
  SetRow(2, "35 41 0.977", "139 46 15.489", "5", "30");
  SetRow(3, "35 41 10", "139 46 15.489", "7", "");
  engine.ButtonJ1Click(2);
  ASSERT_EQ(channel.ticks, 1);
  EXPECT_FALSE(timer.running);
  EXPECT_EQ(display.selectedRow, 2);
  EXPECT_EQ(engine.CurrentSpan, 2);
  EXPECT_EQ(engine.TickInSpan, 0);
  const Fix fix = RmcFix(channel.LastTick());
  EXPECT_EQ(Parse(channel.LastTick()[0]).fields[3], "3541.016283");
  EXPECT_LT(std::min(fix.course, 360 - fix.course), 0.1) << "along span 2, due north";
  EXPECT_EQ(display.labels["Alt"], "5.0");
  // The adaptive report of span 2 (about 278 m), not that of span 1.
  EXPECT_EQ(display.labels["Report"].substr(0, 3), "0.2");
  EXPECT_NE(display.labels["Report"].find("km   00:00:"), std::string::npos);
}

TEST_F(SpanTest, JumpBeyondTheTrackDoesNothing) {
  engine.ButtonJ1Click(3);
  engine.ButtonJ1Click(0);
  EXPECT_EQ(channel.ticks, 0);
  EXPECT_EQ(engine.CurrentSpan, 0);
  EXPECT_FALSE(engine.StopRequested);
}

TEST_F(SpanTest, JumpWithABadTableAsksForTheStop) {
  SetRow(2, "35 41 0.977", "139..46", "3", "");
  engine.ButtonJ1Click(1);
  EXPECT_EQ(channel.ticks, 0);
  EXPECT_TRUE(engine.StopRequested);
  EXPECT_EQ(idle.scheduled, 1);
  EXPECT_EQ(messages.route.size(), 1u);
}

TEST_F(SpanTest, JumpWhileIdlingMovesTheHeldPointWithoutATickOfItsOwn) {
  SetRow(2, "35 41 0.977", "139 46 15.489", "3", "30");
  SetRow(3, "35 41 10", "139 46 15.489", "3", "");
  engine.ButtonIdlingClick();
  const int ticks = channel.ticks;
  engine.ButtonJ1Click(3);
  EXPECT_EQ(channel.ticks, ticks);
  Fire(1);
  EXPECT_EQ(Parse(channel.LastTick()[0]).fields[3], "3541.166667");
}

}  // namespace
}  // namespace fixcaster::enginetest
