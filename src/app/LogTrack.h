#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "settings/SettingsHost.h"
#include "settings/TrackGpx.h"
#include "state/AppState.h"

namespace fixcaster {

struct LogImportResult {
  bool Loaded = false;
  int64_t Points = 0;        // epochs with a position
  int64_t Rows = 0;          // rows they became (same place or time merged)
  int64_t SkippedLines = 0;  // lines of the log that held no sentence
  TrackReplaceResult Table;
};

// "Import log as track": the RMC/GGA positions of a recorded log, with RMC's speeds
// in the table's unit (distance over time where RMC gives none above 0, `speed`
// or the first row's speed where neither), replace the table and the route is
// prepared, as a GPX import does. A file that cannot be read or holds no position
// leaves the table as it was.
LogImportResult ImportLogAsTrack(AppState& state, const std::string& path, std::string_view speed,
                                 SettingsWindow& window, const SettingsHooks& hooks);

}  // namespace fixcaster
