#include "app/LogPlayer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "app/LogTrack.h"
#include "nmea/Format.h"
#include "output/engine_fakes.h"
#include "settings/SettingsTestSupport.h"
#include "track/IsoTime.h"
#include "track/TrackGrammar.h"

namespace fixcaster {
namespace {

using enginetest::FakeClock;
using enginetest::FakeTimer;

constexpr int64_t kSec = MicrosPerSecond;

class RecordingSink : public ReplaySink {
 public:
  struct Sent {
    std::vector<std::string> lines;
    ReplayProgress progress;
    int64_t at;  // monotonic time of sending
  };
  std::vector<Sent> sent;
  std::vector<ReplayProgress> ended;
  const int64_t* now = nullptr;
  std::function<void()> onSend;

  void SendEpoch(const std::vector<std::string>& lines, const ReplayProgress& p) override {
    sent.push_back({lines, p, *now});
    if (onSend) onSend();
  }
  void ReplayEnded(const ReplayProgress& p) override { ended.push_back(p); }

  // The time field of the first line of sent epoch `i`.
  std::string TimeOf(size_t i) const {
    const std::string& l = sent.at(i).lines.at(0);
    const size_t a = l.find(',') + 1;
    return l.substr(a, l.find(',', a) - a);
  }
};

std::string Gga(const std::string& time) {
  return AppendChecksum("$GPGGA," + time + ",3540.8241,N,13946.1465,E,1,08,0.9,3.0,M,0.0,M,,") +
         "\r\n";
}

// Epochs at 0, 1, 1.5 and 4 s of the recording, at 2024-05-01 10:00:00 on.
const char* const kTimes[] = {"100000.00", "100001.00", "100001.50", "100004.00"};

class Player : public ::testing::Test {
 protected:
  Player() {
    std::string file;
    for (const char* t : kTimes) file += Gga(t) + "$GPTXT,01,01,02,unknown type*7F\r\n";
    log = ParseNmeaLog(file);
    // 2024-05-06 01:23:45.678 UTC (the engine fakes' clock)
    sink.now = &now;
  }
  LogPlayer::Options Scale(double s) {
    LogPlayer::Options o;
    o.TimeScale = s;
    return o;
  }
  // Fires the timer at the time it asked for.
  void FireWhenDue() {
    ASSERT_TRUE(timer.running);
    now += int64_t{timer.interval} * 1000;
    timer.Fire();
  }

  NmeaLog log;
  FakeClock clock;
  FakeTimer timer;
  int64_t now = 1'000'000'000;
  RecordingSink sink;
  bool repeat = false;
  LogPlayer player{log, clock, timer, [this] { return now; }, sink};
};

TEST_F(Player, EpochsAtTheirSpacingWithTimesRewritten) {
  ASSERT_TRUE(player.Start({}, [this] { return repeat; }));
  ASSERT_EQ(sink.sent.size(), 1u);  // the first epoch at once
  EXPECT_EQ(sink.sent[0].lines.size(), 2u);
  EXPECT_EQ(sink.TimeOf(0), "012345.67");  // the clock's time, recorded decimals kept
  EXPECT_EQ(sink.sent[0].progress.Epoch, 1u);
  EXPECT_EQ(sink.sent[0].progress.Epochs, 4u);
  EXPECT_EQ(player.Progress().Epoch, 1u);
  // Unknown types pass unchanged.
  EXPECT_EQ(sink.sent[0].lines[1], "$GPTXT,01,01,02,unknown type*7F\r\n");

  EXPECT_EQ(timer.interval, 1000);
  FireWhenDue();
  EXPECT_EQ(timer.interval, 500);
  FireWhenDue();
  EXPECT_EQ(timer.interval, 2500);
  FireWhenDue();
  ASSERT_EQ(sink.sent.size(), 4u);
  const int64_t start = sink.sent[0].at;
  const int64_t expected[] = {0, kSec, kSec + kSec / 2, 4 * kSec};
  const char* const times[] = {"012345.67", "012346.67", "012347.17", "012349.67"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(sink.sent[i].at - start, expected[i]) << i;
    EXPECT_EQ(sink.TimeOf(i), times[i]) << i;
    EXPECT_EQ(sink.sent[i].progress.Epoch, i + 1) << i;
    const std::string l = sink.sent[i].lines[0].substr(0, sink.sent[i].lines[0].size() - 2);
    EXPECT_EQ(AppendChecksum(l.substr(0, l.size() - 3)), l) << i;  // a right checksum
  }
  // The end of the log without Repeat.
  EXPECT_FALSE(player.Running());
  EXPECT_FALSE(timer.running);
  ASSERT_EQ(sink.ended.size(), 1u);
  EXPECT_EQ(sink.ended[0].Epoch, 4u);
}

TEST_F(Player, EarlyTimerSendsNothingAndLateOneSendsEveryDueEpochInOrder) {
  player.Start({}, [this] { return repeat; });
  now += 999'000;  // a millisecond early
  timer.Fire();
  EXPECT_EQ(sink.sent.size(), 1u);
  EXPECT_EQ(timer.interval, 1);
  now += 2'000'000;  // late: epochs 2 and 3 are due
  timer.Fire();
  ASSERT_EQ(sink.sent.size(), 3u);
  EXPECT_EQ(sink.TimeOf(1), "012346.67");
  EXPECT_EQ(sink.TimeOf(2), "012347.17");
  EXPECT_EQ(timer.interval, 1001);  // epoch 4 is due at 4 s, we are at 2.999 s
}

TEST_F(Player, TimeScale) {
  player.Start(Scale(2), [this] { return repeat; });
  EXPECT_EQ(timer.interval, 500);
  FireWhenDue();
  EXPECT_EQ(timer.interval, 250);
  FireWhenDue();
  // The times keep the recording's spacing: simulated time runs twice as fast.
  EXPECT_EQ(sink.TimeOf(2), "012347.17");
}

TEST_F(Player, RepeatLoopsWithTimesGoingOn) {
  repeat = true;
  player.Start({}, [this] { return repeat; });
  for (int i = 0; i < 5; ++i) FireWhenDue();
  ASSERT_EQ(sink.sent.size(), 6u);
  EXPECT_TRUE(sink.ended.empty());
  // The pass lasts 4 s plus the last spacing, 2.5 s: the second pass starts 6.5 s on.
  EXPECT_EQ(player.PassLength(), 6'500'000);
  EXPECT_EQ(sink.sent[4].at - sink.sent[0].at, 6'500'000);
  EXPECT_EQ(sink.TimeOf(4), "012352.17");
  EXPECT_EQ(sink.TimeOf(5), "012353.17");
  EXPECT_EQ(sink.sent[4].progress.Epoch, 1u);
  EXPECT_EQ(sink.sent[4].progress.Loop, 2);
  EXPECT_EQ(sink.sent[3].progress.Loop, 1);
  // Repeat switched off during the second pass: it ends at its last epoch.
  repeat = false;
  for (int i = 0; i < 2; ++i) FireWhenDue();
  EXPECT_EQ(sink.sent.size(), 8u);
  ASSERT_EQ(sink.ended.size(), 1u);
  EXPECT_EQ(sink.ended[0].Loop, 2);
  EXPECT_FALSE(timer.running);
}

TEST_F(Player, StopSendsNothingMore) {
  player.Start({}, [this] { return repeat; });
  FireWhenDue();
  // Stopped from inside a send, as the channel closing would.
  sink.onSend = [this] { player.Stop(); };
  FireWhenDue();
  EXPECT_EQ(sink.sent.size(), 3u);
  EXPECT_FALSE(player.Running());
  EXPECT_FALSE(timer.running);
  EXPECT_TRUE(sink.ended.empty());  // a stop is no end of the log
  EXPECT_EQ(player.Progress().Epoch, 3u);
  player.OnTimer();  // a tick already queued does nothing
  EXPECT_EQ(sink.sent.size(), 3u);
  // A new start begins at the first epoch again.
  sink.onSend = nullptr;
  ASSERT_TRUE(player.Start({}, [this] { return repeat; }));
  EXPECT_EQ(sink.sent.back().progress.Epoch, 1u);
}

TEST_F(Player, BurstAfterAStallIsBounded) {
  std::string file;
  for (int i = 0; i < 100; ++i) {
    char t[16];
    std::snprintf(t, sizeof t, "1000%02d.%02d", i / 10, i % 10 * 10);
    file += Gga(t);
  }
  const NmeaLog tenHz = ParseNmeaLog(file);
  ASSERT_EQ(tenHz.Epochs.size(), 100u);
  FakeTimer t;
  LogPlayer p{tenHz, clock, t, [this] { return now; }, sink};
  p.Start({}, [] { return false; });
  now += 60 * kSec;  // a minute asleep
  t.Fire();
  EXPECT_EQ(sink.sent.size(), 65u);
  EXPECT_EQ(t.interval, 1);
  t.Fire();
  EXPECT_EQ(sink.sent.size(), 100u);
  for (size_t i = 1; i < sink.sent.size(); ++i) EXPECT_LT(sink.TimeOf(i - 1), sink.TimeOf(i)) << i;
}

TEST_F(Player, EmptyLogDoesNotStart) {
  const NmeaLog empty = ParseNmeaLog("no sentences here\n");
  FakeTimer t;
  LogPlayer p{empty, clock, t, [this] { return now; }, sink};
  EXPECT_FALSE(p.Start({}, [] { return true; }));
  EXPECT_FALSE(p.Running());
  EXPECT_TRUE(sink.sent.empty());
}

TEST(LogImport, PositionsBecomeRows) {
  test::TempDir dir;
  std::string file;
  const char* const lat[] = {"3540.0000", "3540.0600", "3540.0600", "3540.1200"};
  for (int i = 0; i < 4; ++i) {
    const std::string t = "12000" + std::to_string(i) + ".00";
    file += AppendChecksum("$GPRMC," + t + ",A," + lat[i] + ",N,13946.0000,E," +
                           (i == 0 ? "10.0" : "0.0") + ",0.0,010524,,,A") +
            "\r\n";
    file += Gga(t);
  }
  file += "garbage line\r\n";
  test::WriteBytes(dir / "drive.nmea", file);
  AppState state;
  state.SpeedUnit = 2;  // knots
  test::RecordingWindow window;
  SettingsHooks hooks;
  int prepared = 0;
  hooks.PrepareRoute = [&](AppState&) { ++prepared; };
  const LogImportResult r = ImportLogAsTrack(state, dir / "drive.nmea", "", window, hooks);
  ASSERT_TRUE(r.Loaded);
  EXPECT_EQ(r.Points, 4);
  EXPECT_EQ(r.Rows, 3);  // the standing point merged
  EXPECT_EQ(r.SkippedLines, 1);
  EXPECT_EQ(prepared, 1);
  const TrackTable& g = state.StringGrid1;
  EXPECT_EQ(g.Cell(1, 1), DegreesCellText(35 + 40.0 / 60));
  EXPECT_EQ(g.Cell(1, 3), "3");
  EXPECT_EQ(g.Cell(1, 4), "10");  // the recorded speed
  // A recorded 0 (the receiver standing, then moving on): distance over time.
  // 0.06 minutes of latitude (about 111 m) in 2 s: about 108 knots.
  EXPECT_NEAR(ParseNumber(g.Cell(2, 4)), 0.06 * 1852 / 2 * 3600 / 1852, 0.5);
  EXPECT_EQ(g.Cell(3, 4), "0");
  EXPECT_EQ(state.LabelIni, "drive.nmea");

  // A missing file, a FIFO (refused, not waited on) and a log without positions
  // leave the table.
  EXPECT_FALSE(ImportLogAsTrack(state, dir / "none.nmea", "", window, hooks).Loaded);
  ASSERT_EQ(::mkfifo((dir / "fifo.nmea").c_str(), 0600), 0);
  EXPECT_FALSE(ImportLogAsTrack(state, dir / "fifo.nmea", "", window, hooks).Loaded);
  ASSERT_EQ(window.messages.size(), 2u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::FileNotFound);
  EXPECT_EQ(window.messages[1].first, SettingsMessage::FileNotFound);
  test::WriteBytes(dir / "nofix.nmea", AppendChecksum("$GPRMC,,V,,,,,,,,,,N") + "\r\n");
  EXPECT_FALSE(ImportLogAsTrack(state, dir / "nofix.nmea", "", window, hooks).Loaded);
  EXPECT_EQ(g.Cell(3, 4), "0");
  EXPECT_EQ(prepared, 1);
}

}  // namespace
}  // namespace fixcaster
