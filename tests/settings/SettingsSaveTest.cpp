#include <gtest/gtest.h>

#include <sstream>

#include "SettingsTestSupport.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"

namespace fixcaster {
namespace {

using test::ReadBytes;
using test::ReadIni;
using test::RecordingWindow;
using test::TempDir;
using test::WriteIni;

// Everything the settings file carries, as one comparable text.
std::string Persisted(const AppState& s) {
  std::ostringstream o;
  o << s.EngCharset << '|' << s.EngFontName << '|' << s.EngFontSize << '|' << s.JpCharset << '|'
    << s.JpFontName << '|' << s.JpFontSize << '|' << int{s.SpeedUnit} << '|'
    << s.StringGrid1.TrackMax() << '|' << s.TimeDiff << '|' << s.MagVari << '|'
    << s.OpenDialog1InitialDir << '|' << s.SaveDialog1InitialDir << '|' << s.EditTCPport.Text << '|'
    << s.ChgIndex << '|' << s.ChgPrefix << '|' << s.MainTop << '|' << s.MainLeft << '|'
    << s.ComboBoxPort.Text << '|' << s.ComboBoxBaud.Text << '|' << s.ComboBoxNMEA.Text << '|'
    << s.ComboBoxNavSt.Text << '|' << s.ComboBoxHz.Text << '|' << s.CheckBoxRMCprec.Checked << '|'
    << s.RadioButtonGSAChecked << '|' << s.ComboBoxStatus.ItemIndex << '|' << s.ComboBoxDegDec.Text
    << '|' << s.ComboBoxTimeDec.Text << '|' << s.CheckBoxRep.Checked << '|' << s.ComboBoxGeoid.Text
    << "\n";
  for (int t = 0; t < SentenceCount; ++t)
    o << SentenceNames[t] << ' ' << s.ComboBoxInterval[t].Text << ' '
      << s.CheckBoxSentence[t].Checked << '\n';
  for (int t = 0; t < PrefixSentenceCount; ++t) o << s.TalkerPrefixIndex[t] << ' ';
  for (int q = 0; q < 9; ++q) o << s.DgpsAge[q] << ',' << s.DgpsStation[q] << ' ';
  for (int p = 1; p <= PresetCount; ++p) {
    for (int l = 1; l <= PresetGsaLines; ++l) o << s.PresetGsa[p][l] << '\n';
    for (int l = 1; l <= PresetGsvLines; ++l) o << s.PresetGsv[p][l] << '\n';
  }
  for (int64_t n = 1; n <= s.StringGrid1.TrackMax(); ++n)
    if (s.StringGrid1.IsFilled(n))
      for (int c = 1; c <= 4; ++c) o << n << ':' << c << '=' << s.StringGrid1.Cell(n, c) << '\n';
  return o.str();
}

// A state in which every stored value differs from its design value.
void FillEverything(AppState& s) {
  s.EngCharset = 2, s.EngFontName = "DejaVu Sans", s.EngFontSize = 11;
  s.JpCharset = 128, s.JpFontName = "Noto Sans CJK JP \xE3\x82\xB4", s.JpFontSize = 12;
  s.SpeedUnit = 2;
  s.StringGrid1.SetTrackMax(1000);
  s.TimeDiff = "-5:30", s.MagVari = "7.0,W";
  s.OpenDialog1InitialDir = "/home/u/ini", s.SaveDialog1InitialDir = "/home/u/csv";
  s.EditTCPport.Text = "10110", s.ChgIndex = 3, s.ChgPrefix = "GQ,GI,BD";
  s.MainTop = 120, s.MainLeft = -40;
  s.ComboBoxPort.Text = "/dev/ttyUSB0", s.ComboBoxBaud.Text = "38400";
  s.ComboBoxNMEA.Text = "4.1", s.ComboBoxNavSt.Text = "S", s.ComboBoxHz.Text = "5";
  for (int t = 0; t < SentenceCount; ++t) {
    s.ComboBoxInterval[t].Text = std::to_string(t + 2);
    s.CheckBoxSentence[t].Checked = t % 2 == 1;
  }
  s.CheckBoxRMCprec.Checked = false;
  s.RadioButtonGSAChecked = 3;
  s.ComboBoxStatus.ItemIndex = 4;
  s.ComboBoxStatus.Text = s.ComboBoxStatus.Items[4];
  s.ComboBoxDegDec.Text = "8", s.ComboBoxTimeDec.Text = "2";
  s.CheckBoxRep.Checked = true;
  s.ComboBoxGeoid.Text = "-30.5";
  s.TalkerPrefixIndex = {2, 3, 4, 5, 6, 1, 2};
  for (int q = 0; q < 9; ++q)
    s.DgpsAge[q] = std::to_string(q), s.DgpsStation[q] = "S" + std::to_string(q);
  for (int p = 1; p <= PresetCount; ++p) {
    for (int l = 1; l <= PresetGsaLines; ++l)
      s.PresetGsa[p][l] = "$GPGSA,A,3," + std::to_string(p * 100 + l);
    for (int l = 1; l <= PresetGsvLines; l += 3)
      s.PresetGsv[p][l] = "$GPGSV,3,1,12," + std::to_string(p * 100 + l);
  }
  s.StringGrid1.SetCell(1, 1, "35 40 49.448 N");
  s.StringGrid1.SetCell(1, 2, "139 46 8.793 E");
  s.StringGrid1.SetCell(1, 3, "3");
  s.StringGrid1.SetCell(1, 4, "30");
  s.StringGrid1.SetCell(2, 1, "35.5");
  s.StringGrid1.SetCell(2, 2, "NG 139.x");
  s.StringGrid1.SetCell(999, 1, "-35.1");
  s.StringGrid1.SetCell(999, 2, "-139.1");
  s.StringGrid1.SetCell(999, 4, "1,5");  // the last cell may hold a comma
}

class SettingsSave : public ::testing::Test {
 protected:
  SettingsSave() {
    InitSettingsGlobals(saved);
    saved.SettingsPath = dir / "fixcaster.ini";
  }
  AppState LoadFresh() {
    AppState s;
    InitSettingsGlobals(s);
    s.SettingsPath = saved.SettingsPath;
    LoadSettings(s, window, {});
    return s;
  }
  TempDir dir;
  AppState saved;
  RecordingWindow window;
};

TEST_F(SettingsSave, FileRoundTripsUnchanged) {
  FillEverything(saved);
  SaveSettings(saved);
  AppState loaded = LoadFresh();
  EXPECT_EQ(Persisted(loaded), Persisted(saved));
  // Saving what was loaded writes the same bytes again.
  const std::string first = ReadBytes(saved.SettingsPath);
  SaveSettings(loaded);
  EXPECT_EQ(ReadBytes(saved.SettingsPath), first);
}

TEST_F(SettingsSave, FirstSaveWritesTheCompleteFile) {
  SaveSettings(saved);
  IniFile ini = ReadIni(saved.SettingsPath);
  EXPECT_EQ(ini.ReadString("Option", "Version", ""), "Ver3.00");
  EXPECT_EQ(ini.ReadString("Option", "MainTop", ""), "2147483647");
  EXPECT_EQ(ini.ReadString("DGPS", "Invalid", "?"), ",");
  EXPECT_EQ(ini.ReadString("Output", "GSAGSV1", ""), "1");
  EXPECT_EQ(ini.ReadString("Output", "GSAGSV2", ""), "0");
  int presetKeys = 0;
  ini.ForEachKey("GSAGSV", [&](std::string_view, std::string_view) { ++presetKeys; });
  EXPECT_EQ(presetKeys, 148);
  EXPECT_TRUE(ini.KeyExists("GSAGSV", "GSV130"));
  EXPECT_TRUE(ini.KeyExists("GSAGSV", "GSV430"));
  const std::string image = ReadBytes(saved.SettingsPath);
  EXPECT_EQ(image.substr(0, 2), "\xFF\xFE");
  EXPECT_NE(image.find(std::string("\r\0\n\0", 4)), std::string::npos);
}

TEST_F(SettingsSave, OnlyFilledRowsAreWrittenAndOthersDeleted) {
  WriteIni(saved.SettingsPath,
           "[Track]\nD1=old\nD2=old\nD3=old\nd4=first\nD60=beyond the table\nD4=shadowed\n"
           "[Mine]\nx=1\n[Option]\nTimeWithDec=1\n");
  saved.StringGrid1.SetTrackMax(50);
  saved.StringGrid1.SetCell(1, 1, "1");
  saved.StringGrid1.SetCell(1, 2, "2");
  saved.StringGrid1.SetCell(2, 1, "lat only");
  saved.StringGrid1.SetCell(4, 1, "4");
  saved.StringGrid1.SetCell(4, 2, "5");
  SaveSettings(saved);
  IniFile ini = ReadIni(saved.SettingsPath);
  EXPECT_EQ(ini.ReadString("Track", "D1", ""), "1,2,,");
  EXPECT_FALSE(ini.KeyExists("Track", "D2"));
  EXPECT_FALSE(ini.KeyExists("Track", "D3"));
  EXPECT_EQ(ini.ReadString("Track", "D4", ""), "4,5,,");
  int d4Lines = 0;
  ini.ForEachKeyLine(
      "Track", [&](std::string_view k, std::string_view) { d4Lines += k == "d4" || k == "D4"; });
  EXPECT_EQ(d4Lines, 1);  // the shadowed duplicate is gone
  // What this program does not own stays.
  EXPECT_EQ(ini.ReadString("Track", "D60", ""), "beyond the table");
  EXPECT_EQ(ini.ReadString("Mine", "x", ""), "1");
  EXPECT_EQ(ini.ReadString("Option", "TimeWithDec", ""), "1");
}

TEST_F(SettingsSave, MissingFolderFailsWithItsReasonAndCreatesNothing) {
  saved.SettingsPath = dir / "missing/fixcaster.ini";
  const FileStatus status = SaveSettings(saved);  // must neither throw nor create anything
  EXPECT_EQ(status.fault, FileFault::System);
  EXPECT_EQ(status.error, ENOENT);
  EXPECT_TRUE(window.messages.empty()) << "the save itself shows nothing; its callers do";
  EXPECT_TRUE(dir.List().empty());
}

TEST_F(SettingsSave, HugeTrackMaxStaysCheapAndSparse) {
  // The largest table we size, with a few rows far apart: load and save visit the
  // stored rows, not every possible row, and memory follows the texts.
  saved.StringGrid1.SetTrackMax(TrackMaxLimit);
  saved.StringGrid1.SetCell(1, 1, "1");
  saved.StringGrid1.SetCell(1, 2, "2");
  saved.StringGrid1.SetCell(TrackMaxLimit, 1, "3");
  saved.StringGrid1.SetCell(TrackMaxLimit, 2, "4");
  SaveSettings(saved);
  AppState loaded = LoadFresh();
  EXPECT_EQ(loaded.StringGrid1.TrackMax(), TrackMaxLimit);
  EXPECT_EQ(loaded.StringGrid1.StoredRows(), 2u);
  EXPECT_EQ(loaded.StringGrid1.Cell(TrackMaxLimit, 2), "4");
}

class LoadButton : public SettingsSave {};

TEST_F(LoadButton, SavesTheCurrentFileThenSwitchesAndLoads) {
  const std::string other = dir / "other.ini";
  WriteIni(other, "[Option]\nTrackMax=77\n");
  saved.EditTCPport.Text = "6000";
  saved.OpenDialog1InitialDir = "/start";
  window.dialogAnswer = other;
  ButtonLoadClick(saved, window, {});
  ASSERT_EQ(window.dialogs.size(), 1u);
  EXPECT_EQ(window.dialogs[0].Filter, "Ini file|*.ini|All file|*.*");
  EXPECT_EQ(window.dialogs[0].InitialDir, "/start");
  EXPECT_EQ(ReadIni(dir / "fixcaster.ini").ReadString("Option", "TCPport", ""), "6000");
  EXPECT_EQ(saved.SettingsPath, other);
  EXPECT_EQ(saved.StringGrid1.TrackMax(), 77);
  EXPECT_EQ(saved.LabelIni, "other.ini");
  EXPECT_EQ(window.log.back(), "UpdateTitle");
}

TEST_F(LoadButton, MissingFileIsReportedAndNothingChanges) {
  window.dialogAnswer = dir / "gone.ini";
  ButtonLoadClick(saved, window, {});
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::FileNotFound);
  EXPECT_EQ(window.messages[0].second, dir / "gone.ini");
  EXPECT_EQ(saved.SettingsPath, dir / "fixcaster.ini");
  EXPECT_TRUE(dir.List().empty());
}

TEST_F(LoadButton, CancelAndRunningOutputDoNothing) {
  ButtonLoadClick(saved, window, {});  // dialog cancelled
  EXPECT_EQ(window.log, std::vector<std::string>{"OpenFileDialog"});
  window.log.clear();
  saved.ButtonStop.Enabled = true;  // the output runs
  window.dialogAnswer = dir / "x.ini";
  ButtonLoadClick(saved, window, {});
  EXPECT_TRUE(window.log.empty());
}

TEST_F(SettingsSave, CloseQueryClosesTheOutputBeforeSaving) {
  bool fileExistedAtClose = true;
  window.onCloseOutput = [&] { fileExistedAtClose = test::FileExists(saved.SettingsPath); };
  FormCloseQuery(saved, window);
  EXPECT_FALSE(fileExistedAtClose);
  EXPECT_EQ(window.log, std::vector<std::string>{"CloseOutput"});
  EXPECT_TRUE(test::FileExists(saved.SettingsPath));
}

}  // namespace
}  // namespace fixcaster
