#pragma once

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "nmea/PresetTables.h"
#include "nmea/Sentences.h"
#include "track/TrackTable.h"

namespace fixcaster {

// The single source of truth for everything the window shows or the user can set:
// the values of the main window's named controls (with their design values) and
// the globals the settings file owns. The settings loader writes here, the saver
// reads here, the run engine reads a value at the moment it needs it, and the
// window's widgets are bound to these fields both ways. Field names are the
// control names so a control can be found from its name and back.

// Sentence rows in screen order; also the order of the talker-prefix tables.
enum Sentence : int { sGGA, sRMC, sGLL, sVTG, sZDA, sGNS, sHDT, sGSA, sGSV };
constexpr int SentenceCount = 9;
constexpr int PrefixSentenceCount = 7;  // GGA .. HDT have talker-prefix buttons
inline constexpr std::array<const char*, SentenceCount> SentenceNames = {
    "GGA", "RMC", "GLL", "VTG", "ZDA", "GNS", "HDT", "GSA", "GSV"};

// An editable or list combo box: its text, the selected item (-1 none) and items.
struct ComboState {
  std::string Text;
  int ItemIndex = -1;
  std::vector<std::string> Items;
  bool Enabled = true;
};

struct CheckState {
  bool Checked = false;
  bool Enabled = true;
};

struct ButtonState {
  bool Enabled = true;
};

struct EditState {
  std::string Text;
  bool Visible = true;
  bool Enabled = true;
};

std::vector<std::string> NumberItems(int first, int last);

struct AppState {
  AppState();

  // --- GroupBoxOutput ---------------------------------------------------------
  ButtonState ButtonStart;
  ButtonState ButtonIdling;
  ButtonState ButtonStop{false};  // enabled = the output runs, program-wide
  std::string LabelIni;           // file name of the current settings file

  // --- GroupBoxData -----------------------------------------------------------
  TrackTable StringGrid1;  // TrackMax lives here (StringGrid1.TrackMax())
  bool StringGrid1Enabled = true;
  CheckState CheckBoxRep;
  bool JumpButtonsEnabled = true;  // ButtonJ1 .. ButtonJ9

  // --- GroupBoxCondition ------------------------------------------------------
  ComboState ComboBoxHz;
  ComboState ComboBoxNMEA;
  ComboState ComboBoxNavSt;
  std::array<CheckState, SentenceCount> CheckBoxSentence;  // CheckBoxGGA .. CheckBoxGSV
  std::array<ComboState, SentenceCount> ComboBoxInterval;  // ComboBoxGGA .. ComboBoxGSV
  // Checked button of each prefix panel (PanelGGA .. PanelHDT), 1-based, 0 = none.
  std::array<int, PrefixSentenceCount> PrefixButtonChecked{};
  // Caption of the sixth prefix button of the six-button panels (custom prefix).
  std::string CustomPrefixCaption = "BD";
  ComboState ComboBoxStatus;
  ComboState ComboBoxRMCst;
  ComboState ComboBoxDegDec;
  ComboState ComboBoxTimeDec;
  ComboState ComboBoxGeoid;
  CheckState CheckBoxRMCprec{true};

  // --- GroupBoxSerial ---------------------------------------------------------
  ComboState ComboBoxPort;
  ComboState ComboBoxBaud;
  bool BaudControlsVisible = true;  // LabelBaud + ComboBoxBaud; EditTCPport replaces them
  EditState EditTCPport;
  ButtonState ButtonOpen;
  ButtonState ButtonClose{false};

  // --- GroupBoxGSAGSV ---------------------------------------------------------
  int RadioButtonGSAChecked = 1;  // RadioButtonGSA1 .. RadioButtonGSA4
  ButtonState ButtonEdit;
  // Text of the preset editor window (TFormGSAGSV), one line per "\r\n".
  std::string PresetEditorText;

  // --- outside the group boxes --------------------------------------------------
  ButtonState ButtonLoadCSV;
  ButtonState ButtonSaveCSV;
  ButtonState ButtonLoad;
  std::string OpenDialog1InitialDir;  // ini dialog folder (IniDir)
  std::string SaveDialog1InitialDir;  // CSV dialog folder (CsvDir)
  int MainLeft = 2147483647;          // last window position; 7FFFFFFF = none stored
  int MainTop = 2147483647;

  // --- globals of the main window ----------------------------------------------
  std::string VersionText;  // "Ver3.00", from the build's project version
  std::array<int, PrefixSentenceCount> TalkerPrefixIndex{};
  std::array<std::string, PrefixSentenceCount> TalkerPrefixText{};  // "$GP" ...
  bool FirstActivationDone = false;
  bool StartupPending = false;
  bool ShowFileInTitle = false;
  // GgaQuality, ModeIndicator, FixStatus from ComboBoxStatus/ComboBoxRMCst
  // (UpdateFixIndicators); the sentence builders read them at every tick.
  FixIndicators Fix;

  // --- globals of the settings file ---------------------------------------------
  int EngCharset = 0;
  std::string EngFontName = "Tahoma";
  int EngFontSize = 8;
  int JpCharset = 1;
  std::string JpFontName = "Tahoma";
  int JpFontSize = 8;
  uint8_t SpeedUnit = 0;  // 0 km/h, 1 mph, 2 knot
  std::string TimeDiff;
  std::string ZoneText;
  std::string MagVari;
  double MagVariation;  // NaN when none
  std::string MagVariationText = ",";
  int TimeDecimals = 0;
  int ChgIndex = 1;
  std::string ChgPrefix = "BD,GQ,GI";
  std::vector<std::string> ChgPrefixList;
  std::array<std::string, 9> DgpsAge{};
  std::array<std::string, 9> DgpsStation{};
  std::string SettingsPath;
  // Faults of settings files already reported in this session ("fault:path"), so
  // that each is said once, not at every load and save.
  std::set<std::string> SettingsFaultsReported;

  // --- GSA/GSV presets ----------------------------------------------------------
  PresetGsaTable PresetGsa{};
  PresetGsvTable PresetGsv{};
  int CurrentPreset = 1;
  // Hdop1/SatsUsed1/Hdop2/SatsUsed2 of CurrentPreset (AnalysePreset), for GGA and GNS.
  PresetSummary Satellites;
};

}  // namespace fixcaster
