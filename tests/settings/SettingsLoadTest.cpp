#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "SettingsTestSupport.h"
#include "nmea/Presets.h"
#include "nmea/Sentences.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"

namespace fixcaster {
namespace {

using test::RecordingWindow;
using test::TempDir;
using test::WriteIni;

// Stand-ins for the routines of the other modules, recording that they ran. The
// port parser follows the documented rule (digits after "COM" or at the start).
struct Hooks {
  std::vector<std::string>* log;
  SettingsHooks Make() {
    SettingsHooks h;
    h.ParseMagVariation = [](const std::string& t) {
      return t.empty() ? std::nan("") : (t.find('W') != std::string::npos ? -7.0 : 7.0);
    };
    h.FormatMagVariation = [](double v) {
      return std::isnan(v) ? std::string(",") : v < 0 ? "7.0,W" : "7.0,E";
    };
    h.SelectPreset = [this](AppState& s) {
      log->push_back("SelectPreset " + std::to_string(s.RadioButtonGSAChecked));
      s.CurrentPreset = s.RadioButtonGSAChecked;
    };
    h.CopyBuiltInPreset = [this](AppState& s, int p) {
      log->push_back("CopyBuiltInPreset " + std::to_string(p));
      s.PresetGsa[p][1] = "built-in GSA " + std::to_string(p);
      s.PresetGsv[p][1] = "built-in GSV " + std::to_string(p);
    };
    h.UpdateFixIndicators = [this](AppState&) { log->push_back("UpdateFixIndicators"); };
    h.ComboBoxNMEAChange = [this](AppState&) { log->push_back("ComboBoxNMEAChange"); };
    h.ParseComPortNo = [](const std::string& text) -> int32_t {
      std::string t(TrimBlanks(AsciiUpper(text)));
      size_t i = t.rfind("COM", 0) == 0 ? 3 : 0;
      int64_t n = 0;
      for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
        n = n * 10 + (t[i] - '0');
        if (n > INT32_MAX) return 0;
      }
      return static_cast<int32_t>(n);
    };
    h.ComboBoxPortChange = [this](AppState& s) {
      log->push_back("ComboBoxPortChange " + s.ComboBoxPort.Text);
    };
    h.ResetCurrentSpan = [this] { log->push_back("ResetCurrentSpan"); };
    h.PrepareRoute = [this](AppState&) { log->push_back("PrepareRoute"); };
    return h;
  }
};

class SettingsLoad : public ::testing::Test {
 protected:
  SettingsLoad() {
    InitSettingsGlobals(state);
    state.SettingsPath = dir / "fixcaster.ini";
  }
  // Loads `text` (a UTF-16 file written from it) into the state.
  void Load(const std::string& text) {
    WriteIni(state.SettingsPath, text);
    Load();
  }
  void Load() { LoadSettings(state, window, hooks.Make()); }
  std::string Cell(int64_t row, int col) const { return state.StringGrid1.Cell(row, col); }
  TrackTable::Row RowOf(int64_t row) const {
    return {Cell(row, 1), Cell(row, 2), Cell(row, 3), Cell(row, 4)};
  }

  TempDir dir;
  AppState state;
  RecordingWindow window;
  Hooks hooks{&window.log};
};

TEST_F(SettingsLoad, FirstStartCreatesTheFileAndKeepsDesignValues) {
  Load();
  EXPECT_EQ(test::ReadBytes(state.SettingsPath), "\xFF\xFE");
  AppState design;
  EXPECT_EQ(state.ComboBoxNMEA.Text, design.ComboBoxNMEA.Text);
  EXPECT_EQ(state.ComboBoxBaud.Text, "4800");
  EXPECT_EQ(state.EditTCPport.Text, "5555");
  EXPECT_TRUE(state.CheckBoxSentence[sGGA].Checked);
  EXPECT_FALSE(state.CheckBoxSentence[sGLL].Checked);
  EXPECT_EQ(state.ComboBoxInterval[sGSV].Text, "3");
  EXPECT_EQ(state.StringGrid1.TrackMax(), 50);
  EXPECT_EQ(state.StringGrid1.CellText(50, 0), "50");
  EXPECT_EQ(RowOf(1), (TrackTable::Row{"35 40 49.448", "139 46 8.793", "3", "30"}));
  EXPECT_EQ(RowOf(2), (TrackTable::Row{"35 41 0.977", "139 46 15.489", "3", ""}));
  EXPECT_EQ(state.LabelIni, "fixcaster.ini");
  EXPECT_EQ(state.OpenDialog1InitialDir, dir.path());
  EXPECT_EQ(state.SaveDialog1InitialDir, dir.path());
  EXPECT_EQ(state.DgpsAge[2], "30");
  EXPECT_EQ(state.DgpsStation[2], "0137");
  EXPECT_EQ(window.placedTop, NoStoredPosition);
  EXPECT_EQ(window.placedLeft, NoStoredPosition);
  EXPECT_EQ(state.ZoneText, ",");
  EXPECT_EQ(state.MagVariationText, ",");
  for (int p = 1; p <= 4; ++p)
    EXPECT_EQ(state.PresetGsa[p][1], "built-in GSA " + std::to_string(p));
  EXPECT_TRUE(window.messages.empty());
}

// The window toolkit adopts the user's locale; a German one writes "2,5". The load
// puts numbers back to ".". The locale is compiled into the temporary folder.
TEST_F(SettingsLoad, NumbersUseAPointWhateverTheLocale) {
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8") + "' 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << "localedef (package locales) is needed";
  ::setenv("LOCPATH", dir.path().c_str(), 1);
  ASSERT_NE(std::setlocale(LC_NUMERIC, "de_DE.UTF-8"), nullptr);
  char text[32];
  std::snprintf(text, sizeof text, "%3.1f", 2.5);
  ASSERT_STREQ(text, "2,5");  // the comma locale is really in force
  Load();
  std::snprintf(text, sizeof text, "%3.1f", 2.5);
  EXPECT_STREQ(text, "2.5");
  ::unsetenv("LOCPATH");
  std::setlocale(LC_NUMERIC, "C");
}

TEST_F(SettingsLoad, StepsRunInOrder) {
  Load("[Output]\nGSAGSV2=1\n");
  const std::vector<std::string> expected = {
      "ApplyLanguage",       "SelectPreset 2",      "CopyBuiltInPreset 1", "CopyBuiltInPreset 2",
      "CopyBuiltInPreset 3", "CopyBuiltInPreset 4", "ResetCurrentSpan",    "SelectGridCell 1,1",
      "ComboBoxPortChange ", "PlaceMainWindow",     "ShowSpeedUnit",       "SelectPreset 2",
      "UpdateFixIndicators", "ComboBoxNMEAChange",  "PrepareRoute"};
  EXPECT_EQ(window.log, expected);
}

TEST_F(SettingsLoad, FileThatCannotBeCreatedEndsTheLoadSilently) {
  state.SettingsPath = dir / "missing/fixcaster.ini";
  Load();
  EXPECT_TRUE(window.log.empty());
  EXPECT_EQ(state.StringGrid1.Cell(1, 1), "");
}

struct TrackMaxCase {
  const char* value;
  int32_t expected;
  bool memoryOver;
};

TEST_F(SettingsLoad, TrackMaxRangeAndMemoryOver) {
  const TrackMaxCase cases[] = {
      {"3", 6, false},       {"6", 6, false},          {"-1", 6, false},       {"abc", 50, false},
      {"1000", 1000, false}, {"2000000000", 50, true}, {"10000001", 50, true},
  };
  for (const TrackMaxCase& c : cases) {
    AppState fresh;
    state = fresh;
    InitSettingsGlobals(state);
    state.SettingsPath = dir / "fixcaster.ini";
    window.messages.clear();
    Load(std::string("[Option]\nTrackMax=") + c.value + "\n[Track]\nD1=1,2,3,4\nD40=5,6,7,8\n");
    EXPECT_EQ(state.StringGrid1.TrackMax(), c.expected) << c.value;
    EXPECT_EQ(state.StringGrid1.Cell(40, 1), c.expected >= 40 ? "5" : "") << c.value;
    ASSERT_EQ(window.messages.size(), c.memoryOver ? 1u : 0u) << c.value;
    if (c.memoryOver) {
      EXPECT_EQ(window.messages[0].first, SettingsMessage::MemoryOver);
    }
  }
}

TEST_F(SettingsLoad, RouteTablesThatCannotBeSizedKeepThePreviousTrackMax) {
  state.StringGrid1.SetTrackMax(80);
  SettingsHooks h = hooks.Make();
  h.ResizeTrackTables = [](int32_t n) { return n <= 100; };
  WriteIni(state.SettingsPath, "[Option]\nTrackMax=500\n");
  LoadSettings(state, window, h);
  EXPECT_EQ(state.StringGrid1.TrackMax(), 80);
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::MemoryOver);
  // The next save keeps the table that really exists.
  SaveSettings(state);
  EXPECT_EQ(test::ReadIni(state.SettingsPath).ReadInteger("Option", "TrackMax", 0), 80);
}

struct ComboRuleCase {
  const char* key;
  const char* value;  // nullptr: key missing
  std::string expected;
};

TEST_F(SettingsLoad, DecimalsAreCheckedAndReplaced) {
  const ComboRuleCase cases[] = {
      {"DegDecimal", "12", "6"}, {"DegDecimal", "9", "6"},  {"DegDecimal", "0", "6"},
      {"DegDecimal", "", "6"},   {"DegDecimal", "3", "3"},  {"DegDecimal", nullptr, "6"},
      {"DegDecimal", "8", "8"},  {"TimeDecimal", "4", "0"}, {"TimeDecimal", "3", "3"},
      {"TimeDecimal", "", "0"},  {"TimeDecimal", "x", "0"}, {"TimeDecimal", nullptr, "0"},
  };
  for (const ComboRuleCase& c : cases) {
    state.ComboBoxDegDec.Text = "2";  // a missing key does not keep the current text
    state.ComboBoxTimeDec.Text = "2";
    Load(std::string("[Output]\n") + (c.value ? std::string(c.key) + "=" + c.value : "") + "\n");
    bool deg = std::string(c.key) == "DegDecimal";
    EXPECT_EQ(deg ? state.ComboBoxDegDec.Text : state.ComboBoxTimeDec.Text, c.expected)
        << c.key << "=" << (c.value ? c.value : "(missing)");
    if (!deg) {
      EXPECT_EQ(state.TimeDecimals, c.expected[0] - '0');
    }
  }
}

struct PrefixCase {
  const char* line;
  int sentence;
  int index;
  const char* text;
};

TEST_F(SettingsLoad, TalkerPrefixNumbersOutsideTheButtonsBecomeOne) {
  const PrefixCase cases[] = {
      {"GGAprefix=7", sGGA, 1, "$GP"}, {"GGAprefix=3", sGGA, 3, "$GL"},
      {"RMCprefix=6", sRMC, 6, "$BD"}, {"HDTprefix=3", sHDT, 1, "$GP"},
      {"HDTprefix=2", sHDT, 2, "$HC"}, {"ZDAprefix=0", sZDA, 1, "$GP"},
      {"GNSprefix=x", sGNS, 1, "$GP"}, {"VTGprefix=5", sVTG, 5, "$GB"},
  };
  for (const PrefixCase& c : cases) {
    Load(std::string("[Output]\n") + c.line + "\n");
    EXPECT_EQ(state.TalkerPrefixIndex[c.sentence], c.index) << c.line;
    EXPECT_EQ(state.PrefixButtonChecked[c.sentence], c.index) << c.line;
    EXPECT_EQ(state.TalkerPrefixText[c.sentence], c.text) << c.line;
  }
}

struct SplitCase {
  const char* value;
  TrackTable::Row cells;
};

TEST(SettingsTrackRow, DKeySplitsIntoFourCells) {
  const SplitCase cases[] = {
      {"1,2", {"1", "2", "", ""}},
      {"1, 2 ,3,4,5", {"1", "2", "3", "4,5"}},
      {"35 40 49.448,139 46 8.793,3,30", {"35 40 49.448", "139 46 8.793", "3", "30"}},
      {"", {"", "", "", ""}},
      {"only", {"only", "", "", ""}},
      {" a , b , c , d ", {"a", "b", "c", " d "}},
      {",,,", {"", "", "", ""}},
  };
  for (const SplitCase& c : cases) EXPECT_EQ(SplitTrackRow(c.value), c.cells) << c.value;
}

TEST_F(SettingsLoad, TrackRowsFromDKeys) {
  Load(
      "[Option]\nTrackMax=10\n[Track]\nD1=1,2,3,4\nD5=1, 2 ,3,4,5\nd7=7,8\nD07=x,y\n"
      "D11=beyond,max\nD3=first,1\nD3=second,2\n");
  EXPECT_EQ(RowOf(1), (TrackTable::Row{"1", "2", "3", "4"}));
  EXPECT_EQ(RowOf(5), (TrackTable::Row{"1", "2", "3", "4,5"}));
  EXPECT_EQ(RowOf(7), (TrackTable::Row{"7", "8", "", ""}));
  EXPECT_EQ(RowOf(3), (TrackTable::Row{"first", "1", "", ""}));
  EXPECT_EQ(state.StringGrid1.StoredRows(), 4u);  // D07 and D11 name no row
}

TEST_F(SettingsLoad, StatusOutsideTheItemsLeavesNoSelection) {
  const std::pair<const char*, int> cases[] = {
      {"12", -1}, {"0", 0}, {"8", 8}, {"-1", -1}, {"x", 1}};
  for (auto [value, index] : cases) {
    Load(std::string("[Output]\nStatus=") + value + "\n");
    EXPECT_EQ(state.ComboBoxStatus.ItemIndex, index) << value;
    EXPECT_EQ(state.ComboBoxStatus.Text, index >= 0 ? state.ComboBoxStatus.Items[index] : "")
        << value;
  }
  Load("[Output]\nStatus=12\n");
  SaveSettings(state);
  EXPECT_EQ(test::ReadIni(state.SettingsPath).ReadString("Output", "Status", ""), "-1");
}

struct DgpsCase {
  const char* line;  // in section DGPS
  int quality;
  const char* age;
  const char* station;
};

TEST_F(SettingsLoad, DifferentialFields) {
  const DgpsCase cases[] = {
      {"DGPS=45", 2, "", ""},
      {"", 2, "30", "0137"},
      {"DGPS= 12 , 0042 ", 2, "12", "0042"},
      {"RTK=1,2,3", 4, "1", "2,3"},
      {"Invalid=,", 0, "", ""},
      {"", 0, "", ""},
      {"Simulation=9,", 8, "9", ""},
  };
  for (const DgpsCase& c : cases) {
    Load(std::string("[DGPS]\n") + c.line + "\n");
    EXPECT_EQ(state.DgpsAge[c.quality], c.age) << c.line;
    EXPECT_EQ(state.DgpsStation[c.quality], c.station) << c.line;
  }
}

TEST_F(SettingsLoad, ZoneTextFromTimeDiff) {
  const std::pair<const char*, const char*> cases[] = {
      {"9:00", "09,00"},  {"-5:30", "-05,30"}, {"9", "09,00"},       {"", ","},
      {"10,45", "10,45"}, {"x:y", "00,00"},    {"5:3000", "05,300"}, {"-0:30", "00,30"},
  };
  for (auto [diff, zone] : cases) EXPECT_EQ(BuildZoneText(diff), zone) << diff;
  Load("[Option]\nTimeDiff=-5:30\nMagVari=7.0,W\n");
  EXPECT_EQ(state.ZoneText, "-05,30");
  EXPECT_EQ(state.MagVariation, -7.0);
  EXPECT_EQ(state.MagVariationText, "7.0,W");
}

struct PortCase {
  const char* value;
  const char* text;
};

TEST_F(SettingsLoad, PortTextIsNormalised) {
  const PortCase cases[] = {
      {"COM3", "COM3"},   {"com12 usb serial", "COM12"},
      {"7", "COM7"},      {"TCP", "TCP"},
      {" tcp ", " tcp "}, {"junk", ""},
      {"COM0", ""},       {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"", ""},
  };
  for (const PortCase& c : cases) {
    Load(std::string("[Serial]\nPort=") + c.value + "\n");
    EXPECT_EQ(state.ComboBoxPort.Text, TrimBlanks(c.text)) << c.value;
  }
  Load("[Serial]\nPort=COM4\n");
  EXPECT_NE(std::find(window.log.begin(), window.log.end(), "ComboBoxPortChange COM4"),
            window.log.end());
}

TEST_F(SettingsLoad, SpeedUnitOutsideTheUnitsReadsAsKmH) {
  const std::pair<const char*, int> cases[] = {{"2", 2}, {"1", 1}, {"3", 0}, {"258", 0}, {"-1", 0}};
  for (auto [value, unit] : cases) {
    Load(std::string("[Option]\nSpeedUnit=") + value + "\n");
    EXPECT_EQ(state.SpeedUnit, unit) << value;
  }
}

TEST_F(SettingsLoad, StoredWindowPositionGoesThroughPlacement) {
  window.placeResult = std::make_pair(40, 30);
  Load("[Option]\nMainTop=1200\nMainLeft=-3000\n");
  EXPECT_EQ(window.placedTop, 1200);
  EXPECT_EQ(window.placedLeft, -3000);
  EXPECT_EQ(state.MainTop, 40);
  EXPECT_EQ(state.MainLeft, 30);
}

TEST_F(SettingsLoad, PresetRadioButtonsAndDialogFolders) {
  Load("[Output]\nGSAGSV1=0\nGSAGSV3=1\n[Option]\nIniDir=/ini/here\nCsvDir=\n");
  EXPECT_EQ(state.RadioButtonGSAChecked, 3);
  EXPECT_EQ(state.CurrentPreset, 3);
  EXPECT_EQ(state.OpenDialog1InitialDir, "/ini/here");
  EXPECT_EQ(state.SaveDialog1InitialDir, "/ini/here");
}

TEST_F(SettingsLoad, LegacyDataSectionIsReadAndRemovedAtOnce) {
  Load(
      "[Option]\nVersion=Ver3.00\n[Data]\nLat1=35.1\nLon1=139.1\nAlt1=5\nSpd1=20\nLat2=35.2\n"
      "Lon2=139.2\nGSA11=$GPGSA,old\nGSV11=$GPGSV,old\n[GSAGSV]\nGSA11=ignored\n");
  EXPECT_EQ(RowOf(1), (TrackTable::Row{"35.1", "139.1", "5", "20"}));
  EXPECT_EQ(RowOf(2), (TrackTable::Row{"35.2", "139.2", "", ""}));
  EXPECT_EQ(state.PresetGsa[1][1], "$GPGSA,old");
  EXPECT_EQ(state.PresetGsv[1][1], "$GPGSV,old");
  IniFile after = test::ReadIni(state.SettingsPath);
  EXPECT_FALSE(after.SectionExists("Data"));
  EXPECT_TRUE(after.SectionExists("GSAGSV"));
  SaveSettings(state);
  after = test::ReadIni(state.SettingsPath);
  EXPECT_EQ(after.ReadString("Track", "D1", ""), "35.1,139.1,5,20");
  EXPECT_EQ(after.ReadString("GSAGSV", "GSA11", ""), "$GPGSA,old");
}

TEST_F(SettingsLoad, LegacyCellKeysInTrackAndGsacsvPresets) {
  Load(
      "[Track]\nLat1=1\nLon1=2\nD1=not,this\n[GSACSV]\nGSA47=$x\nGSV430=$y\n"
      "[GSAGSV]\nGSA47=no\n");
  EXPECT_EQ(RowOf(1), (TrackTable::Row{"1", "2", "", ""}));
  EXPECT_EQ(state.PresetGsa[4][7], "$x");
  EXPECT_EQ(state.PresetGsv[4][30], "$y");
  IniFile after = test::ReadIni(state.SettingsPath);
  EXPECT_FALSE(after.SectionExists("Track"));
  EXPECT_FALSE(after.SectionExists("GSACSV"));
}

TEST_F(SettingsLoad, DifferentialKeysInOptionMoveToDgps) {
  Load("[Option]\nInvalid=1,2\nDGPS=5,6\n[DGPS]\nDGPS=7,8\n");
  EXPECT_EQ(state.DgpsAge[0], "1");
  EXPECT_EQ(state.DgpsAge[2], "5");
  EXPECT_EQ(state.DgpsStation[2], "6");
  IniFile after = test::ReadIni(state.SettingsPath);
  EXPECT_FALSE(after.KeyExists("Option", "Invalid"));
  EXPECT_FALSE(after.KeyExists("Option", "DGPS"));
}

TEST_F(SettingsLoad, OldVersionIsConverted) {
  Load(
      "[Option]\nVersion=Ver1.05\n[Output]\nTimeWithDec=1\nGGAGSV1=0\nGGAGSV4=1\nGGAFirst=1\n"
      "GNGGARMC=1\nRMCmode=1\nKeepMe=1\n");
  EXPECT_EQ(state.RadioButtonGSAChecked, 4);
  IniFile after = test::ReadIni(state.SettingsPath);
  for (const char* k : {"TimeWithDec", "GGAGSV1", "GGAGSV4", "GGAFirst", "GNGGARMC", "RMCmode"})
    EXPECT_FALSE(after.KeyExists("Output", k)) << k;
  EXPECT_TRUE(after.KeyExists("Output", "KeepMe"));
}

TEST_F(SettingsLoad, VersionBoundaries) {
  struct Case {
    const char* version;                // nullptr: no Version key
    bool timeWithDec, ggagsv, rmcMode;  // still present after the load
  };
  const Case cases[] = {
      {nullptr, true, true, true},     {"Ver1.17", false, false, false},
      {"Ver1.18", true, false, false}, {"Ver2.00", true, true, false},
      {"Ver2.01", true, true, true},   {"Ver2.19", true, true, true},
      {"Ver3.00", true, true, true},
  };
  for (const Case& c : cases) {
    std::string option = c.version ? std::string("[Option]\nVersion=") + c.version + "\n" : "";
    Load(option + "[Output]\nTimeWithDec=1\nGGAGSV2=1\nRMCmode=1\n");
    IniFile after = test::ReadIni(state.SettingsPath);
    const char* v = c.version ? c.version : "(none)";
    EXPECT_EQ(after.KeyExists("Output", "TimeWithDec"), c.timeWithDec) << v;
    EXPECT_EQ(after.KeyExists("Output", "GGAGSV2"), c.ggagsv) << v;
    EXPECT_EQ(after.KeyExists("Output", "RMCmode"), c.rmcMode) << v;
  }
}

TEST_F(SettingsLoad, CoreHooksFillFactoryPresetsAndVariation) {
  WriteIni(state.SettingsPath,
           "[Option]\nMagVari=7.0,W\n[Output]\nGSAGSV2=1\n[GSAGSV]\nGSA31=$GPGSA,mine\n");
  LoadSettings(state, window, CoreSettingsHooks());
  EXPECT_EQ(state.MagVariation, -7.0);
  EXPECT_EQ(state.MagVariationText, "7.0,W");
  for (int p : {1, 2, 4}) {
    EXPECT_EQ(state.PresetGsa[p], DefaultPresetGsa()[p]) << p;
    EXPECT_EQ(state.PresetGsv[p], DefaultPresetGsv()[p]) << p;
  }
  EXPECT_EQ(state.PresetGsa[3][1], "$GPGSA,mine");  // a stored preset is kept
  EXPECT_EQ(state.PresetGsa[3][2], "");
  EXPECT_EQ(state.CurrentPreset, 2);
  EXPECT_EQ(state.PresetEditorText, PresetEditorText(state.PresetGsa, state.PresetGsv, 2));
  EXPECT_FALSE(state.PresetEditorText.empty());
  // The summary and fix letters follow the loaded preset and status.
  PresetGsaTable gsa = state.PresetGsa;
  EXPECT_EQ(state.Satellites.SatsUsed1, AnalysePreset(gsa, 2).SatsUsed1);
  EXPECT_GT(state.Satellites.SatsUsed1, 0);
  FixIndicators fix;
  UpdateFixIndicators(state.ComboBoxStatus.ItemIndex, state.ComboBoxRMCst.ItemIndex, fix);
  EXPECT_EQ(state.Fix.GgaQuality, fix.GgaQuality);
  EXPECT_FALSE(state.Fix.GgaQuality.empty());
}

TEST(SettingsVersion, VersionTextFromTheProjectVersion) {
  EXPECT_EQ(MakeVersionText(2, 19), "Ver2.19");
  EXPECT_EQ(MakeVersionText(3, 0), "Ver3.00");
  EXPECT_EQ(MakeVersionText(3, 5), "Ver3.05");
  EXPECT_EQ(MakeVersionText(10, 123), "Ver10.123");
  EXPECT_EQ(BuildVersionText(), "Ver3.00");
}

}  // namespace
}  // namespace fixcaster
