#include <gtest/gtest.h>

#include "SettingsTestSupport.h"
#include "settings/Settings.h"
#include "settings/TrackCsv.h"

namespace fixcaster {
namespace {

using test::ReadBytes;
using test::RecordingWindow;
using test::TempDir;
using test::WriteBytes;

std::vector<std::string> Lines(const std::string& bytes) {
  CsvReader r;
  r.OpenMemory(bytes);
  std::vector<std::string> lines;
  while (!r.Eof()) {
    std::string l = r.ReadLine();
    if (!l.empty()) lines.push_back(l);
  }
  return lines;
}

TEST(CsvReader, LineEndsAndByteFilter) {
  const std::vector<std::string> ab = {"a", "b"};
  const std::pair<const char*, std::string> cases[] = {
      {"CrLf", "a\r\nb\r\n"},
      {"Lf", "a\nb\n"},
      {"Cr", "a\rb\r"},
      {"LfCr", "a\n\rb\n\r"},
      {"BlankLines", "\n\na\r\n\r\n\r\nb\n\n"},
      {"NoFinalBreak", "a\nb"},
      {"Controls",
       "a\t\x01\n\x7F"
       "b\n"},
      {"HighBytes",
       "\xEF\xBB\xBF"
       "a\n\xC3\xA9"
       "b\x80\n"},
  };
  for (const auto& [name, bytes] : cases) EXPECT_EQ(Lines(bytes), ab) << name;
  // The degree sign of UTF-8 loses both of its bytes.
  EXPECT_EQ(Lines("35\xC2\xB0"
                  "30'N\n"),
            std::vector<std::string>{"3530'N"});
  // A NUL inside a line is dropped, not an end.
  EXPECT_EQ(Lines(std::string("x\0y\n", 4)), std::vector<std::string>{"xy"});
}

TEST(CsvReader, LinesLongerThanOneBlock) {
  std::string longLine(5000, 'x');
  EXPECT_EQ(Lines(longLine + "\r\n" + longLine), (std::vector<std::string>{longLine, longLine}));
}

TEST(CsvReader, SplitsIntoAtMost25TrimmedFields) {
  CsvReader r;
  EXPECT_EQ(r.Split(""), 0);
  EXPECT_EQ(r.Split("a"), 1);
  EXPECT_EQ(r.Split(" a , b ,"), 3);
  EXPECT_EQ(r.Field(1), "a");
  EXPECT_EQ(r.Field(2), "b");
  EXPECT_EQ(r.Field(3), "");
  EXPECT_EQ(r.Field(4), "");  // beyond the line
  std::string line;
  for (int i = 1; i <= 30; ++i) line += std::to_string(i) + (i < 30 ? "," : "");
  EXPECT_EQ(r.Split(line), 25);
  EXPECT_EQ(r.Field(24), "24");
  EXPECT_EQ(r.Field(25), "25,26,27,28,29,30");
}

struct HeaderCase {
  const char* name;
  std::string file;
  bool found;
  int lat, ns, lon, ew, alt, speed;
};

class CsvHeader : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(CsvHeader, ColumnsFound) {
  const HeaderCase& c = GetParam();
  CsvReader r;
  r.OpenMemory(c.file);
  ASSERT_EQ(r.FindHeader(), c.found);
  if (!c.found) return;
  EXPECT_EQ(r.LatCol, c.lat);
  EXPECT_EQ(r.NsCol, c.ns);
  EXPECT_EQ(r.LonCol, c.lon);
  EXPECT_EQ(r.EwCol, c.ew);
  EXPECT_EQ(r.AltCol, c.alt);
  EXPECT_EQ(r.SpeedCol, c.speed);
}

std::string Junk(int lines) {
  std::string s;
  for (int i = 0; i < lines; ++i) s += "junk " + std::to_string(i) + "\n\n";
  return s;
}

INSTANTIATE_TEST_SUITE_P(
    Files, CsvHeader,
    ::testing::Values(
        HeaderCase{"Export", "Latitude,Longitude,Altitude,Speed\r\n", true, 1, 0, 2, 0, 3, 4},
        HeaderCase{"LowerCase", "lat,lon,alt,speed\n", true, 1, 0, 2, 0, 3, 4},
        HeaderCase{"Hemispheres", "No,Latitude,N/S,Longitude,E/W,Height(m),Ground Speed\n", true, 2,
                   3, 4, 5, 6, 7},
        HeaderCase{"Percent", "%Latitude,Longitude\n", true, 1, 0, 2, 0, 0, 0},
        HeaderCase{"BlanksAroundCommas", "  LAT ,  LONG  , ELEVATION\n", true, 1, 0, 2, 0, 3, 0},
        HeaderCase{"Synonyms", "ns,latitude(deg),ew,longitude e/w,height\n", true, 2, 1, 4, 3, 5,
                   0},
        HeaderCase{"LastMatchWins", "lat,lon,lat\n", true, 3, 0, 2, 0, 0, 0},
        HeaderCase{"EmptyFieldsMatchNothing", "lat,,lon,\n", true, 1, 0, 3, 0, 0, 0},
        HeaderCase{"NoHeader", "35.5,139.7,10,30\n", false, 0, 0, 0, 0, 0, 0},
        HeaderCase{"LatitudeOnly", "latitude,x\n", false, 0, 0, 0, 0, 0, 0},
        HeaderCase{"PartOfANameIsNoMatch", "LATI,LONGI\n", false, 0, 0, 0, 0, 0, 0},
        HeaderCase{"On35thLine", Junk(34) + "lat,lon\n", true, 1, 0, 2, 0, 0, 0},
        HeaderCase{"On36thLine", Junk(35) + "lat,lon\n", false, 0, 0, 0, 0, 0, 0},
        HeaderCase{"LastLineWithoutBreak", "x\nlat,lon", true, 1, 0, 2, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CsvReader, StripTrailingNonNumeric) {
  const std::pair<const char*, const char*> cases[] = {
      {"30 km/h", "30"},  {"10m", "10"},    {"-", ""},  {"", ""},
      {"12.5.", "12.5."}, {"Altitude", ""}, {"3", "3"}, {"a1b", "a1"},
  };
  for (auto [in, out] : cases) EXPECT_EQ(StripTrailingNonNumeric(in), out) << in;
}

class CsvImport : public ::testing::Test {
 protected:
  CsvImport() { state.SettingsPath = dir / "fixcaster.ini"; }
  bool Import(const std::string& bytes) {
    WriteBytes(dir / "t.csv", bytes);
    SettingsHooks h;
    h.PrepareRoute = [this](AppState&) { window.log.push_back("PrepareRoute"); };
    return LoadTrackCsv(state, dir / "t.csv", window, h);
  }
  TrackTable::Row RowOf(int64_t n) const {
    const TrackTable& g = state.StringGrid1;
    return {g.Cell(n, 1), g.Cell(n, 2), g.Cell(n, 3), g.Cell(n, 4)};
  }
  TempDir dir;
  AppState state;
  RecordingWindow window;
};

struct ImportCase {
  const char* name;
  std::string file;
  std::vector<TrackTable::Row> rows;
};

class CsvImportRows : public CsvImport, public ::testing::WithParamInterface<ImportCase> {};

TEST_P(CsvImportRows, CellsAsRead) {
  state.StringGrid1.SetCell(30, 1, "stale");
  ASSERT_TRUE(Import(GetParam().file));
  const auto& rows = GetParam().rows;
  for (size_t i = 0; i < rows.size(); ++i)
    EXPECT_EQ(RowOf(static_cast<int64_t>(i + 1)), rows[i]) << "row " << i + 1;
  EXPECT_EQ(state.StringGrid1.StoredRows(), rows.size());
  EXPECT_EQ(window.log, (std::vector<std::string>{"PrepareRoute", "SelectGridCell 1,1"}));
  EXPECT_EQ(state.LabelIni, "t.csv");
}

INSTANTIATE_TEST_SUITE_P(
    Files, CsvImportRows,
    ::testing::Values(
        ImportCase{"Hemispheres",
                   "No,Latitude,N/S,Longitude,E/W,Height(m),Ground Speed\r\n"
                   "1,35.5,N,139.7,E,10m,30km/h\r\n",
                   {{"35.5 N", "139.7 E", "10", "30"}}},
        ImportCase{"NoHeaderFixedOrder",
                   "35.5,139.7,10,30\n35.6,139.8,-,30 km/h\n",
                   {{"35.5", "139.7", "10", "30"}, {"35.6", "139.8", "", "30"}}},
        ImportCase{"HeaderOrderFollowed", "speed,alt,lon,lat\n1,2,3,4\n", {{"4", "3", "2", "1"}}},
        ImportCase{"BlankLinesSkipped",
                   "lat,lon\r\n\r\n   \r\n1,2\r\n\r\n3,4\r\n",
                   {{"1", "2", "", ""}, {"3", "4", "", ""}}},
        ImportCase{"FinalLineWithoutBreakIsLoaded",
                   "lat,lon\n1,2\n3,4",
                   {{"1", "2", "", ""}, {"3", "4", "", ""}}},
        ImportCase{"DegreeSignLost",
                   "lat,lon\n35\xC2\xB0"
                   "30'N,139E\n",
                   {{"3530'N", "139E", "", ""}}},
        ImportCase{
            "DataNotUpperCasedNorStripped", "lat,lon\n%abc,def\n", {{"%abc", "def", "", ""}}},
        ImportCase{"HemisphereWithoutValue", "lat,ns,lon,ew\n,N,1,\n", {{"", "1 ", "", ""}}},
        ImportCase{"HeaderOnly", "lat,lon\n", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CsvImport, HeaderNotFoundMakesEveryLineData) {
  ASSERT_TRUE(Import(Junk(35) + "Latitude,Longitude,Altitude,Speed\n1,2,3,4\n"));
  EXPECT_EQ(RowOf(1), (TrackTable::Row{"junk 0", "", "", ""}));
  EXPECT_EQ(RowOf(36), (TrackTable::Row{"Latitude", "Longitude", "", ""}));
  EXPECT_EQ(RowOf(37), (TrackTable::Row{"1", "2", "3", "4"}));
}

TEST_F(CsvImport, ShorterTrackReplacesEveryCellOfTheOldOne) {
  for (int64_t n = 1; n <= 5; ++n)
    for (int c = 1; c <= 4; ++c) state.StringGrid1.SetCell(n, c, "old");
  state.StringGrid1.SetCell(40, 1, "far");
  ASSERT_TRUE(Import("lat,lon\n1,2\n"));
  EXPECT_EQ(RowOf(1), (TrackTable::Row{"1", "2", "", ""}));
  for (int64_t n = 2; n <= 50; ++n) EXPECT_EQ(RowOf(n), TrackTable::Row{}) << n;
  EXPECT_EQ(state.StringGrid1.StoredRows(), 1u);
  ASSERT_TRUE(Import(""));  // an empty file empties the table
  EXPECT_EQ(state.StringGrid1.StoredRows(), 0u);
}

TEST_F(CsvImport, RecordsBeyondTrackMaxAreIgnored) {
  state.StringGrid1.SetTrackMax(6);
  std::string file;
  for (int i = 1; i <= 10; ++i) file += std::to_string(i) + "," + std::to_string(i) + "\n";
  ASSERT_TRUE(Import(file));
  EXPECT_EQ(RowOf(6)[0], "6");
  EXPECT_EQ(state.StringGrid1.StoredRows(), 6u);
}

TEST_F(CsvImport, MissingFileIsReportedAndTheTableKept) {
  state.StringGrid1.SetCell(1, 1, "keep");
  EXPECT_FALSE(LoadTrackCsv(state, dir / "none.csv", window, {}));
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::FileNotFound);
  EXPECT_EQ(window.messages[0].second, dir / "none.csv");
  EXPECT_EQ(state.StringGrid1.Cell(1, 1), "keep");
}

TEST_F(CsvImport, LoadButtonUsesTheCsvFolderAndRemembersIt) {
  ::mkdir((dir / "tracks").c_str(), 0755);
  WriteBytes(dir / "tracks/a.csv", "1,2\n");
  state.OpenDialog1InitialDir = "/ini-folder";
  state.SaveDialog1InitialDir = "/csv-folder";
  window.dialogAnswer = dir / "tracks/a.csv";
  ButtonLoadCSVClick(state, window, {});
  ASSERT_EQ(window.dialogs.size(), 1u);
  EXPECT_EQ(window.dialogs[0].Filter, "CSV file|*.csv|All file|*.*");
  EXPECT_EQ(window.dialogs[0].InitialDir, "/csv-folder");
  EXPECT_EQ(state.SaveDialog1InitialDir, dir / "tracks");
  EXPECT_EQ(state.OpenDialog1InitialDir, "/ini-folder");
  EXPECT_EQ(RowOf(1), (TrackTable::Row{"1", "2", "", ""}));

  window.dialogAnswer = dir / "tracks/none.csv";
  ButtonLoadCSVClick(state, window, {});
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::FileNotFound);
  EXPECT_EQ(RowOf(1), (TrackTable::Row{"1", "2", "", ""}));
}

class CsvExport : public CsvImport {
 protected:
  CsvExport() {
    TrackTable& g = state.StringGrid1;
    g.SetCell(1, 1, "35 40 49.448");
    g.SetCell(1, 2, "139 46 8.793");
    g.SetCell(1, 3, "3");
    g.SetCell(1, 4, "30");
    g.SetCell(2, 1, "NG 35.x");
    g.SetCell(2, 2, "139.5");
    g.SetCell(3, 1, "below LastPoint");
    g.SetCell(3, 2, "not written");
  }
};

TEST_F(CsvExport, WritesHeaderAndRowsToLastPointWithCrLf) {
  window.dialogAnswer = dir / "track";
  ASSERT_TRUE(SaveTrackCsv(state, window, 2));
  EXPECT_EQ(ReadBytes(dir / "track.csv"),
            "Latitude,Longitude,Altitude,Speed\r\n35 40 49.448,139 46 8.793,3,30\r\n"
            "NG 35.x,139.5,,\r\n");
  EXPECT_EQ(state.SaveDialog1InitialDir, dir.path());
  EXPECT_EQ(state.OpenDialog1InitialDir, dir.path());  // was empty
  EXPECT_TRUE(window.messages.empty());
}

TEST_F(CsvExport, CsvExtensionAddedOnlyWhenThereIsNone) {
  const std::pair<const char*, const char*> cases[] = {
      {"a", "a.csv"}, {"b.", "b..csv"}, {"c.txt", "c.txt"}, {"d.CSV", "d.CSV"}};
  for (auto [typed, written] : cases) {
    window.dialogAnswer = dir / typed;
    ASSERT_TRUE(SaveTrackCsv(state, window, 1)) << typed;
    EXPECT_TRUE(test::FileExists(dir / written)) << typed;
  }
  ::mkdir((dir / "x.dir").c_str(), 0755);
  window.dialogAnswer = dir / "x.dir/plain";
  ASSERT_TRUE(SaveTrackCsv(state, window, 1));
  EXPECT_TRUE(test::FileExists(dir / "x.dir/plain.csv"));
}

TEST_F(CsvExport, ExistingFileIsReplacedOnlyAfterYes) {
  WriteBytes(dir / "t.csv", "keep me");
  window.dialogAnswer = dir / "t.csv";
  window.yesNoAnswer = false;
  EXPECT_FALSE(SaveTrackCsv(state, window, 1));
  EXPECT_EQ(ReadBytes(dir / "t.csv"), "keep me");
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::FileExistsOverwrite);
  EXPECT_EQ(window.messages[0].second, dir / "t.csv");
  window.yesNoAnswer = true;
  EXPECT_TRUE(SaveTrackCsv(state, window, 1));
  EXPECT_EQ(ReadBytes(dir / "t.csv").substr(0, 8), "Latitude");
}

TEST_F(CsvExport, UnwritableTargetReportsFileNotCreated) {
  window.dialogAnswer = dir / "missing/t.csv";
  EXPECT_FALSE(SaveTrackCsv(state, window, 1));
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::FileNotCreated);
}

TEST_F(CsvExport, CancelWritesNothing) {
  EXPECT_FALSE(SaveTrackCsv(state, window, 1));
  EXPECT_TRUE(dir.List().empty());
}

TEST_F(CsvExport, ExportReadsBackIntoTheSameCells) {
  window.dialogAnswer = dir / "back.csv";
  ASSERT_TRUE(SaveTrackCsv(state, window, 2));
  AppState other;
  ASSERT_TRUE(LoadTrackCsv(other, dir / "back.csv", window, {}));
  for (int64_t n = 1; n <= 2; ++n)
    for (int c = 1; c <= 4; ++c)
      EXPECT_EQ(other.StringGrid1.Cell(n, c), state.StringGrid1.Cell(n, c)) << n << "," << c;
  EXPECT_EQ(other.StringGrid1.StoredRows(), 2u);
}

}  // namespace
}  // namespace fixcaster
