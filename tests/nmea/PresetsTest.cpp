#include "nmea/Presets.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nmea/Format.h"
#include "nmea/Sentences.h"

namespace fixcaster {
namespace {

// Lines of a preset, in order, skipping the empty ones.
template <typename Row>
std::vector<std::string> Lines(const Row& row) {
  std::vector<std::string> out;
  for (size_t i = 1; i < row.size(); ++i) {
    if (!row[i].empty()) out.push_back(row[i]);
  }
  return out;
}

// Data field n of a sentence (0 is the address field).
std::string Field(const std::string& sentence, int n) {
  size_t start = 0;
  for (int i = 0; i < n; ++i) start = sentence.find(',', start) + 1;
  return sentence.substr(start, sentence.find_first_of(",*", start) - start);
}

TEST(FactoryPresets, HoldTheListedLines) {
  const auto& gsa = DefaultPresetGsa();
  const auto& gsv = DefaultPresetGsv();
  const size_t gsaCounts[] = {1, 1, 1, 4};
  const size_t gsvCounts[] = {3, 4, 2, 24};
  for (int p = 1; p <= PresetCount; ++p) {
    EXPECT_EQ(Lines(gsa[p]).size(), gsaCounts[p - 1]) << p;
    EXPECT_EQ(Lines(gsv[p]).size(), gsvCounts[p - 1]) << p;
    EXPECT_TRUE(gsa[p][0].empty() && gsv[p][0].empty());
  }
  EXPECT_EQ(gsa[2][1], "$GPGSA,A,3,01,07,16,25,05,09,14,15,24,10,26,02,30,31,32,33,1.5,0.9,1.2");
  EXPECT_EQ(gsa[4][4], "$GNGSA,A,3,28,33,08,06,13,14,16,,,,,,0.95,0.55,0.78,4");
  EXPECT_EQ(gsv[3][2], "$GPGSV,2,2,08,18,59,203,42,22,59,278,40,26,15,108,40,30,49,183,41");
  EXPECT_EQ(gsv[4][19], "$GBGSV,5,5,17,33,51,040,36,1");
  EXPECT_EQ(gsv[4][24], "$GBGSV,5,5,17,33,51,040,,3");
  EXPECT_TRUE(gsv[4][25].empty());
}

TEST(Fields, CountGetAndFilled) {
  EXPECT_EQ(FieldCount(""), 1);
  EXPECT_EQ(FieldCount("$GPGSA,A,3"), 3);
  EXPECT_EQ(GetField("$GPGSA,A,3", 1), "$GPGSA");
  EXPECT_EQ(GetField("$GPGSA,A,3", 3), "3");
  EXPECT_EQ(GetField("$GPGSA,A,3", 4), "");
  EXPECT_EQ(GetField("$GPGSA,A,3", 0), "");
  EXPECT_EQ(GetField("a,,c*1F", 3), "c*1F");
  EXPECT_EQ(GetField("a,,c", 2), "");
  // Only fields followed by a comma are counted; blanks do not count.
  EXPECT_EQ(CountFilledFields("a,b,c", 1, 3), 2);
  EXPECT_EQ(CountFilledFields("a, ,\t,d,", 1, 9), 2);
  EXPECT_EQ(CountFilledFields("a,b,c,d,e", 2, 3), 2);
  EXPECT_EQ(CountFilledFields("a,b", 4, 15), 0);
  EXPECT_EQ(CountFilledFields("", 1, 1), 0);
}

struct SummaryCase {
  int preset;
  const char* hdop1;
  int sats1;
  const char* hdop2;
  int sats2;
};

TEST(AnalysePreset, FactorySummaries) {
  const SummaryCase cases[] = {{1, "0.78", 12, "", 0},
                               {2, "0.9", 16, "", 0},
                               {3, "0.9", 4, "", 0},
                               {4, "0.55", 9, "0.55", 4}};
  PresetGsaTable gsa = DefaultPresetGsa();
  for (const auto& c : cases) {
    const PresetSummary s = AnalysePreset(gsa, c.preset);
    EXPECT_EQ(s.Hdop1, c.hdop1) << c.preset;
    EXPECT_EQ(s.SatsUsed1, c.sats1) << c.preset;
    EXPECT_EQ(s.Hdop2, c.hdop2) << c.preset;
    EXPECT_EQ(s.SatsUsed2, c.sats2) << c.preset;
  }
  EXPECT_EQ(gsa, DefaultPresetGsa());  // no swap for the factory lines
  const PresetSummary none = AnalysePreset(gsa, 5);
  EXPECT_EQ(none.SatsUsed1, 0);
  EXPECT_EQ(none.Hdop1, "");
}

TEST(AnalysePreset, ShortAndMalformedGsaLines) {
  PresetGsaTable gsa{};
  gsa[1][1] = "$GPGSA,A,3,01,,03";
  gsa[1][2] = "garbage";
  const PresetSummary s = AnalysePreset(gsa, 1);
  EXPECT_EQ(s.Hdop1, "");
  EXPECT_EQ(s.SatsUsed1, 1);  // "03" is the last field, not followed by a comma
  EXPECT_EQ(s.Hdop2, "");
  EXPECT_EQ(s.SatsUsed2, 0);
}

TEST(AnalysePreset, PutsTheGpsLineFirst) {
  PresetGsaTable gsa{};
  gsa[2][1] = "$GLGSA,A,3,65,66,,,,,,,,,,,2.0,1.1,1.5";
  gsa[2][2] = "$GPGSA,A,3,01,02,03,,,,,,,,,,1.8,0.9,1.4";
  const PresetSummary s = AnalysePreset(gsa, 2);
  EXPECT_EQ(gsa[2][1].substr(0, 6), "$GPGSA");
  EXPECT_EQ(gsa[2][2].substr(0, 6), "$GLGSA");
  EXPECT_EQ(s.Hdop1, "0.9");
  EXPECT_EQ(s.SatsUsed1, 3);
  EXPECT_EQ(s.Hdop2, "1.1");
  EXPECT_EQ(s.SatsUsed2, 2);
  // Only that order is swapped.
  std::swap(gsa[2][1], gsa[2][2]);
  gsa[2][2].replace(0, 6, "$GNGSA");
  AnalysePreset(gsa, 2);
  EXPECT_EQ(gsa[2][1].substr(0, 6), "$GLGSA");
}

class PresetEditing : public ::testing::Test {
 protected:
  PresetGsaTable gsa = DefaultPresetGsa();
  PresetGsvTable gsv = DefaultPresetGsv();
  int current = 1;
  std::string editor;
};

TEST_F(PresetEditing, SelectFillsTheEditorAndSummarises) {
  const PresetSummary s = SelectPreset(3, current, gsa, gsv, editor);
  EXPECT_EQ(current, 3);
  EXPECT_EQ(editor,
            "$GPGSA,A,3,01,07,16,25,,,,,,,,,1.5,0.9,1.2\r\n"
            "$GPGSV,2,1,08,07,90,0,44,25,30,240,40,16,30,120,40,01,30,0,40\r\n"
            "$GPGSV,2,2,08,18,59,203,42,22,59,278,40,26,15,108,40,30,49,183,41");
  EXPECT_EQ(s.SatsUsed1, 4);
  // No button checked: the preset stays.
  SelectPreset(0, current, gsa, gsv, editor);
  EXPECT_EQ(current, 3);
  EXPECT_EQ(editor.substr(0, 6), "$GPGSA");
}

TEST_F(PresetEditing, EditorRoundTripKeepsThePreset) {
  SelectPreset(4, current, gsa, gsv, editor);
  StorePresetFromEditor(4, editor, current, gsa, gsv);
  EXPECT_EQ(gsa, DefaultPresetGsa());
  EXPECT_EQ(gsv, DefaultPresetGsv());
}

TEST_F(PresetEditing, StoreSortsLinesIntoGroups) {
  std::string text;
  for (int i = 1; i <= 9; ++i) text += "$GPGSA,A,3,0" + std::to_string(i) + ",,,,,,,,,,,,1,2,3\n";
  text += "\r\n\n$GPRMC,1,2,3\r\n   \r\n$GPGSV,1,1,01\rlast";
  const PresetSummary s = StorePresetFromEditor(2, text, current, gsa, gsv);
  EXPECT_EQ(current, 2);
  ASSERT_EQ(Lines(gsa[2]).size(), 7u);
  EXPECT_EQ(gsa[2][7], "$GPGSA,A,3,07,,,,,,,,,,,,1,2,3");
  // Other sentence types, a line of blanks and every other non-empty line go to GSV.
  EXPECT_EQ(Lines(gsv[2]),
            (std::vector<std::string>{"$GPRMC,1,2,3", "   ", "$GPGSV,1,1,01", "last"}));
  EXPECT_EQ(s.Hdop1, "2");
  EXPECT_EQ(s.SatsUsed1, 1);
  EXPECT_EQ(s.SatsUsed2, 1);
  EXPECT_EQ(gsa[1], DefaultPresetGsa()[1]);  // other presets untouched
}

TEST_F(PresetEditing, StoreKeepsThirtyGsvLines) {
  std::string text;
  for (int i = 1; i <= 32; ++i) text += "$GPGSV,line" + std::to_string(i) + "\r\n";
  StorePresetFromEditor(1, text, current, gsa, gsv);
  ASSERT_EQ(Lines(gsv[1]).size(), 30u);
  EXPECT_EQ(gsv[1][30], "$GPGSV,line30");
  EXPECT_TRUE(Lines(gsa[1]).empty());
}

TEST_F(PresetEditing, GlonassFirstIsStoredSwapped) {
  const std::string text =
      "$GLGSA,A,3,65,66,,,,,,,,,,,2.0,1.1,1.5\r\n$GPGSA,A,3,01,02,03,,,,,,,,,,1.8,0.9,1.4";
  const PresetSummary s = StorePresetFromEditor(3, text, current, gsa, gsv);
  EXPECT_EQ(gsa[3][1].substr(0, 6), "$GPGSA");
  EXPECT_EQ(s.Hdop1, "0.9");
  EXPECT_EQ(s.SatsUsed1, 3);
}

TEST_F(PresetEditing, EmptiedPresetStaysEmptyUntilRefilled) {
  const PresetSummary s = StorePresetFromEditor(0, "", current, gsa, gsv);
  EXPECT_EQ(current, 1);  // none checked stores into preset 1
  EXPECT_TRUE(Lines(gsa[1]).empty() && Lines(gsv[1]).empty());
  EXPECT_EQ(FramePresetGsa(gsa, 1), "");
  EXPECT_EQ(FramePresetGsv(gsv, 1), "");
  // GGA then shows neither a satellite count nor an HDOP.
  SentenceSettings settings;
  UpdateFixIndicators(1, 0, settings.Fix);
  settings.Satellites = s;
  const TickFields tick = FormatTickFields(45418.0, 35.5, 139.5, 3.0, 0.0, 10.0, 90.0, 0, 6);
  EXPECT_NE(BuildGGA("$GP", tick, settings).value().find(",E,1,,,3.0,M,"), std::string::npos);
  RefillEmptyPresets(gsa, gsv);
  EXPECT_EQ(gsa, DefaultPresetGsa());
  EXPECT_EQ(gsv, DefaultPresetGsv());
}

TEST(RefillEmptyPresets, OnlyPresetsWithoutBothFirstLines) {
  PresetGsaTable gsa{};
  PresetGsvTable gsv{};
  gsa[2][1] = "$GPGSA,mine";   // keeps its GSA line 1
  gsv[3][1] = "$GPGSV,mine";   // keeps its GSV line 1
  gsa[4][3] = "$GPGSA,third";  // lines 1 empty: refilled, line 3 replaced
  RefillEmptyPresets(gsa, gsv);
  EXPECT_EQ(gsa[1], DefaultPresetGsa()[1]);
  EXPECT_EQ(gsv[1], DefaultPresetGsv()[1]);
  EXPECT_EQ(Lines(gsa[2]), std::vector<std::string>{"$GPGSA,mine"});
  EXPECT_TRUE(Lines(gsv[2]).empty());
  EXPECT_TRUE(Lines(gsa[3]).empty());
  EXPECT_EQ(Lines(gsv[3]), std::vector<std::string>{"$GPGSV,mine"});
  EXPECT_EQ(gsa[4], DefaultPresetGsa()[4]);
  EXPECT_EQ(gsv[4], DefaultPresetGsv()[4]);
}

TEST(FramePreset, EveryLineFramedWithCrLf) {
  const auto& gsa = DefaultPresetGsa();
  EXPECT_EQ(FramePresetGsa(gsa, 1),
            "$GPGSA,A,3,07,25,16,01,18,22,26,30,08,47,24,06,1.32,0.78,1.07*08\r\n");
  const std::vector<std::string> lines = {"$GPGSV,3,1,12*", "", "$GPGSV,3,1,12*47",
                                          "$GPHDT,25.3,T"};
  EXPECT_EQ(FramePresetLines(lines), "$GPGSV,3,1,12\r\n$GPGSV,3,1,12*47\r\n$GPHDT,25.3,T*01\r\n");
  EXPECT_EQ(FramePresetGsa(gsa, 0), "");
  EXPECT_EQ(FramePresetGsv(DefaultPresetGsv(), 5), "");
}

TEST(FramePreset, Preset4BlocksHoldEveryLineChecksummed) {
  const std::string gsaBlock = FramePresetGsa(DefaultPresetGsa(), 4);
  const std::string gsvBlock = FramePresetGsv(DefaultPresetGsv(), 4);
  for (const auto* block : {&gsaBlock, &gsvBlock}) {
    size_t start = 0;
    int lines = 0;
    for (size_t end; (end = block->find("\r\n", start)) != std::string::npos; start = end + 2) {
      const std::string line = block->substr(start, end - start);
      ASSERT_GE(line.size(), 4u);
      EXPECT_EQ(AppendChecksum(line.substr(0, line.size() - 3)), line);
      ++lines;
    }
    EXPECT_EQ(start, block->size());
    EXPECT_EQ(lines, block == &gsaBlock ? 4 : 24);
  }
}

TEST(PresetSummaryInGga, Preset4ReportsThirteenSatellites) {
  PresetGsaTable gsa = DefaultPresetGsa();
  SentenceSettings settings;
  UpdateFixIndicators(1, 0, settings.Fix);
  settings.Satellites = AnalysePreset(gsa, 4);
  const TickFields tick = FormatTickFields(45418.0, 35.5, 139.5, 3.0, 0.0, 10.0, 90.0, 0, 6);
  const std::string gga = BuildGGA("$GN", tick, settings).value();
  EXPECT_EQ(Field(gga, 7), "13");
  EXPECT_EQ(Field(gga, 8), "0.55");
}

}  // namespace
}  // namespace fixcaster
