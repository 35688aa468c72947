#include "settings/Settings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>

#include "nmea/Presets.h"
#include "nmea/Sentences.h"
#include "settings/IniFile.h"
#include "track/TrackGrammar.h"

namespace fixcaster {

namespace {

constexpr const char* kOption = "Option";
constexpr const char* kDgps = "DGPS";
constexpr const char* kSerial = "Serial";
constexpr const char* kOutput = "Output";
constexpr const char* kGsaGsv = "GSAGSV";
constexpr const char* kTrack = "Track";
constexpr const char* kData = "Data";
constexpr const char* kGsaCsv = "GSACSV";

// Interval and output-switch keys are read and written in this order.
constexpr std::array<Sentence, SentenceCount> kKeyOrder = {sGGA, sRMC, sGSA, sGSV, sGLL,
                                                           sVTG, sZDA, sGNS, sHDT};
// Talker-prefix buttons per sentence (GGA .. GNS six, HDT two).
constexpr std::array<int, PrefixSentenceCount> kPrefixButtons = {6, 6, 6, 6, 6, 6, 2};

std::string Key(const char* prefix, int a) {
  return std::string(prefix) + std::to_string(a);
}
std::string Key(const char* prefix, int a, int b) {
  return std::string(prefix) + std::to_string(a) + std::to_string(b);
}

// A combo box text set from outside: the item of that text becomes selected.
void SetComboText(ComboState& c, std::string text) {
  c.ItemIndex = -1;
  for (size_t i = 0; i < c.Items.size() && c.ItemIndex < 0; ++i)
    if (c.Items[i] == text) c.ItemIndex = static_cast<int>(i);
  c.Text = std::move(text);
}

// The text of a one-digit combo box unless it is empty, longer than one character or
// outside first..last.
std::string CheckedDigit(const std::string& text, char first, char last, const char* fallback) {
  if (text.size() != 1 || text[0] < first || text[0] > last) return fallback;
  return text;
}

std::string PrefixCaption(const AppState& s, int sentence, int button) {
  if (sentence == sHDT) return button == 2 ? "HC" : "GP";
  static constexpr std::array<const char*, 5> fixed = {"GP", "GN", "GL", "GA", "GB"};
  return button >= 1 && button <= 5 ? fixed[button - 1] : s.CustomPrefixCaption;
}

// A preset radio button set from the file: checking one unchecks the others; the
// one that becomes checked runs its click handler.
void SetPresetRadio(AppState& s, int preset, bool checked, const SettingsHooks& hooks) {
  if (checked) {
    if (s.RadioButtonGSAChecked == preset) return;
    s.RadioButtonGSAChecked = preset;
    if (hooks.SelectPreset) hooks.SelectPreset(s);
  } else if (s.RadioButtonGSAChecked == preset) {
    s.RadioButtonGSAChecked = 0;
  }
}

void SplitDgps(std::string_view value, std::string& age, std::string& station) {
  value = TrimBlanks(value);
  size_t comma = value.find(',');
  if (value.empty() || comma == std::string_view::npos) {
    age.clear();
    station.clear();
    return;
  }
  age = std::string(TrimBlanks(value.substr(0, comma)));
  station = std::string(TrimBlanks(value.substr(comma + 1)));
}

void ReadDgps(AppState& s, const IniFile& ini, const char* section) {
  for (size_t q = 0; q < FixQualityKeys.size(); ++q) {
    std::string v = ini.ReadString(section, FixQualityKeys[q], q == 2 ? "30,0137" : "");
    SplitDgps(v, s.DgpsAge[q], s.DgpsStation[q]);
  }
}

void ReadPresets(AppState& s, const IniFile& ini, const char* section) {
  for (int p = 1; p <= PresetCount; ++p) {
    for (int l = 1; l <= PresetGsaLines; ++l)
      s.PresetGsa[p][l] = ini.ReadString(section, Key("GSA", p, l), "");
    for (int l = 1; l <= PresetGsvLines; ++l)
      s.PresetGsv[p][l] = ini.ReadString(section, Key("GSV", p, l), "");
  }
}

// Row number of a key `prefix` + n (n in decimal, no leading zero, 1..maxRow), else 0.
// `prefix` is lower case; the key's letters compare without regard to case.
int64_t RowOfKey(std::string_view key, std::string_view prefix, int64_t maxRow) {
  if (key.size() <= prefix.size() || key.size() > prefix.size() + 10) return 0;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = key[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return 0;
  }
  std::string_view digits = key.substr(prefix.size());
  if (digits[0] == '0') return 0;
  int64_t n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return 0;
    n = n * 10 + (c - '0');
  }
  return n <= maxRow ? n : 0;
}

// The old one-key-per-cell track ("Lat1", "Lon1", "Alt1", "Spd1", ...). Only the keys
// present are visited, so a huge TrackMax costs nothing here.
void ReadCellTrack(TrackTable& grid, const IniFile& ini, const char* section) {
  static constexpr std::array<const char*, 4> prefixes = {"lat", "lon", "alt", "spd"};
  grid.ClearAll();
  ini.ForEachKey(section, [&](std::string_view key, std::string_view value) {
    for (int c = 0; c < 4; ++c) {
      if (int64_t n = RowOfKey(key, prefixes[c], grid.TrackMax())) {
        grid.SetCell(n, TrackTable::ColLat + c, value);
        return;
      }
    }
  });
}

std::array<std::string_view, 4> SplitTrackRowViews(std::string_view value);

// Whether two keys are equal without regard to ASCII case.
bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// Reads the "D" rows of the Track section. Returns true, the rows then being of no
// use, when the section is in the old one-key-per-cell form (it holds "Lat1"): the
// same pass finds that out, so the large section is walked once, not twice, and
// without building its index.
bool ReadDTrack(TrackTable& grid, const IniFile& ini) {
  grid.ClearAll();
  // One pass over the lines; of keys naming the same row the first one counts.
  std::vector<bool> seen(static_cast<size_t>(grid.TrackMax()) + 1);
  // Rows come in order as a rule: sized once, the table is not moved while it
  // grows. The section's line count bounds its row keys without a counting pass
  // (which cost some 15 ms a million rows); Reserve takes at most TrackMax rows.
  grid.Reserve(static_cast<int64_t>(ini.LineCount(kTrack)));
  bool cellForm = false;
  ini.ForEachKeyLine(kTrack, [&](std::string_view key, std::string_view value) {
    int64_t n = RowOfKey(key, "d", grid.TrackMax());
    if (n && !seen[n]) {
      seen[n] = true;
      auto r = SplitTrackRowViews(value);
      for (int c = 0; c < 4; ++c) grid.SetCell(n, TrackTable::ColLat + c, r[c]);
    } else if (!n && !cellForm) {
      cellForm = SameKey(key, "Lat1");
    }
  });
  return cellForm;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

// A new settings file holds only the byte-order mark, so it stays UTF-16.
bool CreateEmptySettingsFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return errno == EEXIST;
  bool ok = ::write(fd, "\xFF\xFE", 2) == 2;
  ok = ::close(fd) == 0 && ok;
  return ok;
}

}  // namespace

SettingsHooks CoreSettingsHooks() {
  SettingsHooks h;
  h.ParseMagVariation = [](const std::string& t) { return fixcaster::ParseMagVariation(t); };
  h.FormatMagVariation = [](double v) { return fixcaster::FormatMagVariation(v); };
  h.CopyBuiltInPreset = [](AppState& s, int p) {
    if (p < 1 || p > PresetCount) return;
    s.PresetGsa[p] = DefaultPresetGsa()[p];
    s.PresetGsv[p] = DefaultPresetGsv()[p];
  };
  h.SelectPreset = [](AppState& s) {
    s.Satellites = fixcaster::SelectPreset(s.RadioButtonGSAChecked, s.CurrentPreset, s.PresetGsa,
                                           s.PresetGsv, s.PresetEditorText);
  };
  h.UpdateFixIndicators = [](AppState& s) {
    fixcaster::UpdateFixIndicators(s.ComboBoxStatus.ItemIndex, s.ComboBoxRMCst.ItemIndex, s.Fix);
  };
  return h;
}

std::string MakeVersionText(int major, int minor) {
  std::string m = std::to_string(minor);
  if (m.size() < 2) m.insert(0, 2 - m.size(), '0');
  return "Ver" + std::to_string(major) + "." + m;
}

std::string BuildVersionText() {
  return MakeVersionText(FIXCASTER_VERSION_MAJOR, FIXCASTER_VERSION_MINOR);
}

void InitSettingsGlobals(AppState& s) {
  s.EngFontName = "Tahoma";
  s.JpFontName = "Tahoma";
  s.EngFontSize = 8;
  s.JpFontSize = 8;
  s.EngCharset = 0;
  s.JpCharset = 1;
  s.VersionText = BuildVersionText();
}

void UseFixedNumberFormat() {
  // The window toolkit takes over the user's locale at start; numbers in files and
  // sentences must keep "." whatever it is.
  std::setlocale(LC_NUMERIC, "C");
}

std::string FolderOf(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {};
  return std::string(path.substr(0, slash == 0 ? 1 : slash));
}

std::string FileNameOf(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string BuildZoneText(std::string_view timeDiff) {
  if (timeDiff.empty()) return ",";
  std::string t(timeDiff);
  for (char& c : t)
    if (c == ':') c = ',';
  // An integer value that cannot be read is 0.
  auto value = [](std::string_view v) -> int64_t { return ParseIniInteger(v).value_or(0); };
  int64_t hours, minutes = 0;
  size_t comma = t.find(',');
  if (comma != std::string::npos) {
    hours = value(std::string_view(t).substr(0, comma));
    minutes = value(std::string_view(t).substr(comma + 1, 3));
  } else {
    hours = value(t);
  }
  auto two = [](int64_t v) {
    std::string d = std::to_string(v < 0 ? -v : v);
    if (d.size() < 2) d.insert(0, "0");
    return (v < 0 ? "-" : "") + d;
  };
  return two(hours) + "," + two(minutes);
}

namespace {

// The four cells of a "D" value as views into it (empty views for missing fields).
std::array<std::string_view, 4> SplitTrackRowViews(std::string_view value) {
  std::array<std::string_view, 4> r{};
  int taken = 0;
  std::string_view rest = value;
  size_t comma;
  while (taken < 3 && (comma = rest.find(',')) != std::string_view::npos) {
    r[taken++] = TrimBlanks(rest.substr(0, comma));
    rest = rest.substr(comma + 1);
  }
  r[taken] = rest;
  return r;
}

}  // namespace

TrackTable::Row SplitTrackRow(std::string_view value) {
  auto v = SplitTrackRowViews(value);
  return {std::string(v[0]), std::string(v[1]), std::string(v[2]), std::string(v[3])};
}

void LoadSettings(AppState& s, SettingsWindow& window, const SettingsHooks& hooks) {
  if (s.VersionText.empty()) s.VersionText = BuildVersionText();
  UseFixedNumberFormat();
  s.LabelIni = FileNameOf(s.SettingsPath);
  if (!FileExists(s.SettingsPath) && !CreateEmptySettingsFile(s.SettingsPath)) return;
  IniFile ini;
  const FileStatus read = ini.Read(s.SettingsPath);
  // The window then shows defaults, not the file: the user learns why at once.
  if (read.fault == FileFault::TooLarge || read.fault == FileFault::LinkLoop)
    ReportSettingsFile(s, window, s.SettingsPath, read);
  ApplySettings(s, ini, window, hooks);
  // Removed legacy sections and keys are gone from the file at once.
  if (ini.Modified()) ReportSettingsFile(s, window, s.SettingsPath, ini.Write(s.SettingsPath));
  if (hooks.ComboBoxNMEAChange) hooks.ComboBoxNMEAChange(s);
  if (hooks.PrepareRoute) hooks.PrepareRoute(s);
}

void ApplySettings(AppState& s, IniFile& ini, SettingsWindow& window, const SettingsHooks& hooks) {
  if (s.VersionText.empty()) s.VersionText = BuildVersionText();
  const std::string fileVersion = ini.ReadString(kOption, "Version", s.VersionText);
  s.EngCharset = ini.ReadInteger(kOption, "EngCharset", s.EngCharset);
  s.EngFontName = ini.ReadString(kOption, "EngFontName", s.EngFontName);
  s.EngFontSize = ini.ReadInteger(kOption, "EngFontSize", s.EngFontSize);
  s.JpCharset = ini.ReadInteger(kOption, "JpCharset", s.JpCharset);
  s.JpFontName = ini.ReadString(kOption, "JpFontName", s.JpFontName);
  s.JpFontSize = ini.ReadInteger(kOption, "JpFontSize", s.JpFontSize);

  s.TimeDiff = ini.ReadString(kOption, "TimeDiff", "");
  s.MagVari = ini.ReadString(kOption, "MagVari", "");
  s.ZoneText = BuildZoneText(s.TimeDiff);
  if (hooks.ParseMagVariation) s.MagVariation = hooks.ParseMagVariation(s.MagVari);
  if (hooks.FormatMagVariation) s.MagVariationText = hooks.FormatMagVariation(s.MagVariation);

  int32_t trackMax = ini.ReadInteger(kOption, "TrackMax", TrackMaxDefault);
  if (trackMax < TrackMaxMinimum) trackMax = TrackMaxMinimum;
  // A table that cannot be sized keeps the previous TrackMax, so every later step
  // stays bounded by what is really there.
  bool sized =
      trackMax <= TrackMaxLimit && (!hooks.ResizeTrackTables || hooks.ResizeTrackTables(trackMax));
  if (sized) {
    s.StringGrid1.SetTrackMax(trackMax);
  } else {
    window.ShowMessage(SettingsMessage::MemoryOver, "");
  }

  s.OpenDialog1InitialDir = ini.ReadString(kOption, "IniDir", s.OpenDialog1InitialDir);
  if (s.OpenDialog1InitialDir.empty()) s.OpenDialog1InitialDir = FolderOf(s.SettingsPath);
  s.SaveDialog1InitialDir = ini.ReadString(kOption, "CsvDir", s.SaveDialog1InitialDir);
  if (s.SaveDialog1InitialDir.empty()) s.SaveDialog1InitialDir = s.OpenDialog1InitialDir;

  s.EditTCPport.Text = ini.ReadString(kOption, "TCPport", s.EditTCPport.Text);
  s.ChgIndex = ini.ReadInteger(kOption, "ChgIndex", 1);
  s.ChgPrefix = ini.ReadString(kOption, "ChgPrefix", "BD,GQ,GI");

  window.ApplyLanguage(s);

  SetComboText(s.ComboBoxNMEA, ini.ReadString(kOutput, "NMEAversion", s.ComboBoxNMEA.Text));
  SetComboText(s.ComboBoxNavSt, ini.ReadString(kOutput, "NavStatus", s.ComboBoxNavSt.Text));
  SetComboText(s.ComboBoxHz, ini.ReadString(kOutput, "OutFreq", s.ComboBoxHz.Text));
  for (Sentence t : kKeyOrder) {
    ComboState& c = s.ComboBoxInterval[t];
    SetComboText(c, ini.ReadString(kOutput, std::string(SentenceNames[t]) + "inter", c.Text));
  }
  for (Sentence t : kKeyOrder) {
    CheckState& c = s.CheckBoxSentence[t];
    c.Checked = ini.ReadBool(kOutput, std::string(SentenceNames[t]) + "Out", c.Checked);
  }
  s.CheckBoxRMCprec.Checked = ini.ReadBool(kOutput, "RMCFirst", s.CheckBoxRMCprec.Checked);
  for (int p = 1; p <= PresetCount; ++p)
    SetPresetRadio(s, p, ini.ReadBool(kOutput, Key("GSAGSV", p), s.RadioButtonGSAChecked == p),
                   hooks);

  ComboState& status = s.ComboBoxStatus;
  status.ItemIndex = ini.ReadInteger(kOutput, "Status", 1);
  if (status.ItemIndex < -1 || status.ItemIndex >= static_cast<int>(status.Items.size()))
    status.ItemIndex = -1;
  status.Text = status.ItemIndex >= 0 ? status.Items[status.ItemIndex] : "";

  SetComboText(s.ComboBoxDegDec,
               CheckedDigit(ini.ReadString(kOutput, "DegDecimal", "6"), '1', '8', "6"));
  SetComboText(s.ComboBoxTimeDec,
               CheckedDigit(ini.ReadString(kOutput, "TimeDecimal", "0"), '0', '3', "0"));
  s.TimeDecimals = s.ComboBoxTimeDec.Text[0] - '0';
  s.CheckBoxRep.Checked = ini.ReadBool(kOutput, "Repeat", s.CheckBoxRep.Checked);

  for (int t = 0; t < PrefixSentenceCount; ++t)
    s.TalkerPrefixIndex[t] = ini.ReadInteger(kOutput, std::string(SentenceNames[t]) + "prefix", 1);
  for (int t = 0; t < PrefixSentenceCount; ++t) {
    int& index = s.TalkerPrefixIndex[t];
    if (index < 1 || index > kPrefixButtons[t]) index = 1;
    s.PrefixButtonChecked[t] = index;
    s.TalkerPrefixText[t] = "$" + PrefixCaption(s, t, index);
  }

  TrackTable& grid = s.StringGrid1;
  if (ini.SectionExists(kData)) {
    ReadCellTrack(grid, ini, kData);
    ReadPresets(s, ini, kData);
    ini.EraseSection(kData);
  } else {
    if (ReadDTrack(grid, ini)) {
      ReadCellTrack(grid, ini, kTrack);
      ini.EraseSection(kTrack);
    }
    if (ini.SectionExists(kGsaCsv)) {
      ReadPresets(s, ini, kGsaCsv);
      ini.EraseSection(kGsaCsv);
    } else {
      ReadPresets(s, ini, kGsaGsv);
    }
  }

  if (grid.Cell(1, TrackTable::ColLat).empty()) {
    grid.SetCell(1, TrackTable::ColLat, "35 40 49.448");
    grid.SetCell(1, TrackTable::ColLon, "139 46 8.793");
    grid.SetCell(1, TrackTable::ColAlt, "3");
    grid.SetCell(1, TrackTable::ColSpeed, "30");
    grid.SetCell(2, TrackTable::ColLat, "35 41 0.977");
    grid.SetCell(2, TrackTable::ColLon, "139 46 15.489");
    grid.SetCell(2, TrackTable::ColAlt, "3");
  }
  for (int p = 1; p <= PresetCount; ++p)
    if (s.PresetGsa[p][1].empty() && s.PresetGsv[p][1].empty() && hooks.CopyBuiltInPreset)
      hooks.CopyBuiltInPreset(s, p);

  if (hooks.ResetCurrentSpan) hooks.ResetCurrentSpan();
  window.SelectGridCell(1, TrackTable::ColLat);

  SetComboText(s.ComboBoxGeoid, ini.ReadString(kOutput, "Geoid", "0"));

  std::string port = ini.ReadString(kSerial, "Port", s.ComboBoxPort.Text);
  std::string_view trimmed = TrimBlanks(port);
  // A device path ("/dev/ttyUSB0") is kept as typed; other texts are COM numbers.
  if (AsciiUpper(trimmed).rfind("TCP", 0) != 0 && (trimmed.empty() || trimmed[0] != '/') &&
      hooks.ParseComPortNo) {
    int32_t n = hooks.ParseComPortNo(port);
    port = n >= 1 ? "COM" + std::to_string(n) : "";
  }
  SetComboText(s.ComboBoxPort, port);
  if (hooks.ComboBoxPortChange) hooks.ComboBoxPortChange(s);
  SetComboText(s.ComboBoxBaud, ini.ReadString(kSerial, "Baud", s.ComboBoxBaud.Text));

  // Only 0..2 are units; anything else would stick, so it reads as km/h.
  int32_t unit = ini.ReadInteger(kOption, "SpeedUnit", s.SpeedUnit);
  s.SpeedUnit = unit >= 0 && unit <= 2 ? static_cast<uint8_t>(unit) : 0;

  if (ini.KeyExists(kOption, "Invalid")) {
    ReadDgps(s, ini, kOption);
    for (const char* k : FixQualityKeys) ini.DeleteKey(kOption, k);
  } else {
    ReadDgps(s, ini, kDgps);
  }

  int32_t top = ini.ReadInteger(kOption, "MainTop", NoStoredPosition);
  int32_t left = ini.ReadInteger(kOption, "MainLeft", NoStoredPosition);
  window.PlaceMainWindow(top, left);
  s.MainTop = top;
  s.MainLeft = left;

  // Version texts compare as plain text ("Ver1.18" < "Ver2.00" < "Ver3.00").
  if (fileVersion < s.VersionText) {
    if (fileVersion < "Ver1.18") ini.DeleteKey(kOutput, "TimeWithDec");
    if (fileVersion < "Ver2.00") {
      for (int p = 1; p <= PresetCount; ++p)
        SetPresetRadio(s, p, ini.ReadBool(kOutput, Key("GGAGSV", p), s.RadioButtonGSAChecked == p),
                       hooks);
      for (int p = 1; p <= PresetCount; ++p) ini.DeleteKey(kOutput, Key("GGAGSV", p));
      ini.DeleteKey(kOutput, "GGAFirst");
      ini.DeleteKey(kOutput, "GNGGARMC");
    }
    if (fileVersion < "Ver2.01") ini.DeleteKey(kOutput, "RMCmode");
  }

  window.ShowSpeedUnit(s);
  if (hooks.SelectPreset) hooks.SelectPreset(s);
  if (hooks.UpdateFixIndicators) hooks.UpdateFixIndicators(s);
}

void StoreSettings(const AppState& s, IniFile& ini) {
  ini.WriteString(kOption, "Version", s.VersionText);
  ini.WriteInteger(kOption, "EngCharset", s.EngCharset);
  ini.WriteString(kOption, "EngFontName", s.EngFontName);
  ini.WriteInteger(kOption, "EngFontSize", s.EngFontSize);
  ini.WriteInteger(kOption, "JpCharset", s.JpCharset);
  ini.WriteString(kOption, "JpFontName", s.JpFontName);
  ini.WriteInteger(kOption, "JpFontSize", s.JpFontSize);
  ini.WriteInteger(kOption, "SpeedUnit", s.SpeedUnit);
  ini.WriteInteger(kOption, "TrackMax", s.StringGrid1.TrackMax());
  ini.WriteString(kOption, "TimeDiff", s.TimeDiff);
  ini.WriteString(kOption, "MagVari", s.MagVari);
  ini.WriteString(kOption, "IniDir", s.OpenDialog1InitialDir);
  ini.WriteString(kOption, "CsvDir", s.SaveDialog1InitialDir);
  ini.WriteString(kOption, "TCPport", s.EditTCPport.Text);
  ini.WriteInteger(kOption, "ChgIndex", s.ChgIndex);
  ini.WriteString(kOption, "ChgPrefix", s.ChgPrefix);

  for (size_t q = 0; q < FixQualityKeys.size(); ++q)
    ini.WriteString(kDgps, FixQualityKeys[q], s.DgpsAge[q] + "," + s.DgpsStation[q]);

  ini.WriteInteger(kOption, "MainTop", s.MainTop);
  ini.WriteInteger(kOption, "MainLeft", s.MainLeft);

  ini.WriteString(kSerial, "Port", s.ComboBoxPort.Text);
  ini.WriteString(kSerial, "Baud", s.ComboBoxBaud.Text);

  ini.WriteString(kOutput, "NMEAversion", s.ComboBoxNMEA.Text);
  ini.WriteString(kOutput, "NavStatus", s.ComboBoxNavSt.Text);
  ini.WriteString(kOutput, "OutFreq", s.ComboBoxHz.Text);
  for (Sentence t : kKeyOrder)
    ini.WriteString(kOutput, std::string(SentenceNames[t]) + "inter", s.ComboBoxInterval[t].Text);
  for (Sentence t : kKeyOrder)
    ini.WriteBool(kOutput, std::string(SentenceNames[t]) + "Out", s.CheckBoxSentence[t].Checked);
  ini.WriteBool(kOutput, "RMCFirst", s.CheckBoxRMCprec.Checked);
  for (int p = 1; p <= PresetCount; ++p)
    ini.WriteBool(kOutput, Key("GSAGSV", p), s.RadioButtonGSAChecked == p);
  ini.WriteInteger(kOutput, "Status", s.ComboBoxStatus.ItemIndex);
  ini.WriteString(kOutput, "DegDecimal", s.ComboBoxDegDec.Text);
  ini.WriteString(kOutput, "TimeDecimal", s.ComboBoxTimeDec.Text);
  ini.WriteBool(kOutput, "Repeat", s.CheckBoxRep.Checked);
  for (int t = 0; t < PrefixSentenceCount; ++t)
    ini.WriteInteger(kOutput, std::string(SentenceNames[t]) + "prefix", s.TalkerPrefixIndex[t]);
  ini.WriteString(kOutput, "Geoid", s.ComboBoxGeoid.Text);

  for (int p = 1; p <= PresetCount; ++p) {
    for (int l = 1; l <= PresetGsaLines; ++l)
      ini.WriteString(kGsaGsv, Key("GSA", p, l), s.PresetGsa[p][l]);
    for (int l = 1; l <= PresetGsvLines; ++l)
      ini.WriteString(kGsaGsv, Key("GSV", p, l), s.PresetGsv[p][l]);
  }

  // Rows that are not filled lose their key; D keys beyond TrackMax stay untouched.
  // One pass over the section updates the keys in place; rows without a key follow
  // in row order.
  const TrackTable& grid = s.StringGrid1;
  auto rowText = [&grid](int64_t n) {
    std::string value;
    for (int c = TrackTable::ColLat; c <= TrackTable::ColSpeed; ++c) {
      if (c != TrackTable::ColLat) value.push_back(',');
      value += grid.Cell(n, c);
    }
    return value;
  };
  std::vector<bool> written(static_cast<size_t>(grid.TrackMax()) + 1);
  ini.EditKeyLines(kTrack, [&](std::string_view key, std::string_view, std::string& value) {
    int64_t n = RowOfKey(key, "d", grid.TrackMax());
    if (!n) return IniFile::LineEdit::Keep;
    // A second key of the same row was shadowed by the first; it goes too.
    if (written[n] || !grid.IsFilled(n)) return IniFile::LineEdit::Remove;
    value = rowText(n);
    written[n] = true;
    return IniFile::LineEdit::Replace;
  });
  for (int64_t n = 1; n <= grid.TrackMax(); ++n)
    if (!written[n] && grid.IsFilled(n)) ini.AppendKey(kTrack, "D" + std::to_string(n), rowText(n));
}

FileStatus SaveSettings(const AppState& s) {
  IniFile ini;
  // An existing file we cannot read is left alone rather than replaced by a file
  // that would lose whatever it holds beyond our keys.
  const FileStatus read = ini.Read(s.SettingsPath);
  if (!read.ok() && !read.Missing()) return read;
  StoreSettings(s, ini);
  return ini.Write(s.SettingsPath);
}

void ReportSettingsFile(AppState& s, SettingsWindow& window, const std::string& path,
                        const FileStatus& status) {
  if (status.ok()) return;
  SettingsMessage id = SettingsMessage::SettingsNotSaved;
  std::string arg = path;
  switch (status.fault) {
    case FileFault::ReadOnly:
      id = SettingsMessage::SettingsReadOnly;
      break;
    case FileFault::TooLarge:
      id = SettingsMessage::SettingsTooLarge;
      break;
    case FileFault::LinkLoop:
      id = SettingsMessage::SettingsLinkLoop;
      break;
    default:
      arg += "\r\n" + status.Reason();
      break;
  }
  // Once: the same file keeps failing the same way at every load and save.
  const std::string key = std::to_string(static_cast<int>(status.fault)) + ":" +
                          std::to_string(status.error) + ":" + path;
  if (!s.SettingsFaultsReported.insert(key).second) return;
  window.ShowMessage(id, arg);
}

void ButtonLoadClick(AppState& s, SettingsWindow& window, const SettingsHooks& hooks,
                     const SettingsLocation& where) {
  if (s.ButtonStop.Enabled) return;  // no loading while the output runs
  auto chosen = window.OpenFileDialog({IniFileFilter, s.OpenDialog1InitialDir});
  if (!chosen) return;
  if (!FileExists(*chosen)) {
    window.ShowMessage(SettingsMessage::FileNotFound, *chosen);
    return;
  }
  ReportSettingsFile(s, window, s.SettingsPath, SaveSettings(s));
  std::string path;
  try {
    path = ChooseWritableSettingsPath(*chosen, where);
  } catch (const SettingsLocationError& e) {
    window.ShowMessage(SettingsMessage::SettingsLocation, e.what());
    return;
  }
  s.SettingsPath = path;
  s.OpenDialog1InitialDir = FolderOf(*chosen);
  LoadSettings(s, window, hooks);
  window.UpdateTitle();
}

void FormCloseQuery(AppState& s, SettingsWindow& window) {
  window.CloseOutput();
  ReportSettingsFile(s, window, s.SettingsPath, SaveSettings(s));
}

}  // namespace fixcaster
