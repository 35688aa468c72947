#pragma once

#include <span>
#include <string>
#include <string_view>

#include "nmea/PresetTables.h"

namespace fixcaster {

// The satellite summary that GGA and GNS report, derived from the first two GSA
// lines of the preset in use.
struct PresetSummary {
  std::string Hdop1;  // empty when GSA line 1 is empty
  int SatsUsed1 = 0;
  std::string Hdop2;  // empty when GSA line 2 is empty
  int SatsUsed2 = 0;
};

// The factory presets (no checksums; framing adds them). Lines not listed are empty.
const PresetGsaTable& DefaultPresetGsa();
const PresetGsvTable& DefaultPresetGsv();

// Number of commas + 1.
int FieldCount(std::string_view line);
// The n-th comma-separated field, 1-based; empty when there is none. The last
// field runs to the end of the line.
std::string GetField(std::string_view line, int n);
// How many of the fields numbered from..to that are followed by a comma are not
// blank after trimming (characters up to and including the space count as blank).
int CountFilledFields(std::string_view line, int from, int to);

// Puts the GPS GSA line first (GLGSA line 1 and GPGSA line 2 are swapped in the
// table, so that order is also sent) and derives the summary of preset p (1..4).
// An out-of-range p changes nothing and gives an empty summary.
PresetSummary AnalysePreset(PresetGsaTable& gsa, int p);

// The preset editor's text for preset p: the non-empty GSA lines, then the
// non-empty GSV lines, joined by "\r\n" (no line end after the last line).
std::string PresetEditorText(const PresetGsaTable& gsa, const PresetGsvTable& gsv, int p);

// A click on one of the four preset buttons (checkedButton 1..4; any other value
// means none is checked and the current preset stays): sets currentPreset, fills
// editorText with that preset and returns its summary (after AnalysePreset).
PresetSummary SelectPreset(int checkedButton, int& currentPreset, PresetGsaTable& gsa,
                           const PresetGsvTable& gsv, std::string& editorText);

// Closing the preset editor: replaces preset `checkedButton` (1 when none is
// checked) by the editor's lines (split at "\r\n", "\n" or "\r"). A line holding
// "GSA" becomes the next GSA line (the first 7 are kept), any other non-empty line
// the next GSV line (the first 30 are kept). Sets currentPreset and returns the
// summary of the stored preset.
PresetSummary StorePresetFromEditor(int checkedButton, std::string_view editorText,
                                    int& currentPreset, PresetGsaTable& gsa, PresetGsvTable& gsv);

// After loading: a preset whose GSA line 1 and GSV line 1 are both empty gets all
// its factory lines back.
void RefillEmptyPresets(PresetGsaTable& gsa, PresetGsvTable& gsv);

// Framing for emission: every non-empty line through AppendChecksum, each
// followed by CR LF, as one block. `lines` are the lines of one preset in order.
std::string FramePresetLines(std::span<const std::string> lines);
// The GSA (lines 1..7) or GSV (lines 1..30) block of preset p; empty text for an
// out-of-range p or a preset without such lines.
std::string FramePresetGsa(const PresetGsaTable& gsa, int p);
std::string FramePresetGsv(const PresetGsvTable& gsv, int p);

}  // namespace fixcaster
