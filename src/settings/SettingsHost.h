#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fixcaster {

struct AppState;

// Messages the settings and CSV code asks the window to show. The window owns the
// texts (both languages); the core passes the id and its one argument.
enum class SettingsMessage {
  MemoryOver,           // error, OK: "Memory over." (no argument)
  FileNotFound,         // error, OK: "File not Found: " CR LF + path
  FileExistsOverwrite,  // information, Yes/No: path + " exists.\r\n\r\nOverwrite?"
  FileNotCreated,       // error, OK: LF + "File could not be created" (no argument)
  // The settings file was not read or not saved (this session's changes are lost).
  SettingsReadOnly,  // warning, OK: "Settings file is read-only: " + path
  SettingsNotSaved,  // error, OK: "Settings could not be saved: " + path CR LF reason
  // warning, OK: "Settings file is larger than 1 GiB; it is neither read nor
  // written: " + path
  SettingsTooLarge,
  SettingsLinkLoop,  // error, OK: "Settings file is a loop of symbolic links: " + path
  SettingsLocation,  // error, OK: the text as given ("Cannot create : " + folder, ...)
};

// Messages of track file imports and exports, each with its arguments in order.
// (An enumeration of its own: the window's switch over SettingsMessage stays whole.)
enum class TrackFileMessage {
  TrackMaxRaised,    // information, OK: "TrackMax raised to %1" (the new TrackMax)
  PointsLeftOut,     // warning, OK: "%1 points were left out" (a count)
  GpxMalformed,      // error, OK: path, line, column, reason (English, from the reader)
  NothingToLoad,     // error, OK: "No points to load in %1" (path)
  GpxTrackNotFound,  // error, OK: "No track \"%1\" in %2" (the choice, path)
  RowsNotWritten,    // warning, OK: "%1 rows were not written: their position cannot be read"
};

// One track of a file, as offered when the file holds several.
struct TrackChoiceItem {
  std::string Name;  // "" when the track has no name
  int64_t Points = 0;
};

struct FileDialogRequest {
  std::string Filter;      // "Ini file|*.ini|All file|*.*" style
  std::string InitialDir;  // the folder the dialog opens in
};

inline constexpr const char* IniFileFilter = "Ini file|*.ini|All file|*.*";
inline constexpr const char* CsvFileFilter = "CSV file|*.csv|All file|*.*";
// The track dialogs once they offer GPX too.
inline constexpr const char* TrackFileFilter =
    "Track file|*.csv;*.gpx|CSV file|*.csv|GPX file|*.gpx|All file|*.*";

// What the settings code hands to the main window. The window implements it; the
// core never shows anything itself. Every method has a do-nothing default so a
// headless caller implements only what it has.
class SettingsWindow {
 public:
  virtual ~SettingsWindow() = default;

  // Window font from the font globals, every caption, hint and message text.
  virtual void ApplyLanguage(AppState&) {}
  // Caption of LabelSpeed1 for SpeedUnit.
  virtual void ShowSpeedUnit(AppState&) {}
  // Moves the window to a stored position (7FFFFFFF = none: centred) and clamps it
  // into a work area; both values are in and out.
  virtual void PlaceMainWindow(int32_t& /*top*/, int32_t& /*left*/) {}
  // Makes the cell the current cell and the top-left visible cell of StringGrid1.
  virtual void SelectGridCell(int64_t /*row*/, int /*col*/) {}
  virtual void ShowMessage(SettingsMessage, const std::string& /*arg*/) {}
  // A Yes/No question; true for Yes.
  virtual bool AskYesNo(SettingsMessage, const std::string& /*arg*/) { return true; }
  // The file chosen in OpenDialog1 / SaveDialog1, or nullopt on cancel.
  virtual std::optional<std::string> OpenFileDialog(const FileDialogRequest&) {
    return std::nullopt;
  }
  virtual std::optional<std::string> SaveFileDialog(const FileDialogRequest&) {
    return std::nullopt;
  }
  virtual void ShowTrackFileMessage(TrackFileMessage, const std::vector<std::string>& /*args*/) {}
  // A file holds several tracks: the 0-based index of the one to load, or nothing
  // to cancel the load. Without a window the first one is taken.
  virtual std::optional<size_t> ChooseTrack(const std::vector<TrackChoiceItem>& /*tracks*/) {
    return 0;
  }
  // Closes the output port (serial port or TCP server).
  virtual void CloseOutput() {}
  // Rewrites the window caption (settings file name with "/C").
  virtual void UpdateTitle() {}
};

// Routines of the other core modules that loading runs. They are handed in so this
// module links only what it needs; an empty function skips its step.
struct SettingsHooks {
  // Magnetic variation text -> degrees (NaN for none), and the two RMC fields.
  std::function<double(const std::string&)> ParseMagVariation;
  std::function<std::string(double)> FormatMagVariation;
  // Sizes the route tables for TrackMax rows; false when they cannot be allocated.
  std::function<bool(int32_t trackMax)> ResizeTrackTables;
  // Preset selection for the checked preset radio button (CurrentPreset, editor
  // text, satellite summary).
  std::function<void(AppState&)> SelectPreset;
  // Copies built-in preset p (1..4) into the preset tables.
  std::function<void(AppState&, int preset)> CopyBuiltInPreset;
  std::function<void(AppState&)> UpdateFixIndicators;
  std::function<void(AppState&)> ComboBoxNMEAChange;
  // Port number of a port text ("COM3" -> 3), 0 for none.
  std::function<int32_t(const std::string&)> ParseComPortNo;
  // Shows the TCP port edit or the baud list for the port text.
  std::function<void(AppState&)> ComboBoxPortChange;
  // CurrentSpan := 1 in the run state.
  std::function<void()> ResetCurrentSpan;
  // Route preparation over StringGrid1 (marks bad cells, shows its own messages).
  std::function<void(AppState&)> PrepareRoute;
};

// The hooks this module can fill from the sentence and track modules on its own:
// magnetic variation parse and format, the factory presets, the preset selection
// (with its satellite summary) and the fix indicators. The caller adds the route
// preparation and CurrentSpan (the run engine), the NMEA version change and the
// port routines (the window and the output port).
SettingsHooks CoreSettingsHooks();

}  // namespace fixcaster
