#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/IniFile.h"
#include "settings/SettingsHost.h"
#include "settings/SettingsPath.h"
#include "state/AppState.h"

namespace fixcaster {

// The largest TrackMax whose tables we agree to size. The route tables take about
// 56 bytes a row, so this bounds them near half a gigabyte; a file asking for more
// gets "Memory over." and keeps the previous TrackMax.
inline constexpr int32_t TrackMaxLimit = 10'000'000;
inline constexpr int32_t TrackMaxDefault = 50;
inline constexpr int32_t TrackMaxMinimum = 6;
inline constexpr int32_t NoStoredPosition = 2147483647;

// Key names of the nine fix qualities, in the order of ComboBoxStatus.
inline constexpr std::array<const char*, 9> FixQualityKeys = {
    "Invalid", "SPS", "DGPS", "PPS", "RTK", "FloatRTK", "Estimated", "Manual", "Simulation"};

// "Ver" + major + "." + minor with at least two digits ("Ver3.00").
std::string MakeVersionText(int major, int minor);
// VersionText of this build, from the project version.
std::string BuildVersionText();

// The module's initial globals: fonts, VersionText.
void InitSettingsGlobals(AppState& state);

// Number formatting and parsing use "." as the decimal separator from now on,
// whatever the user's locale (LC_NUMERIC "C"). The first step of every load.
void UseFixedNumberFormat();

// Reads the settings file at state.SettingsPath into the state.
void LoadSettings(AppState& state, SettingsWindow& window, const SettingsHooks& hooks);
// The part of the load between reading the file and the closing route steps:
// every key of `ini` into the state; legacy sections and keys are removed from
// `ini` (the caller writes it back when Modified()).
void ApplySettings(AppState& state, IniFile& ini, SettingsWindow& window,
                   const SettingsHooks& hooks);
// Writes the state into the file at state.SettingsPath, keeping what it does not
// know. A failure leaves the old file as it was and says why: a file that cannot be
// read (not a regular file, too large, a loop of links) is never replaced, nor is
// one the user may not write. The callers report it (ReportSettingsFile).
FileStatus SaveSettings(const AppState& state);
// The same, into an already loaded profile (no disk access).
void StoreSettings(const AppState& state, IniFile& ini);

// Tells the user, once per file and fault in a session, that the settings file at
// `path` was not read or not saved, and why. Nothing for an ok status.
void ReportSettingsFile(AppState& state, SettingsWindow& window, const std::string& path,
                        const FileStatus& status);

// "Load ini": asks for a file, saves the current one, switches and loads. The chosen
// file goes through the same writability check as the one at start-up, so a file in
// a folder the user cannot write is used from the per-user folder.
void ButtonLoadClick(AppState& state, SettingsWindow& window, const SettingsHooks& hooks,
                     const SettingsLocation& where = CurrentSettingsLocation());
// Close request of the main window: close the output, then save; a failed save is
// reported and the window closes all the same.
void FormCloseQuery(AppState& state, SettingsWindow& window);

// Pieces of the load with rules of their own, exposed for the tests.
std::string BuildZoneText(std::string_view timeDiff);
// A "D" key value split into the four cells: at most three trimmed fields before
// commas, the untrimmed rest as the last one.
TrackTable::Row SplitTrackRow(std::string_view value);
// Folder part of a path ("" when it has none).
std::string FolderOf(std::string_view path);
std::string FileNameOf(std::string_view path);

}  // namespace fixcaster
