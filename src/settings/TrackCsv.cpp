#include "settings/TrackCsv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "settings/TrackGpx.h"

namespace fixcaster {

namespace {

const std::string kEmpty;

// Each category's names between commas; a field matches when ",field," occurs.
constexpr std::string_view kLatNames = ",LATITUDE,LAT,LATITUDE N/S,LATITUDE(DEG),";
constexpr std::string_view kNsNames = ",N/S,NS,";
constexpr std::string_view kLonNames = ",LONGITUDE,LON,LONG,LONGITUDE E/W,LONGITUDE(DEG),";
constexpr std::string_view kEwNames = ",E/W,EW,";
constexpr std::string_view kAltNames = ",HEIGHT,ELEVATION,ALTITUDE,ALT,HEIGHT(M),";
constexpr std::string_view kSpeedNames = ",SPEED,GROUND SPEED,";

// Empty header fields (a trailing comma, ",,") name no column.
bool Matches(const std::string& field, std::string_view names) {
  if (field.empty()) return false;
  std::string framed;
  framed.reserve(field.size() + 2);
  framed.push_back(',');
  framed += field;
  framed.push_back(',');
  return names.find(framed) != std::string_view::npos;
}

// No blank stays next to a comma.
std::string SqueezeBlanksAtCommas(std::string_view line) {
  std::string out;
  out.reserve(line.size());
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == ',') {
      while (!out.empty() && out.back() == ' ') out.pop_back();
      out.push_back(',');
      while (i + 1 < line.size() && line[i + 1] == ' ') ++i;
    } else {
      out.push_back(line[i]);
    }
  }
  return out;
}

std::string_view StripTrailingNonNumericView(std::string_view t) {
  while (!t.empty() && !((t.back() >= '0' && t.back() <= '9') || t.back() == '.'))
    t.remove_suffix(1);
  return t;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

CsvReader::~CsvReader() {
  Close();
}

void CsvReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  memory_ = false;
  mem_.clear();
}

bool CsvReader::Open(const std::string& path) {
  Close();
  // Never blocks (a FIFO would wait for a writer) and reads regular files only.
  FileStatus status;
  fd_ = OpenRegularFile(path, &status);
  if (fd_ < 0) return false;
  Rewind();
  return true;
}

void CsvReader::OpenMemory(std::string data) {
  Close();
  memory_ = true;
  mem_ = std::move(data);
  Rewind();
}

void CsvReader::Rewind() {
  if (fd_ >= 0) ::lseek(fd_, 0, SEEK_SET);
  memPos_ = 0;
  fill_ = pos_ = 0;
  prev_ = 0;
  eof_ = false;
}

bool CsvReader::Fill() {
  pos_ = 0;
  fill_ = 0;
  if (memory_) {
    size_t n = std::min(BlockSize, mem_.size() - memPos_);
    std::memcpy(buf_.data(), mem_.data() + memPos_, n);
    memPos_ += n;
    fill_ = n;
  } else if (fd_ >= 0) {
    ssize_t n;
    do n = ::read(fd_, buf_.data(), BlockSize);
    while (n < 0 && errno == EINTR);
    fill_ = n > 0 ? static_cast<size_t>(n) : 0;
  }
  return fill_ > 0;
}

std::string CsvReader::ReadLine() {
  std::string line;
  ReadLineInto(line);
  return line;
}

void CsvReader::ReadLineInto(std::string& line) {
  line.clear();
  for (;;) {
    if (pos_ == fill_ && !Fill()) {
      eof_ = true;
      return;
    }
    // Printable runs, nearly all of a track file, are appended whole.
    size_t run = pos_;
    while (run < fill_ && buf_[run] >= 0x20 && buf_[run] <= 0x7E) ++run;
    if (run > pos_) {
      line.append(reinterpret_cast<const char*>(buf_.data()) + pos_, run - pos_);
      prev_ = buf_[run - 1];
      pos_ = run;
      continue;
    }
    unsigned char b = buf_[pos_++];
    if (b == '\r' || b == '\n') {
      unsigned char other = b == '\r' ? '\n' : '\r';
      bool ends = !line.empty() && prev_ != other;
      prev_ = b;
      if (ends) return;
      continue;
    }
    prev_ = b;
    if (b >= 0x20 && b <= 0x7E) line.push_back(static_cast<char>(b));
  }
}

int CsvReader::Split(std::string_view line) {
  count_ = 0;
  if (line.empty()) return 0;
  while (count_ < MaxFields - 1) {
    size_t comma = line.find(',');
    if (comma == std::string_view::npos) break;
    fields_[count_++].assign(TrimBlanks(line.substr(0, comma)));
    line = line.substr(comma + 1);
  }
  fields_[count_++].assign(TrimBlanks(line));
  return count_;
}

const std::string& CsvReader::Field(int n) const {
  return n >= 1 && n <= count_ ? fields_[n - 1] : kEmpty;
}

void CsvReader::UseFixedOrder() {
  LatCol = 1, LonCol = 2, AltCol = 3, SpeedCol = 4, NsCol = 0, EwCol = 0;
}

bool CsvReader::FindHeader() {
  for (int attempt = 0; attempt < HeaderSearchLines && !eof_; ++attempt) {
    std::string line = ReadLine();
    while (TrimBlanks(line).empty() && !eof_) line = ReadLine();
    if (!line.empty() && line[0] == '%') line.erase(0, 1);
    line = SqueezeBlanksAtCommas(AsciiUpper(TrimBlanks(line)));
    Split(line);
    LatCol = NsCol = LonCol = EwCol = AltCol = SpeedCol = 0;
    for (int n = 1; n <= count_; ++n) {
      const std::string& f = fields_[n - 1];
      if (Matches(f, kLatNames)) LatCol = n;
      if (Matches(f, kNsNames)) NsCol = n;
      if (Matches(f, kLonNames)) LonCol = n;
      if (Matches(f, kEwNames)) EwCol = n;
      if (Matches(f, kAltNames)) AltCol = n;
      if (Matches(f, kSpeedNames)) SpeedCol = n;
    }
    if (LatCol && LonCol) return true;
  }
  return false;
}

bool CsvReader::ReadRecord(TrackTable::Row& r) {
  if (eof_) return false;
  for (std::string& t : r) t.clear();
  ReadLineInto(line_);
  while (TrimBlanks(line_).empty() && !eof_) ReadLineInto(line_);
  // A last line without a line break still counts; a blank one does not.
  if (TrimBlanks(line_).empty()) return false;
  Split(line_);
  // Cells are assigned in place, so the record's buffers are reused row after row.
  if (LatCol) {
    r[0] = Field(LatCol);
    if (!r[0].empty() && NsCol) r[0].append(" ").append(Field(NsCol));
  }
  if (LonCol) {
    r[1] = Field(LonCol);
    if (!r[1].empty() && EwCol) r[1].append(" ").append(Field(EwCol));
  }
  if (AltCol) r[2] = StripTrailingNonNumericView(Field(AltCol));
  if (SpeedCol) r[3] = StripTrailingNonNumericView(Field(SpeedCol));
  return true;
}

std::string StripTrailingNonNumeric(std::string_view t) {
  return std::string(StripTrailingNonNumericView(t));
}

int64_t ReadTrackRecords(CsvReader& reader, TrackTable& grid) {
  if (!reader.FindHeader()) {
    reader.UseFixedOrder();
    reader.Rewind();
  }
  // Every cell of the table ends up empty or holding a record. The records
  // overwrite rows 1..n in place and the rest is cleared after, so a new track
  // reuses the rows of the old one instead of freeing and growing them again.
  TrackTable::Row rec;
  int64_t row = 1;
  while (row <= grid.TrackMax() && reader.ReadRecord(rec)) {
    for (int c = 0; c < 4; ++c) grid.SetCell(row, TrackTable::ColLat + c, rec[c]);
    ++row;
  }
  grid.ClearFrom(row);
  return row - 1;
}

bool LoadTrackCsv(AppState& s, const std::string& path, SettingsWindow& window,
                  const SettingsHooks& hooks) {
  CsvReader reader;
  if (!reader.Open(path)) {
    window.ShowMessage(SettingsMessage::FileNotFound, path);
    return false;
  }
  s.LabelIni = FileNameOf(path);
  ReadTrackRecords(reader, s.StringGrid1);
  if (hooks.PrepareRoute) hooks.PrepareRoute(s);
  window.SelectGridCell(1, TrackTable::ColLat);
  return true;
}

void ButtonLoadCSVClick(AppState& s, SettingsWindow& window, const SettingsHooks& hooks) {
  if (s.ButtonStop.Enabled) return;  // no loading while the output runs
  // The dialog opens in the CSV folder; the settings folder (IniDir) is not touched.
  auto chosen = window.OpenFileDialog({CsvFileFilter, s.SaveDialog1InitialDir});
  if (!chosen) return;
  if (!IsRegularFile(*chosen)) {
    window.ShowMessage(SettingsMessage::FileNotFound, *chosen);
    return;
  }
  s.SaveDialog1InitialDir = FolderOf(*chosen);
  LoadTrackFile(s, *chosen, {}, window, hooks);
}

std::string TrackCsvText(const TrackTable& grid, int64_t lastPoint) {
  std::string out = "Latitude,Longitude,Altitude,Speed\r\n";
  lastPoint = std::min<int64_t>(lastPoint, grid.TrackMax());
  for (int64_t n = 1; n <= lastPoint; ++n) {
    for (int c = TrackTable::ColLat; c <= TrackTable::ColSpeed; ++c) {
      if (c != TrackTable::ColLat) out.push_back(',');
      out += grid.Cell(n, c);
    }
    out += "\r\n";
  }
  return out;
}

bool SaveTrackCsv(AppState& s, SettingsWindow& window, int64_t lastPoint) {
  auto chosen = window.SaveFileDialog({CsvFileFilter, s.SaveDialog1InitialDir});
  if (!chosen) return false;
  std::string path = *chosen;
  std::string name = FileNameOf(path);
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot + 1 == name.size()) path += ".csv";
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 &&
      !window.AskYesNo(SettingsMessage::FileExistsOverwrite, path))
    return false;
  s.SaveDialog1InitialDir = FolderOf(path);
  // Written to a temporary file and renamed, so a failed export never leaves a
  // truncated track behind.
  // A name ending in ".gpx" is written as GPX.
  int64_t skipped = 0;
  if (!WriteFileAtomically(path, TrackFileText(path, s.StringGrid1, lastPoint, skipped))) {
    window.ShowMessage(SettingsMessage::FileNotCreated, "");
    return false;
  }
  if (skipped > 0)
    window.ShowTrackFileMessage(TrackFileMessage::RowsNotWritten, {std::to_string(skipped)});
  if (s.OpenDialog1InitialDir.empty()) s.OpenDialog1InitialDir = s.SaveDialog1InitialDir;
  return true;
}

}  // namespace fixcaster
