// Run control: start, idling, stop, the end of the track, Repeat, the timer period
// and the enabled states of the run controls.

#include "engine_fakes.h"

namespace fixcaster::enginetest {
namespace {

using Lines = std::vector<std::string>;

struct Controls {
  bool start, idling, stop, loads, jumping;
  bool operator==(const Controls&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Controls& c) {
  return os << "start " << c.start << " idling " << c.idling << " stop " << c.stop << " loads "
            << c.loads << " jumping " << c.jumping;
}

class RunTest : public EngineFixture {
 protected:
  RunTest() { OnlySentences({sRMC, sVTG}); }

  Controls Shown() const {
    const bool loads =
        state.ButtonLoad.Enabled && state.ButtonLoadCSV.Enabled && state.ButtonSaveCSV.Enabled;
    EXPECT_EQ(state.StringGrid1Enabled, state.JumpButtonsEnabled);
    return {state.ButtonStart.Enabled, state.ButtonIdling.Enabled, state.ButtonStop.Enabled, loads,
            state.JumpButtonsEnabled};
  }

  // Fires until the run stops by itself (at most `limit` times); returns the count.
  int RunToEnd(int limit = 1000) {
    int fired = 0;
    while (timer.running && fired < limit) {
      timer.Fire();
      ++fired;
    }
    return fired;
  }

  static constexpr Controls StoppedControls{true, true, false, true, true};
  static constexpr Controls TravellingControls{false, true, true, false, false};
  static constexpr Controls IdlingControls{true, false, true, false, true};
};

TEST_F(RunTest, StartAndIdlingNeedAnOpenOutput) {
  channel.outputOpen = false;
  const Controls before = Shown();
  engine.ButtonStartClick();
  engine.ButtonIdlingClick();
  EXPECT_EQ(messages.ids,
            (std::vector{EngineMessageId::OpenOutputFirst, EngineMessageId::OpenOutputFirst}));
  EXPECT_EQ(Shown(), before);
  EXPECT_EQ(timer.starts, 0);
  EXPECT_EQ(channel.ticks, 0);
  EXPECT_FALSE(engine.Idling);
}

struct RefusedCase {
  const char* name;
  const char* row1Speed;
  const char* row2Lat;
  std::vector<EngineMessageId> ids;
  size_t routeMessages;
};

class RefusedStart : public RunTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedStart, LeavesTheRunStoppedWithTheStopPending) {
  SetRow(1, "35 40 49.448", "139 46 8.793", "3", GetParam().row1Speed);
  SetRow(2, GetParam().row2Lat, "139 46 15.489", "3", "");
  engine.ButtonStartClick();
  EXPECT_EQ(messages.ids, GetParam().ids);
  EXPECT_EQ(messages.route.size(), GetParam().routeMessages);
  EXPECT_EQ(Shown(), StoppedControls);
  EXPECT_TRUE(engine.StopRequested);
  EXPECT_FALSE(timer.running);
  EXPECT_EQ(channel.ticks, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Run, RefusedStart,
    ::testing::Values(
        RefusedCase{"NoSpeed", "0", "35 41 0.977", {EngineMessageId::NeedTwoTracks}, 0},
        RefusedCase{"SinglePoint", "30", "", {EngineMessageId::NeedTwoTracks}, 0},
        RefusedCase{"MalformedCell", "30", "35..41", {}, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunTest, StartEmitsTheFirstPointAtOnceAndArmsTheTimer) {
  engine.ButtonStartClick();
  EXPECT_EQ(Shown(), TravellingControls);
  EXPECT_TRUE(timer.running);
  EXPECT_EQ(timer.interval, 1000);
  EXPECT_EQ(engine.Timer1Interval(), 1000);
  EXPECT_EQ(channel.ticks, 1);
  EXPECT_EQ(engine.CurrentSpan, 1);
  EXPECT_EQ(engine.TickInSpan, 1);
  EXPECT_EQ(display.taskbarStates, (std::vector{TaskbarState::Normal}));
  EXPECT_EQ(display.selectedRow, 1);
}

TEST_F(RunTest, WithoutRepeatTheTickAfterTheLastPointStopsTheRun) {
  engine.ButtonStartClick();
  const int fired = RunToEnd();
  EXPECT_EQ(fired, 48);  // 47 steps, then the tick that finds the end
  EXPECT_EQ(channel.ticks, 48);
  EXPECT_EQ(Shown(), StoppedControls);
  EXPECT_EQ(engine.Timer1Interval(), 0);
  EXPECT_EQ(display.labels["Report"], "");
  EXPECT_EQ(display.progress, 0);
  EXPECT_EQ(display.sendStatus, "");
  EXPECT_EQ(display.taskbarStates.back(), TaskbarState::None);
  EXPECT_FALSE(engine.StopRequested);
  EXPECT_EQ(engine.CurrentSpan, 2);
  EXPECT_EQ(engine.TickInSpan, 1);
}

struct RepeatCase {
  const char* name;
  std::vector<std::array<const char*, 4>> rows;
};

class Repeat : public RunTest, public ::testing::WithParamInterface<RepeatCase> {};

TEST_P(Repeat, ContinuesWithTheFirstStepOfSpanOne) {
  for (int r = 1; r <= 3; ++r) SetRow(r, "", "", "", "");
  int row = 1;
  for (const auto& cells : GetParam().rows) SetRow(row++, cells[0], cells[1], cells[2], cells[3]);
  state.CheckBoxRep.Checked = true;
  engine.ButtonStartClick();
  int total = 1;
  for (int32_t s = 1; s <= engine.Track.LastSpan; ++s) total += engine.Track.SpanTicks[s];
  Fire(total - 1 + 4);  // the whole track, then four ticks of the second round
  ASSERT_EQ(channel.lines.size(), static_cast<size_t>(total + 4));
  EXPECT_TRUE(timer.running);
  // The first point is not emitted again; the second round repeats ticks 2 .. 5.
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(channel.lines[static_cast<size_t>(total + k)],
              channel.lines[static_cast<size_t>(1 + k)])
        << "tick " << k + 1 << " of the second round";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Run, Repeat,
    ::testing::Values(RepeatCase{"DefaultTrack",
                                 {{"35 40 49.448", "139 46 8.793", "3", "30"},
                                  {"35 41 0.977", "139 46 15.489", "3", ""}}},
                      // Span 1 takes a single tick: the second round must still move on to span 2.
                      RepeatCase{"OneTickFirstSpan",
                                 {{"35 40 49.448", "139 46 8.793", "3", "30"},
                                  {"35 40 49.6", "139 46 8.793", "3", "30"},
                                  {"35 40 51", "139 46 8.793", "3", ""}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RunTest, StopIsActedOnAtTheNextIdleMoment) {
  channel.backlog = 100;  // shows the warning panel
  engine.ButtonStartClick();
  Fire(2);
  engine.ButtonStopClick();
  EXPECT_TRUE(engine.StopRequested);
  EXPECT_EQ(channel.discards, 1);
  EXPECT_FALSE(engine.WarningPanelVisible());
  EXPECT_EQ(display.sendStatus, "");
  EXPECT_EQ(idle.scheduled, 1);
  EXPECT_EQ(Shown(), TravellingControls) << "nothing stops inside the click";
  engine.ApplicationEvents1Idle();
  EXPECT_EQ(Shown(), StoppedControls);
  EXPECT_FALSE(timer.running);
  EXPECT_EQ(engine.TickInSpan, 0);
  EXPECT_EQ(channel.ticks, 3);
}

TEST_F(RunTest, TimerTickBeforeTheIdleMomentEndsTheRunWithoutOutputEvenWithRepeat) {
  state.CheckBoxRep.Checked = true;
  engine.ButtonStartClick();
  engine.ButtonStopClick();
  timer.Fire();
  EXPECT_EQ(channel.ticks, 1);
  EXPECT_EQ(Shown(), StoppedControls);
  EXPECT_FALSE(timer.running);
}

TEST_F(RunTest, StopInsideATickWaitsForTheTickToFinish) {
  OnlySentences({sRMC, sGLL, sVTG});
  engine.ButtonStartClick();
  channel.onSend = [this](int send) {
    if (send != 1) return;
    engine.ButtonStopClick();         // a button dispatched from the send path
    engine.ApplicationEvents1Idle();  // and the idle moment that follows it there
  };
  timer.Fire();
  channel.onSend = nullptr;
  EXPECT_EQ(channel.LastTick().size(), 3u) << "the tick was completed";
  EXPECT_EQ(Shown(), TravellingControls);
  EXPECT_EQ(idle.scheduled, 2) << "asked again once the tick was done";
  engine.ApplicationEvents1Idle();
  EXPECT_EQ(Shown(), StoppedControls);
}

TEST_F(RunTest, EscWhileStoppedOnlyAsksForTheStopAndStartClearsIt) {
  engine.RequestStop();
  EXPECT_TRUE(engine.StopRequested);
  engine.ApplicationEvents1Idle();
  EXPECT_EQ(Shown(), StoppedControls);
  engine.ButtonStartClick();
  EXPECT_FALSE(engine.StopRequested);
  Fire(3);
  EXPECT_EQ(channel.ticks, 4);
}

TEST_F(RunTest, IdlingHoldsTheFixAndStartContinuesAtTheSameStep) {
  EngineRig reference;  // the same run without idling
  reference.OnlySentences({sRMC, sVTG});
  reference.engine.ButtonStartClick();
  reference.Fire(5);

  engine.ButtonStartClick();
  Fire(2);  // point 1, steps 1 and 2
  engine.ButtonIdlingClick();
  EXPECT_EQ(Shown(), IdlingControls);
  EXPECT_TRUE(timer.running);
  Fire(3);
  const int32_t tick = engine.TickInSpan;
  for (size_t t = 3; t < 6; ++t) {
    SCOPED_TRACE(t);
    const Fix held = RmcFix(channel.lines[t]);
    EXPECT_EQ(held.lat, RmcFix(channel.lines[2]).lat);
    EXPECT_EQ(held.lon, RmcFix(channel.lines[2]).lon);
    EXPECT_EQ(held.speedKnots, 0.0);
    EXPECT_EQ(Parse(channel.lines[t][1]).fields[5], "0.0") << "VTG speed";
  }
  EXPECT_EQ(display.labels["Speed"], "0.0");
  EXPECT_EQ(engine.TickInSpan, tick);
  EXPECT_EQ(engine.CurrentSpan, 1);

  engine.ButtonStartClick();
  EXPECT_EQ(Shown(), TravellingControls);
  Fire(3);
  for (size_t k = 0; k < 3; ++k) {
    EXPECT_EQ(channel.lines[6 + k], reference.channel.lines[3 + k]) << "step " << 3 + k;
  }
}

TEST_F(RunTest, IdlingAfterTheLastSpanOfAClosedRouteHoldsPointOneAndTravelsSpanOne) {
  SetRow(2, "35 41 0.977", "139 46 15.489", "3", "30");  // the route returns to point 1
  engine.ButtonStartClick();
  while (engine.CurrentSpan <= engine.Track.LastSpan) timer.Fire();
  const Fix closing = RmcFix(channel.LastTick());
  engine.ButtonIdlingClick();
  Fire(1);
  EXPECT_EQ(RmcFix(channel.LastTick()).lat, closing.lat);
  engine.ButtonStartClick();
  Fire(1);
  EXPECT_EQ(engine.CurrentSpan, 1);
  // The first step of span 1, just beyond point 1 towards point 2.
  EXPECT_EQ(channel.LastTick(), channel.lines[1]);
}

TEST_F(RunTest, IdlingFromStoppedHoldsTheStartPoint) {
  engine.ButtonIdlingClick();
  EXPECT_EQ(Shown(), IdlingControls);
  Fire(2);
  ASSERT_EQ(channel.lines.size(), 3u);
  for (const Lines& tick : channel.lines) {
    EXPECT_EQ(Parse(tick[0]).fields[3], "3540.824133");
    EXPECT_EQ(Parse(tick[0]).fields[5], "13946.146550");
    EXPECT_EQ(Parse(tick[0]).fields[7], "0.0");
  }
}

// A longer track for jumps: five points going north, 30 km/h each.
class JumpRunTest : public RunTest {
 protected:
  JumpRunTest() {
    SetRow(1, "35 40 0", "139 46 0", "3", "30");
    SetRow(2, "35 40 10", "139 46 0", "3", "30");
    SetRow(3, "35 40 20", "139 46 0", "3", "30");
    SetRow(4, "35 40 30", "139 46 0", "3", "30");
    SetRow(5, "35 40 40", "139 46 0", "3", "30");
    SetRow(6, "35 40 50", "139 46 0", "3", "");
  }
};

TEST_F(JumpRunTest, JumpThenIdlingHoldsThatPointAndStartTravelsOnFromThere) {
  engine.ButtonJ1Click(5);
  engine.ButtonIdlingClick();
  Fire(2);
  for (size_t t = 1; t < channel.lines.size(); ++t) {
    EXPECT_EQ(Parse(channel.lines[t][0]).fields[3], "3540.666667") << "tick " << t;
  }
  engine.ButtonStartClick();
  Fire(1);
  EXPECT_EQ(engine.CurrentSpan, 5);
  const Fix step = RmcFix(channel.LastTick());
  EXPECT_GT(step.lat, 35 + 40 / 60.0 + 40 / 3600.0);
  EXPECT_LT(step.lat, 35 + 40 / 60.0 + 41 / 3600.0);
  EXPECT_LT(std::min(step.course, 360 - step.course), 0.1) << "due north";

  engine.ButtonStopClick();
  engine.ApplicationEvents1Idle();
  engine.ButtonStartClick();
  EXPECT_EQ(engine.CurrentSpan, 1);
  EXPECT_EQ(Parse(channel.LastTick()[0]).fields[3], "3540.000000");
}

TEST_F(JumpRunTest, IdlingAtAPointThatBeginsNoSpanEmitsThatPoint) {
  engine.ButtonJ1Click(6);  // the last point of an open route
  engine.ButtonIdlingClick();
  Fire(2);
  ASSERT_EQ(channel.lines.size(), 4u);
  for (const Lines& tick : channel.lines) {
    EXPECT_EQ(Parse(tick[0]).fields[3], "3540.833333");
    EXPECT_EQ(Parse(tick[0]).fields[5], "13946.000000");
  }
  EXPECT_EQ(display.progress, 0);
}

struct PeriodCase {
  const char* text;
  int interval;
  const char* boxAfter;
};

TEST_F(RunTest, OutputPeriodIsTheWholeMillisecondsOfTheFrequency) {
  const PeriodCase cases[] = {
      {"20", 50, "20"},    {"15", 66, "15"},   {"1.5", 666, "1.5"}, {"0.1", 10000, "0.1"},
      {" 2 ", 500, " 2 "}, {"200", 10, "200"}, {"abc", 1000, "1"},  {"0", 1000, "1"},
      {"", 1000, "1"},     {"-2", 1000, "1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    state.ComboBoxHz.Text = c.text;
    engine.ApplyOutputPeriod();
    EXPECT_EQ(timer.interval, c.interval);
    EXPECT_EQ(engine.Timer1Interval(), c.interval);
    EXPECT_EQ(state.ComboBoxHz.Text, c.boxAfter);
  }
}

}  // namespace
}  // namespace fixcaster::enginetest
