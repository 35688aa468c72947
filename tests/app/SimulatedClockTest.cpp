#include "app/SimulatedClock.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "app/UtcTime.h"
#include "nmea/Sentences.h"
#include "output/engine_fakes.h"

namespace fixcaster {
namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

double Iso(const char* text) {
  int64_t ms = 0;
  std::string error;
  EXPECT_TRUE(ParseIsoUtc(text, ms, error)) << error;
  return DateTimeFromMs(ms);
}

std::string Utc(double dateTime) {
  return FormatUtc(dateTime, "YYYY-MM-DD hh:nn:ss.zzz", 0);
}

TEST(SimulatedClock, PacedClockRunsAtItsScaleFromItsStart) {
  struct Case {
    double scale;
    nanoseconds elapsed;
    const char* utc;
  };
  const Case cases[] = {
      {1, nanoseconds(0), "2030-12-31 23:59:59.500"},
      {1, nanoseconds(999'999), "2030-12-31 23:59:59.500"},  // whole milliseconds
      {1, milliseconds(1), "2030-12-31 23:59:59.501"},
      {1, milliseconds(500), "2031-01-01 00:00:00.000"},
      {10, milliseconds(100), "2031-01-01 00:00:00.500"},
      {100, milliseconds(10), "2031-01-01 00:00:00.500"},
      {2.5, milliseconds(1000), "2031-01-01 00:00:02.000"},
      {0.7, milliseconds(90), "2030-12-31 23:59:59.563"},  // 0.7 is not exact in binary
      {0.1, std::chrono::hours(10), "2031-01-01 00:59:59.500"},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(testing::Message() << "scale " << t.scale << ", " << t.elapsed.count() << " ns");
    nanoseconds now(123'456'789);  // the source's zero is not the clock's
    SimulatedClock clock(Iso("2030-12-31T23:59:59.5Z"), t.scale, [&] { return now; });
    EXPECT_FALSE(clock.IsStepping());
    now += t.elapsed;
    EXPECT_EQ(Utc(clock.NowUtc()), t.utc);
    clock.Advance(milliseconds(1000));  // only a stepping clock steps
    EXPECT_EQ(Utc(clock.NowUtc()), t.utc);
    clock.Restart();
    EXPECT_EQ(Utc(clock.NowUtc()), "2030-12-31 23:59:59.500");
  }
}

// The time and date of the sentences of one tick at `utc`.
struct TickTexts {
  std::string time, date, zda;
};
TickTexts FieldsAt(double utc) {
  TickFields tick = FormatTickFields(utc, 35.5, 139.5, 3, 0, 10, 45, 2, 4);
  std::string zda = BuildZDA("$GP", tick, SentenceSettings{});
  zda = zda.substr(0, zda.find('*'));
  return {tick.Time, tick.Date, zda};
}

TEST(SimulatedClock, SteppingClockGivesExactTickTimesAcrossCalendarEnds) {
  struct Case {
    const char* name;
    const char* start;
    std::vector<std::pair<int, int>> steps;  // (period ms, count), in order
    const char* time;
    const char* date;
    const char* zda;
  };
  const Case cases[] = {
      {"first tick reads the start",
       "2030-06-15T12:00:00Z",
       {},
       "120000.00",
       "150630",
       "$GPZDA,120000.00,15,06,2030,,"},
      {"midnight",
       "2030-06-15T23:59:59Z",
       {{1000, 1}},
       "000000.00",
       "160630",
       "$GPZDA,000000.00,16,06,2030,,"},
      {"midnight at 15 Hz",
       "2030-06-15T23:59:59.95Z",
       {{66, 1}},
       "000000.01",
       "160630",
       "$GPZDA,000000.01,16,06,2030,,"},
      {"month end",
       "2030-04-30T23:59:59.5Z",
       {{500, 1}},
       "000000.00",
       "010530",
       "$GPZDA,000000.00,01,05,2030,,"},
      {"last second of the year",
       "2030-12-31T23:59:50Z",
       {{1000, 9}},
       "235959.00",
       "311230",
       "$GPZDA,235959.00,31,12,2030,,"},
      {"year end",
       "2030-12-31T23:59:50Z",
       {{1000, 10}},
       "000000.00",
       "010131",
       "$GPZDA,000000.00,01,01,2031,,"},
      {"leap day",
       "2024-02-28T23:59:59Z",
       {{1000, 1}},
       "000000.00",
       "290224",
       "$GPZDA,000000.00,29,02,2024,,"},
      {"after the leap day",
       "2024-02-29T23:59:59Z",
       {{1000, 1}},
       "000000.00",
       "010324",
       "$GPZDA,000000.00,01,03,2024,,"},
      {"2100 is no leap year",
       "2100-02-28T23:59:59Z",
       {{1000, 1}},
       "000000.00",
       "010300",
       "$GPZDA,000000.00,01,03,2100,,"},
      {"2000 is a leap year",
       "2000-02-28T23:59:59Z",
       {{1000, 1}},
       "000000.00",
       "290200",
       "$GPZDA,000000.00,29,02,2000,,"},
      {"GPS week rollover 2019",
       "2019-04-06T23:59:58Z",
       {{200, 10}},
       "000000.00",
       "070419",
       "$GPZDA,000000.00,07,04,2019,,"},
      {"GPS week rollover 2038",
       "2038-11-20T23:59:58Z",
       {{200, 10}},
       "000000.00",
       "211138",
       "$GPZDA,000000.00,21,11,2038,,"},
      // 100000 ticks of 66 ms are 6600 s exactly: nothing is lost to rounding.
      {"long run at 15 Hz",
       "2030-01-01T00:00:00Z",
       {{66, 100000}},
       "015000.00",
       "010130",
       "$GPZDA,015000.00,01,01,2030,,"},
      {"frequency change keeps the earlier ticks",
       "2030-01-01T00:00:00Z",
       {{1000, 3}, {100, 5}, {66, 1}},
       "000003.56",
       "010130",
       "$GPZDA,000003.56,01,01,2030,,"},
  };
  for (const Case& t : cases) {
    SCOPED_TRACE(t.name);
    SimulatedClock clock = SimulatedClock::Stepping(Iso(t.start));
    EXPECT_TRUE(clock.IsStepping());
    for (auto [period, count] : t.steps)
      for (int i = 0; i < count; ++i) clock.Advance(milliseconds(period));
    TickTexts f = FieldsAt(clock.NowUtc());
    EXPECT_EQ(f.time, t.time);
    EXPECT_EQ(f.date, t.date);
    EXPECT_EQ(f.zda, t.zda);
  }
}

TEST(SimulatedClock, EngineTicksCarryTheSimulatedTime) {
  using namespace enginetest;
  EngineRig rig;  // for its fakes and default track; the engine below uses our clock
  SimulatedClock clock = SimulatedClock::Stepping(Iso("2030-12-31T23:59:59Z"));
  RunEngine engine(rig.state, rig.channel, rig.display, rig.messages, clock, rig.timer, rig.idle);
  rig.OnlySentences({sRMC, sZDA});
  const milliseconds period(TickPeriodMs(rig.state.ComboBoxHz.Text));

  engine.ButtonStartClick();  // the first tick at once
  for (int i = 0; i < 2; ++i) {
    clock.Advance(period);
    rig.timer.Fire();
  }
  ASSERT_EQ(rig.channel.lines.size(), 3u);
  std::vector<std::string> zda;  // time, day, month, year
  for (const auto& tick : rig.channel.lines)
    for (const std::string& line : tick)
      if (Parsed p = Parse(line); p.type == "ZDA")
        zda.push_back(p.fields[1] + "," + p.fields[2] + "," + p.fields[3] + "," + p.fields[4]);
  EXPECT_EQ(zda, (std::vector<std::string>{"235959,31,12,2030", "000000,01,01,2031",
                                           "000001,01,01,2031"}));
}

TEST(TickPeriodMs, WholeMillisecondsOfThePeriodOverTheScaleWithTheFloor) {
  struct Case {
    const char* hz;
    double scale;
    int ms;
  };
  const Case cases[] = {
      {"20", 1, 50},     {"15", 1, 66},        {"1.5", 1, 666}, {"0.1", 1, 10000},
      {"1", 1, 1000},    {"200", 1, 10},       {"", 1, 1000},   {"abc", 1, 1000},
      {"0", 1, 1000},    {"-5", 1, 1000},      {" 2 ", 1, 500}, {"1e-300", 1, 2147483647},
      {"1", 10, 100},    {"15", 2, 33},        {"1.5", 7, 95},  {"20", 100, 10},
      {"1", 0.1, 10000}, {"0.1", 0.1, 100000}, {"abc", 4, 250},
  };
  for (const Case& t : cases)
    EXPECT_EQ(TickPeriodMs(t.hz, t.scale), t.ms) << "\"" << t.hz << "\" at " << t.scale;

  // At scale 1 it is the interval the engine sets today.
  enginetest::EngineRig rig;
  for (const Case& t : cases) {
    if (t.scale != 1) continue;
    rig.state.ComboBoxHz.Text = t.hz;
    rig.engine.ApplyOutputPeriod();
    EXPECT_EQ(rig.timer.interval, TickPeriodMs(t.hz)) << "\"" << t.hz << "\"";
  }
}

}  // namespace
}  // namespace fixcaster
