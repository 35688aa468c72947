#include "settings/TrackGpx.h"

#include <gtest/gtest.h>

#include <cmath>

#include "SettingsTestSupport.h"
#include "settings/Settings.h"
#include "settings/TrackCsv.h"
#include "track/Geodesic.h"
#include "track/TrackGrammar.h"

namespace fixcaster {
namespace {

using test::ReadBytes;
using test::RecordingWindow;
using test::TempDir;
using test::WriteBytes;

// The recording window, also recording the track-file messages and the choice of
// a track.
class TrackWindow : public RecordingWindow {
 public:
  std::vector<std::pair<TrackFileMessage, std::vector<std::string>>> trackMessages;
  std::vector<std::vector<TrackChoiceItem>> offered;
  std::optional<size_t> choice = 0;

  void ShowTrackFileMessage(TrackFileMessage id, const std::vector<std::string>& args) override {
    log.push_back("ShowTrackFileMessage");
    trackMessages.emplace_back(id, args);
  }
  std::optional<size_t> ChooseTrack(const std::vector<TrackChoiceItem>& tracks) override {
    log.push_back("ChooseTrack");
    offered.push_back(tracks);
    return choice;
  }
};

std::string Gpx(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" "
         "xmlns=\"http://www.topografix.com/GPX/1/1\">\n" +
         body + "</gpx>\n";
}

std::string Trk(const std::string& name, const std::vector<std::string>& points) {
  std::string t = "<trk><name>" + name + "</name><trkseg>\n";
  for (const std::string& p : points) t += p + "\n";
  return t + "</trkseg></trk>\n";
}

std::string Pt(double lat, double lon, const std::string& extra = "") {
  return "<trkpt lat=\"" + std::to_string(lat) + "\" lon=\"" + std::to_string(lon) + "\">" + extra +
         "</trkpt>";
}

class GpxImport : public ::testing::Test {
 protected:
  GpxImport() {
    state.SettingsPath = dir / "fixcaster.ini";
    hooks.PrepareRoute = [this](AppState&) { window.log.push_back("PrepareRoute"); };
    hooks.ResizeTrackTables = [this](int32_t n) {
      window.log.push_back("Resize " + std::to_string(n));
      return resizeAnswer;
    };
  }
  GpxImportResult Import(const std::string& text, const GpxImportOptions& options = {}) {
    WriteBytes(dir / "t.gpx", text);
    return LoadTrackGpx(state, dir / "t.gpx", options, window, hooks);
  }
  TrackTable::Row RowOf(int64_t n) const {
    const TrackTable& g = state.StringGrid1;
    return {g.Cell(n, 1), g.Cell(n, 2), g.Cell(n, 3), g.Cell(n, 4)};
  }
  void FillOldTrack() {
    for (int64_t n = 1; n <= 3; ++n)
      for (int c = 1; c <= 4; ++c) state.StringGrid1.SetCell(n, c, "old" + std::to_string(n));
  }
  TempDir dir;
  AppState state;
  TrackWindow window;
  SettingsHooks hooks;
  bool resizeAnswer = true;
};

TEST_F(GpxImport, TimedTrackReplacesTheTable) {
  FillOldTrack();
  state.SpeedUnit = 2;  // knots
  // 0.001 degree of latitude in 60 s, then the same way back in 30 s.
  const auto r =
      Import(Gpx(Trk("Walk", {Pt(35, 139, "<ele>4</ele><time>2024-05-01T12:00:00Z</time>"),
                              Pt(35.001, 139, "<ele>4</ele><time>2024-05-01T12:01:00Z</time>"),
                              Pt(35, 139, "<ele>4</ele><time>2024-05-01T12:01:30Z</time>")})));
  ASSERT_TRUE(r.Loaded);
  EXPECT_EQ(r.Chosen.Kind, GpxKind::Track);
  EXPECT_EQ(r.ChosenName, "Walk");
  EXPECT_EQ(r.TimedSpans, 2);
  EXPECT_EQ(RowOf(1)[0], "35");
  EXPECT_EQ(RowOf(1)[1], "139");
  EXPECT_EQ(RowOf(1)[2], "4");
  EXPECT_EQ(RowOf(2)[0], "35.001");
  const double knots = ParseNumber(RowOf(1)[3]);
  EXPECT_NEAR(knots, GeodesicDistance(35, 139, 35.001, 139, 4, 4) / 60 * 3600 / 1852, 1e-7);
  EXPECT_NEAR(ParseNumber(RowOf(2)[3]), 2 * knots, 1e-7);
  EXPECT_EQ(RowOf(3)[3], "0");
  EXPECT_EQ(RowOf(4), TrackTable::Row{});
  EXPECT_EQ(state.StringGrid1.StoredRows(), 3u);
  EXPECT_EQ(state.LabelIni, "t.gpx");
  EXPECT_EQ(window.log, (std::vector<std::string>{"PrepareRoute", "SelectGridCell 1,1"}));
}

TEST_F(GpxImport, RowsWithoutTimesTakeOneSpeed) {
  const std::string file = Gpx(Trk("", {Pt(1, 1), Pt(1.01, 1), Pt(1.02, 1)}));
  struct Case {
    const char* name;
    std::string firstRowSpeed, given, expected;
  };
  const Case cases[] = {
      {"GivenSpeed", "45", "12.5", "12.5"},
      {"FirstRowsSpeed", "45", "", "45"},
      {"GivenSpeedNotANumber", "45", "fast", "45"},
      {"FallbackWhenTheFirstRowHasNone", "", "", "30"},
      {"FallbackWhenTheFirstRowIsZero", "0", "", "30"},
  };
  for (const Case& c : cases) {
    state.StringGrid1.ClearAll();
    state.StringGrid1.SetCell(1, TrackTable::ColSpeed, c.firstRowSpeed);
    GpxImportOptions options;
    options.Speed = c.given;
    ASSERT_TRUE(Import(file, options).Loaded) << c.name;
    EXPECT_EQ(RowOf(1)[3], c.expected) << c.name;
    EXPECT_EQ(RowOf(2)[3], c.expected) << c.name;
    EXPECT_EQ(RowOf(3)[3], "0") << c.name;
  }
}

TEST_F(GpxImport, ErrorsKeepTheTable) {
  const std::string twoTracks =
      Gpx(Trk("A", {Pt(1, 1), Pt(2, 2)}) + Trk("B", {Pt(3, 3), Pt(4, 4)}));
  struct Case {
    const char* name;
    std::string file;  // empty: no file at all
    std::string track;
    std::optional<TrackFileMessage> message;  // nothing: FileNotFound or no message
    std::vector<std::string> args;            // checked when not empty ("PATH" = the file)
  };
  const Case cases[] = {
      {"Missing", "", "", std::nullopt, {}},
      {"Malformed",
       "<gpx>\n<trk>\n</gpx>",
       "",
       TrackFileMessage::GpxMalformed,
       {"PATH", "3", "3", "mismatched tag"}},
      {"OutOfRange", Gpx("<wpt lat=\"95\" lon=\"0\"/>"), "", TrackFileMessage::GpxMalformed, {}},
      {"NoPoints", Gpx("<trk><name>x</name></trk>"), "", TrackFileMessage::NothingToLoad, {"PATH"}},
      {"EmptyTrackChosen",
       Gpx("<trk/>" + Trk("", {Pt(1, 1)})),
       "1",
       TrackFileMessage::NothingToLoad,
       {"PATH"}},
      {"NoSuchTrack", twoTracks, "C", TrackFileMessage::GpxTrackNotFound, {"C", "PATH"}},
      {"NoSuchNumber", twoTracks, "3", TrackFileMessage::GpxTrackNotFound, {"3", "PATH"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    state = AppState();
    window = TrackWindow();
    FillOldTrack();
    const TrackTable::Row before = RowOf(2);
    const std::string path = dir / (std::string(c.name) + ".gpx");
    if (!c.file.empty()) WriteBytes(path, c.file);
    GpxImportOptions options;
    options.Track = c.track;
    EXPECT_FALSE(LoadTrackGpx(state, path, options, window, hooks).Loaded);
    EXPECT_EQ(RowOf(2), before);
    EXPECT_EQ(state.StringGrid1.StoredRows(), 3u);
    EXPECT_EQ(state.LabelIni, "");
    EXPECT_EQ(std::count(window.log.begin(), window.log.end(), "PrepareRoute"), 0);
    if (!c.message) {
      ASSERT_EQ(window.messages.size(), 1u);
      EXPECT_EQ(window.messages[0].first, SettingsMessage::FileNotFound);
      EXPECT_EQ(window.messages[0].second, path);
      continue;
    }
    ASSERT_EQ(window.trackMessages.size(), 1u);
    EXPECT_EQ(window.trackMessages[0].first, *c.message);
    if (c.args.empty()) continue;
    std::vector<std::string> expected = c.args;
    for (std::string& a : expected)
      if (a == "PATH") a = path;
    std::vector<std::string> got = window.trackMessages[0].second;
    if (got.size() == 4) got[3] = got[3].substr(0, expected[3].size());
    EXPECT_EQ(got, expected);
  }
}

TEST_F(GpxImport, SeveralTracksAreOfferedUnlessOneIsNamed) {
  const std::string file = Gpx(Trk("A", {Pt(1, 1), Pt(1.1, 1)}) + "<trk><name>empty</name></trk>" +
                               Trk("", {Pt(2, 2), Pt(2.1, 2), Pt(2.2, 2)}));
  window.choice = 1;  // the second track offered: the third of the file
  auto r = Import(file);
  ASSERT_TRUE(r.Loaded);
  ASSERT_EQ(window.offered.size(), 1u);
  ASSERT_EQ(window.offered[0].size(), 2u);  // the empty track is not offered
  EXPECT_EQ(window.offered[0][0].Name, "A");
  EXPECT_EQ(window.offered[0][0].Points, 2);
  EXPECT_EQ(window.offered[0][1].Name, "");
  EXPECT_EQ(window.offered[0][1].Points, 3);
  EXPECT_EQ(r.Chosen.Index, 2u);
  EXPECT_EQ(RowOf(1)[0], "2");

  window.choice = std::nullopt;  // cancelled
  EXPECT_FALSE(Import(file).Loaded);
  EXPECT_EQ(RowOf(1)[0], "2");

  GpxImportOptions byName;
  byName.Track = "A";
  window.offered.clear();
  r = Import(file, byName);
  ASSERT_TRUE(r.Loaded);
  EXPECT_TRUE(window.offered.empty());
  EXPECT_EQ(RowOf(1)[0], "1");
}

TEST_F(GpxImport, RoutesAndWaypointsWhenThereIsNoTrack) {
  auto r =
      Import(Gpx("<wpt lat=\"5\" lon=\"5\"/><rte><name>R</name><rtept lat=\"1\" lon=\"2\"/>"
                 "<rtept lat=\"1.5\" lon=\"2\"/></rte>"));
  ASSERT_TRUE(r.Loaded);
  EXPECT_EQ(r.Chosen.Kind, GpxKind::Route);
  EXPECT_EQ(r.ChosenName, "R");
  EXPECT_EQ(RowOf(2)[0], "1.5");
  r = Import(Gpx("<wpt lat=\"5\" lon=\"5\"/><wpt lat=\"6\" lon=\"5\"/>"));
  ASSERT_TRUE(r.Loaded);
  EXPECT_EQ(r.Chosen.Kind, GpxKind::Waypoints);
  EXPECT_EQ(RowOf(2)[0], "6");
}

TEST_F(GpxImport, MorePointsThanTrackMax) {
  state.StringGrid1.SetTrackMax(6);
  std::vector<std::string> points;
  for (int i = 0; i < 10; ++i) points.push_back(Pt(1 + i * 0.01, 1));
  const std::string file = Gpx(Trk("", points));

  ASSERT_TRUE(Import(file).Loaded);
  EXPECT_EQ(state.StringGrid1.TrackMax(), 10);
  EXPECT_EQ(state.StringGrid1.StoredRows(), 10u);
  ASSERT_EQ(window.trackMessages.size(), 1u);
  EXPECT_EQ(window.trackMessages[0].first, TrackFileMessage::TrackMaxRaised);
  EXPECT_EQ(window.trackMessages[0].second, std::vector<std::string>{"10"});
  EXPECT_EQ(window.log.front(), "Resize 10");  // the route tables are sized first

  // The route tables cannot be sized: TrackMax stays, the rest is left out.
  state = AppState();
  state.StringGrid1.SetTrackMax(6);
  window = TrackWindow();
  resizeAnswer = false;
  ASSERT_TRUE(Import(file).Loaded);
  EXPECT_EQ(state.StringGrid1.TrackMax(), 6);
  EXPECT_EQ(state.StringGrid1.StoredRows(), 6u);
  // The route ends at the last row kept, as it ends at the end of a whole recording.
  EXPECT_EQ(RowOf(5)[3], "30");
  EXPECT_EQ(RowOf(6)[3], "0");
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::MemoryOver);
  ASSERT_EQ(window.trackMessages.size(), 1u);
  EXPECT_EQ(window.trackMessages[0].first, TrackFileMessage::PointsLeftOut);
  EXPECT_EQ(window.trackMessages[0].second, std::vector<std::string>{"4"});
}

TEST_F(GpxImport, TrackMaxStopsAtTheLimit) {
  state.StringGrid1.SetTrackMax(6);
  std::vector<TrackTable::Row> rows(12, TrackTable::Row{"1", "2", "", "5"});
  const TrackReplaceResult r = ReplaceTrackRows(state, rows, window, hooks, 9);
  EXPECT_EQ(r.RaisedTrackMax, 9);
  EXPECT_EQ(r.RowsWritten, 9);
  EXPECT_EQ(r.LeftOut, 3);
  EXPECT_EQ(state.StringGrid1.TrackMax(), 9);
  // Already at the limit: no second raise, the same rows left out.
  window = TrackWindow();
  const TrackReplaceResult again = ReplaceTrackRows(state, rows, window, hooks, 9);
  EXPECT_EQ(again.RaisedTrackMax, 0);
  EXPECT_EQ(again.LeftOut, 3);
  EXPECT_TRUE(window.trackMessages.empty());
}

TEST_F(GpxImport, TrackFilesByExtension) {
  EXPECT_EQ(TrackFileKindOf("/a/b.GPX"), TrackFileKind::Gpx);
  EXPECT_EQ(TrackFileKindOf("b.Csv"), TrackFileKind::Csv);
  EXPECT_EQ(TrackFileKindOf("gpx"), TrackFileKind::Other);
  EXPECT_EQ(TrackFileKindOf("/x.gpx/track"), TrackFileKind::Other);

  WriteBytes(dir / "T.GPX", Gpx(Trk("", {Pt(7, 8)})));
  WriteBytes(dir / "t.csv", "lat,lon\n3,4\n");
  WriteBytes(dir / "t.txt", "5,6\n");
  ASSERT_TRUE(LoadTrackFile(state, dir / "T.GPX", {}, window, hooks));
  EXPECT_EQ(RowOf(1)[0], "7");
  ASSERT_TRUE(LoadTrackFile(state, dir / "t.csv", {}, window, hooks));
  EXPECT_EQ(RowOf(1)[0], "3");
  ASSERT_TRUE(LoadTrackFile(state, dir / "t.txt", {}, window, hooks));  // read as CSV
  EXPECT_EQ(RowOf(1)[0], "5");

  // The Load CSV button takes a GPX file too.
  window.dialogAnswer = dir / "T.GPX";
  ButtonLoadCSVClick(state, window, hooks);
  EXPECT_EQ(RowOf(1)[0], "7");
}

TEST_F(GpxImport, SaveWritesGpxForAGpxName) {
  TrackTable& g = state.StringGrid1;
  const TrackTable::Row rows[] = {{"35 40 49.448", "139 46 8.793", "3", "30"},
                                  {"NG ", "139", "3", "30"},
                                  {"35 41 0.977", "139 46 15.489", "", ""}};
  for (int n = 0; n < 3; ++n)
    for (int c = 0; c < 4; ++c) g.SetCell(n + 1, c + 1, rows[n][c]);
  window.dialogAnswer = dir / "route.gpx";
  ASSERT_TRUE(SaveTrackCsv(state, window, 3));
  GpxData d;
  GpxError e;
  ASSERT_EQ(ReadGpxFile(dir / "route.gpx", d, e), GpxStatus::Ok) << e.Reason;
  ASSERT_EQ(d.Tracks.size(), 1u);
  EXPECT_EQ(d.Tracks[0].Name, "route");
  ASSERT_EQ(d.Tracks[0].Points.size(), 2u);
  EXPECT_EQ(d.Tracks[0].Points[1].Lat, ParseAngle("35 41 0.977"));
  EXPECT_EQ(d.Tracks[0].Points[1].Ele, 0);  // a blank altitude is 0 m
  ASSERT_EQ(window.trackMessages.size(), 1u);
  EXPECT_EQ(window.trackMessages[0].first, TrackFileMessage::RowsNotWritten);
  EXPECT_EQ(window.trackMessages[0].second, std::vector<std::string>{"1"});

  // Other names stay CSV.
  window.dialogAnswer = dir / "route";
  ASSERT_TRUE(SaveTrackCsv(state, window, 1));
  EXPECT_EQ(ReadBytes(dir / "route.csv"),
            "Latitude,Longitude,Altitude,Speed\r\n35 40 49.448,139 46 8.793,3,30\r\n");
}

}  // namespace
}  // namespace fixcaster
