// The output cycle: which sentences a tick sends and in which order, the interval
// counters, the displays of a tick, the load warning and colouring, failures inside
// a tick.

#include <set>

#include "engine_fakes.h"

namespace fixcaster::enginetest {
namespace {

using Lines = std::vector<std::string>;

class CycleTest : public EngineFixture {
 protected:
  CycleTest() { AllSentences(); }
};

// Ticks (1-based) on which a sentence type went out.
std::set<int> TicksWith(const FakeChannel& channel, const std::string& type) {
  std::set<int> ticks;
  for (size_t t = 0; t < channel.lines.size(); ++t) {
    for (const std::string& line : channel.lines[t]) {
      if (Parse(line).type == type) ticks.insert(static_cast<int>(t) + 1);
    }
  }
  return ticks;
}

struct OrderCase {
  const char* name;
  bool rmcFirst;
  std::vector<std::string> firstTick;  // preset 1: one GSA line, three GSV lines
  std::vector<std::string> secondTick;
};

class SentenceOrder : public CycleTest, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(SentenceOrder, FollowsRmcPrecedeAndPutsPresetLinesLast) {
  state.CheckBoxRMCprec.Checked = GetParam().rmcFirst;
  engine.ButtonStartClick();
  Fire(1);
  ASSERT_EQ(channel.lines.size(), 2u);
  EXPECT_EQ(Types(channel.lines[0]), GetParam().firstTick);
  EXPECT_EQ(Types(channel.lines[1]), GetParam().secondTick);
}

INSTANTIATE_TEST_SUITE_P(
    Cycle, SentenceOrder,
    ::testing::Values(
        OrderCase{"RmcFirst",
                  true,
                  {"RMC", "GGA", "GNS", "GLL", "VTG", "ZDA", "HDT", "GSA", "GSV", "GSV", "GSV"},
                  {"RMC", "GGA", "GNS", "GLL", "VTG", "ZDA", "HDT"}},
        OrderCase{"GgaFirst",
                  false,
                  {"GGA", "GNS", "RMC", "GLL", "VTG", "ZDA", "HDT", "GSA", "GSV", "GSV", "GSV"},
                  {"GGA", "GNS", "RMC", "GLL", "VTG", "ZDA", "HDT"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CycleTest, EveryTickEndsOnceAfterItsLastSentence) {
  engine.ButtonStartClick();
  Fire(2);
  ASSERT_EQ(channel.endTicks.size(), channel.lines.size());
  for (size_t t = 0; t < channel.lines.size(); ++t)
    EXPECT_EQ(channel.endTicks[t], channel.lines[t].size());
}

TEST_F(CycleTest, GnsNeedsItsCheckBoxEnabled) {
  state.CheckBoxSentence[sGNS].Enabled = false;  // NMEA 2.1 disables it
  engine.ButtonStartClick();
  EXPECT_TRUE(TicksWith(channel, "GNS").empty());
  EXPECT_EQ(TicksWith(channel, "GGA"), (std::set<int>{1}));
}

struct IntervalCase {
  const char* name;
  const char* text;  // text of the GSA interval box
  std::set<int> ticks;
};

class Intervals : public CycleTest, public ::testing::WithParamInterface<IntervalCase> {};

TEST_P(Intervals, DecideTheTicksOfAType) {
  state.ComboBoxInterval[sGSA].Text = GetParam().text;
  engine.ButtonStartClick();
  Fire(7);
  EXPECT_EQ(TicksWith(channel, "GSA"), GetParam().ticks);
  // Every other type keeps its own interval.
  EXPECT_EQ(TicksWith(channel, "GSV"), (std::set<int>{1, 4, 7}));
  EXPECT_EQ(TicksWith(channel, "GGA").size(), 8u);
}

INSTANTIATE_TEST_SUITE_P(Cycle, Intervals,
                         ::testing::Values(IntervalCase{"Three", "3", {1, 4, 7}},
                                           IntervalCase{"Two", " 2 ", {1, 3, 5, 7}},
                                           IntervalCase{"Ten", "10", {1}},
                                           IntervalCase{"Empty", "", {1, 2, 3, 4, 5, 6, 7, 8}},
                                           IntervalCase{"Letters", "x", {1, 2, 3, 4, 5, 6, 7, 8}},
                                           IntervalCase{"Zero", "0", {1, 2, 3, 4, 5, 6, 7, 8}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CycleTest, ChangedIntervalTakesEffectWithoutResettingTheCounters) {
  engine.ButtonStartClick();  // GSA on tick 1
  Fire(1);                    // tick 2: counter 1 of 3
  state.ComboBoxInterval[sGSA].Text = "2";
  engine.ComboBoxGGAChange();
  Fire(3);  // ticks 3..5: due at counter 2 (tick 3), then tick 5
  EXPECT_EQ(TicksWith(channel, "GSA"), (std::set<int>{1, 3, 5}));
}

struct TimeDecimalCase {
  const char* text;
  int used;
  const char* boxAfter;
  const char* timeLabel;
};

TEST_F(CycleTest, TimeDecimalsAreClampedIntoTheBoxRange) {
  const TimeDecimalCase cases[] = {
      {"0", 0, "0", "01:23:45"},  {"2", 2, "2", "01:23:45.67"},  {"7", 3, "3", "01:23:45.678"},
      {"-1", 0, "0", "01:23:45"}, {"abc", 0, "abc", "01:23:45"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    state.ComboBoxTimeDec.Text = c.text;
    engine.ReadSentenceIntervals();
    EXPECT_EQ(state.TimeDecimals, c.used);
    EXPECT_EQ(state.ComboBoxTimeDec.Text, c.boxAfter);
    engine.ButtonJ1Click(1);
    EXPECT_EQ(display.labels["Time"], c.timeLabel);
  }
}

TEST_F(CycleTest, FirstTickShowsTheStartPointEverywhere) {
  display.monitorVisible = true;
  engine.ButtonStartClick();
  ASSERT_EQ(channel.lines.size(), 1u);
  EXPECT_EQ(display.labels["Count"], "1 - 0/47");
  EXPECT_EQ(display.labels["Lat"], std::string(" 35") + std::string(DegreeSign) + "40'49.448\" N");
  EXPECT_EQ(display.labels["Lon"], std::string("139") + std::string(DegreeSign) + "46'08.793\" E");
  EXPECT_EQ(display.labels["Alt"], "3.0");
  EXPECT_EQ(display.labels["Speed"], "30.1");  // the adjusted speed in km/h
  EXPECT_EQ(display.labels["Time"], "01:23:45");
  EXPECT_EQ(display.progress, 0);
  ASSERT_FALSE(display.taskbar.empty());
  EXPECT_EQ(display.taskbar.back(), (std::pair<int32_t, int>{1, 11}));
  const Parsed rmc = Parse(channel.lines[0][0]);
  ASSERT_EQ(rmc.type, "RMC");
  EXPECT_EQ(rmc.fields[1], "012345");
  EXPECT_EQ(rmc.fields[3], "3540.824133");
  EXPECT_EQ(rmc.fields[5], "13946.146550");
  EXPECT_EQ(rmc.fields[7], "16.3");
  // The first tick's course already points along the span (about 25.3 degrees).
  EXPECT_EQ(rmc.fields[8], "25.3");
  EXPECT_EQ(display.sendStatus, " Sending: " + std::to_string(channel.SentBytes()) + " bytes ");
  EXPECT_EQ(display.monitorText, channel.SentText());
}

TEST_F(CycleTest, ProgressFollowsTheTickInTheSpan) {
  engine.ButtonStartClick();
  Fire(24);  // tick 24 of 47
  EXPECT_EQ(display.labels["Count"], "1 - 24/47");
  EXPECT_EQ(display.progress, 310 * 24 / 47);
  EXPECT_EQ(display.taskbar.back().second, (128 - 11) * 24 / 47 + 11);
  display.taskbarMax = 0;  // a desktop without taskbar progress
  const size_t calls = display.taskbar.size();
  Fire(1);
  EXPECT_EQ(display.taskbar.size(), calls);
}

TEST_F(CycleTest, MonitorGetsOnlyTheLastTickAndOnlyWhenShown) {
  engine.ButtonStartClick();
  EXPECT_EQ(display.monitorText, "");
  display.monitorVisible = true;
  Fire(1);
  std::string expected;
  for (const std::string& line : channel.LastTick()) expected += line + "\r\n";
  EXPECT_EQ(display.monitorText, expected);
}

TEST_F(CycleTest, LoadFigure) {
  EXPECT_EQ(RunEngine::SendLoad(60, 100), 6006);
  EXPECT_EQ(RunEngine::SendLoad(60, 0), 0);
}

struct LoadCase {
  const char* name;
  bool serialOpen;
  int32_t baud;
  int32_t bytes;  // bytes of the tick
  bool overloaded;
};

class Overload : public CycleTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(Overload, ColoursTheStatusLineOnlyWhenTheLineIsTooSlow) {
  OnlySentences({sHDT});
  state.ComboBoxHz.Text = "10";  // 100 ms
  channel.serialOpen = GetParam().serialOpen;
  channel.baud = GetParam().baud;
  channel.reportedBytes = GetParam().bytes;
  engine.ButtonStartClick();
  ASSERT_EQ(channel.SentBytes(), GetParam().bytes);
  EXPECT_EQ(engine.SendOverload, GetParam().overloaded);
  // The colour is set when it changes, not on every tick.
  Fire(2);
  std::vector<bool> expected;
  if (GetParam().overloaded) expected.push_back(true);
  EXPECT_EQ(display.overloadColours, expected);
}

INSTANTIATE_TEST_SUITE_P(Cycle, Overload,
                         ::testing::Values(LoadCase{"At4800", true, 4800, 60, true},
                                           LoadCase{"At9600", true, 9600, 60, false},
                                           LoadCase{"JustBelow", true, 4800, 47, false},
                                           LoadCase{"JustAbove", true, 4800, 48, true},
                                           LoadCase{"TcpNeverOverloads", false, 300, 600, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CycleTest, BacklogWarningAppearsAndGoesWithTheBuffer) {
  channel.backlog = 312;
  engine.ButtonStartClick();
  ASSERT_EQ(display.warnings.size(), 1u);
  EXPECT_TRUE(display.warnings[0].shown);
  EXPECT_EQ(display.warnings[0].kind, LoadWarning::Backlog);
  EXPECT_EQ(display.warnings[0].bytes, 312);
  channel.backlog = 0;
  Fire(2);
  ASSERT_EQ(display.warnings.size(), 2u);  // hidden once, not again while hidden
  EXPECT_FALSE(display.warnings[1].shown);
  EXPECT_FALSE(engine.WarningPanelVisible());
}

TEST_F(CycleTest, TimerTickInsideATickIsSkippedWithTheCpuWarning) {
  engine.ButtonStartClick();
  channel.onSend = [this](int send) {
    if (send == 1) engine.Timer1Timer();  // the send path dispatched a timer message
  };
  Fire(1);
  channel.onSend = nullptr;
  EXPECT_EQ(channel.ticks, 2);  // no nested tick
  EXPECT_EQ(channel.lines[1].size(), 7u);
  ASSERT_EQ(display.warnings.size(), 1u);
  EXPECT_EQ(display.warnings[0].kind, LoadWarning::CpuTooSlow);
  EXPECT_EQ(engine.TickInSpan, 2);
  EXPECT_FALSE(engine.TickBusy);
  Fire(1);  // the next tick clears the panel
  EXPECT_FALSE(engine.WarningPanelVisible());
}

TEST_F(CycleTest, FailedSendDropsOnlyTheRestOfThatTick) {
  EngineRig reference;  // the same run without the failure
  reference.AllSentences();
  reference.engine.ButtonStartClick();
  reference.Fire(3);

  engine.ButtonStartClick();
  channel.failAtSend = 2;
  Fire(1);
  channel.failAtSend = 0;
  const std::string statusBefore = display.sendStatus;
  EXPECT_EQ(channel.lines[1], Lines{reference.channel.lines[1][0]}) << "only the first sentence";
  EXPECT_FALSE(engine.TickBusy);
  EXPECT_EQ(display.sendStatus, statusBefore) << "the status line keeps its text";
  ASSERT_EQ(channel.endTicks.size(), 2u);
  EXPECT_EQ(channel.endTicks[1], 1u) << "what was sent before the failure still ends a tick";
  Fire(2);
  // The motion and the sentence schedule went on as if nothing had happened.
  EXPECT_EQ(channel.lines[2], reference.channel.lines[2]);
  EXPECT_EQ(channel.lines[3], reference.channel.lines[3]);
  EXPECT_EQ(engine.TickInSpan, reference.engine.TickInSpan);
}

TEST_F(CycleTest, SentenceThatCannotBeBuiltEndsTheTickOutput) {
  state.Fix.GgaQuality.clear();  // the status box text was typed over
  engine.ButtonStartClick();
  Fire(2);
  // RMC, sent before the failing GGA, keeps going out on every tick.
  ASSERT_EQ(channel.lines.size(), 3u);
  for (const Lines& tick : channel.lines) EXPECT_EQ(Types(tick), (Lines{"RMC"}));
  EXPECT_EQ(engine.TickInSpan, 3);
}

}  // namespace
}  // namespace fixcaster::enginetest
