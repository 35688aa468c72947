#include "nmea/Presets.h"

#include <algorithm>
#include <utility>

#include "nmea/Format.h"

namespace fixcaster {

namespace {

// Factory lines by preset; a null pointer ends a preset's list.
constexpr const char* FactoryGsa[PresetCount][PresetGsaLines] = {
    {"$GPGSA,A,3,07,25,16,01,18,22,26,30,08,47,24,06,1.32,0.78,1.07"},
    {"$GPGSA,A,3,01,07,16,25,05,09,14,15,24,10,26,02,30,31,32,33,1.5,0.9,1.2"},
    {"$GPGSA,A,3,01,07,16,25,,,,,,,,,1.5,0.9,1.2"},
    {"$GNGSA,A,3,02,06,09,23,12,17,19,05,07,,,,0.95,0.55,0.78,1",
     "$GNGSA,A,3,82,69,84,83,,,,,,,,,0.95,0.55,0.78,2",
     "$GNGSA,A,3,36,03,05,09,11,,,,,,,,0.95,0.55,0.78,3",
     "$GNGSA,A,3,28,33,08,06,13,14,16,,,,,,0.95,0.55,0.78,4"},
};

constexpr const char* FactoryGsv[PresetCount][PresetGsvLines] = {
    {"$GPGSV,3,1,12,07,90,0,44,25,30,240,40,16,30,120,40,01,30,0,40",
     "$GPGSV,3,2,12,18,59,203,42,22,59,278,40,26,15,108,40,30,49,183,41",
     "$GPGSV,3,3,12,08,35,057,49,47,32,125,46,24,20,152,47,06,16,274,42"},
    {"$GPGSV,4,1,16,07,90,0,44,25,30,240,40,16,30,120,40,01,30,0,40",
     "$GPGSV,4,2,16,05,69,113,42,09,45,044,40,14,32,311,40,15,11,243,34",
     "$GPGSV,4,3,16,24,68,282,46,10,63,046,46,26,56,260,50,02,37,161,44",
     "$GPGSV,4,4,16,30,68,282,46,31,63,046,46,32,56,260,50,33,37,161,44"},
    {"$GPGSV,2,1,08,07,90,0,44,25,30,240,40,16,30,120,40,01,30,0,40",
     "$GPGSV,2,2,08,18,59,203,42,22,59,278,40,26,15,108,40,30,49,183,41"},
    {"$GPGSV,3,1,12,02,45,317,40,04,65,110,43,05,23,260,47,06,71,043,45,1",
     "$GPGSV,3,2,12,07,11,119,47,09,52,064,42,12,12,274,41,17,34,171,34,1",
     "$GPGSV,3,3,12,19,51,181,41,23,23,045,37,25,01,313,,30,03,150,,1",
     "$GPGSV,3,1,12,02,45,317,,04,65,110,44,05,23,260,42,06,71,043,41,6",
     "$GPGSV,3,2,12,07,11,119,40,09,52,064,32,12,12,274,37,17,34,171,33,6",
     "$GPGSV,3,3,12,19,51,181,,23,23,045,,25,01,313,,30,03,150,,6",
     "$GLGSV,2,1,08,67,11,036,,68,63,015,,69,57,241,42,70,02,224,26,1",
     "$GLGSV,2,2,08,82,22,141,45,83,72,117,33,84,42,333,30,,,,37,1",
     "$GLGSV,2,1,08,67,11,036,22,68,63,015,,69,57,241,40,70,02,224,,3",
     "$GLGSV,2,2,08,82,22,141,40,83,72,117,39,84,42,333,32,,,,37,3",
     "$GAGSV,2,1,08,03,18,217,40,04,02,041,18,05,70,199,47,09,52,049,39,7",
     "$GAGSV,2,2,08,11,17,128,42,15,04,313,,18,60,207,47,36,68,110,44,7",
     "$GAGSV,2,1,08,03,18,217,42,04,02,041,,05,70,199,43,09,52,049,33,2",
     "$GAGSV,2,2,08,11,17,128,35,15,04,313,,18,60,207,43,36,68,110,48,2",
     "$GBGSV,5,1,17,01,49,179,,02,20,249,,03,40,224,,04,44,147,,1",
     "$GBGSV,5,2,17,05,00,265,,06,33,197,41,07,04,207,,08,65,348,40,1",
     "$GBGSV,5,3,17,09,06,206,,10,08,232,23,13,44,317,36,14,25,048,33,1",
     "$GBGSV,5,4,17,16,26,200,39,27,53,308,,28,66,167,42,30,03,321,,1",
     "$GBGSV,5,5,17,33,51,040,36,1",
     "$GBGSV,5,1,17,01,49,179,,02,20,249,,03,40,224,,04,44,147,,3",
     "$GBGSV,5,2,17,05,00,265,,06,33,197,45,07,04,207,,08,65,348,36,3",
     "$GBGSV,5,3,17,09,06,206,,10,08,232,23,13,44,317,38,14,25,048,29,3",
     "$GBGSV,5,4,17,16,26,200,41,27,53,308,,28,66,167,,30,03,321,,3",
     "$GBGSV,5,5,17,33,51,040,,3"},
};

template <typename Table, size_t Lines>
Table MakeTable(const char* const (&source)[PresetCount][Lines]) {
  Table t;
  for (int p = 1; p <= PresetCount; ++p) {
    for (size_t i = 0; i < Lines && source[p - 1][i] != nullptr; ++i) {
      t[p][i + 1] = source[p - 1][i];
    }
  }
  return t;
}

bool ValidPreset(int p) {
  return p >= 1 && p <= PresetCount;
}

bool Blank(char c) {
  return static_cast<unsigned char>(c) <= ' ';
}

// HDOP and satellites in use of one GSA line: a line of 20 fields or more has
// 16 satellite fields, the standard sentence 12.
void AnalyseGsaLine(const std::string& line, std::string& hdop, int& satsUsed) {
  if (line.empty()) {
    hdop.clear();
    satsUsed = 0;
  } else if (FieldCount(line) >= 20) {
    hdop = GetField(line, 21);
    satsUsed = CountFilledFields(line, 4, 19);
  } else {
    hdop = GetField(line, 17);
    satsUsed = CountFilledFields(line, 4, 15);
  }
}

}  // namespace

const PresetGsaTable& DefaultPresetGsa() {
  static const PresetGsaTable table = MakeTable<PresetGsaTable>(FactoryGsa);
  return table;
}

const PresetGsvTable& DefaultPresetGsv() {
  static const PresetGsvTable table = MakeTable<PresetGsvTable>(FactoryGsv);
  return table;
}

int FieldCount(std::string_view line) {
  return static_cast<int>(std::count(line.begin(), line.end(), ',')) + 1;
}

std::string GetField(std::string_view line, int n) {
  if (n < 1) return {};
  size_t start = 0;
  for (int i = 1; i < n; ++i) {
    const size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) return {};
    start = comma + 1;
  }
  const size_t end = line.find(',', start);
  return std::string(line.substr(start, end == std::string_view::npos ? end : end - start));
}

int CountFilledFields(std::string_view line, int from, int to) {
  int count = 0;
  int field = 1;
  size_t start = 0;
  for (size_t comma = line.find(','); comma != std::string_view::npos && field <= to;
       comma = line.find(',', start), ++field) {
    if (field >= from) {
      const std::string_view text = line.substr(start, comma - start);
      if (!std::all_of(text.begin(), text.end(), Blank)) ++count;
    }
    start = comma + 1;
  }
  return count;
}

PresetSummary AnalysePreset(PresetGsaTable& gsa, int p) {
  PresetSummary s;
  if (!ValidPreset(p)) return s;
  auto& lines = gsa[p];
  if (!lines[2].empty() && lines[1].find("GLGSA") != std::string::npos &&
      lines[2].find("GPGSA") != std::string::npos) {
    std::swap(lines[1], lines[2]);
  }
  AnalyseGsaLine(lines[1], s.Hdop1, s.SatsUsed1);
  AnalyseGsaLine(lines[2], s.Hdop2, s.SatsUsed2);
  return s;
}

std::string PresetEditorText(const PresetGsaTable& gsa, const PresetGsvTable& gsv, int p) {
  std::string text;
  if (!ValidPreset(p)) return text;
  auto add = [&text](const std::string& line) {
    if (line.empty()) return;
    if (!text.empty()) text.append("\r\n");
    text.append(line);
  };
  for (int i = 1; i <= PresetGsaLines; ++i) add(gsa[p][i]);
  for (int i = 1; i <= PresetGsvLines; ++i) add(gsv[p][i]);
  return text;
}

PresetSummary SelectPreset(int checkedButton, int& currentPreset, PresetGsaTable& gsa,
                           const PresetGsvTable& gsv, std::string& editorText) {
  if (ValidPreset(checkedButton)) currentPreset = checkedButton;
  editorText = PresetEditorText(gsa, gsv, currentPreset);
  return AnalysePreset(gsa, currentPreset);
}

PresetSummary StorePresetFromEditor(int checkedButton, std::string_view editorText,
                                    int& currentPreset, PresetGsaTable& gsa, PresetGsvTable& gsv) {
  const int p = ValidPreset(checkedButton) ? checkedButton : 1;
  for (auto& line : gsa[p]) line.clear();
  for (auto& line : gsv[p]) line.clear();
  int j = 1;
  int k = 1;
  size_t start = 0;
  while (start <= editorText.size()) {
    size_t end = editorText.find_first_of("\r\n", start);
    if (end == std::string_view::npos) end = editorText.size();
    const std::string_view line = editorText.substr(start, end - start);
    if (line.find("GSA") != std::string_view::npos) {
      if (j <= PresetGsaLines) gsa[p][j] = line;
      ++j;
    } else if (!line.empty()) {
      if (k <= PresetGsvLines) gsv[p][k] = line;
      ++k;
    }
    // One line end: "\r\n", "\n" or "\r".
    if (end < editorText.size() && editorText[end] == '\r' && end + 1 < editorText.size() &&
        editorText[end + 1] == '\n') {
      ++end;
    }
    start = end + 1;
  }
  currentPreset = p;
  return AnalysePreset(gsa, p);
}

void RefillEmptyPresets(PresetGsaTable& gsa, PresetGsvTable& gsv) {
  for (int p = 1; p <= PresetCount; ++p) {
    if (gsa[p][1].empty() && gsv[p][1].empty()) {
      gsa[p] = DefaultPresetGsa()[p];
      gsv[p] = DefaultPresetGsv()[p];
    }
  }
}

std::string FramePresetLines(std::span<const std::string> lines) {
  std::string block;
  for (const auto& line : lines) {
    if (line.empty()) continue;
    block.append(AppendChecksum(line));
    block.append("\r\n");
  }
  return block;
}

std::string FramePresetGsa(const PresetGsaTable& gsa, int p) {
  if (!ValidPreset(p)) return {};
  return FramePresetLines(std::span<const std::string>(gsa[p]).subspan(1));
}

std::string FramePresetGsv(const PresetGsvTable& gsv, int p) {
  if (!ValidPreset(p)) return {};
  return FramePresetLines(std::span<const std::string>(gsv[p]).subspan(1));
}

}  // namespace fixcaster
