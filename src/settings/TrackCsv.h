#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "settings/SettingsHost.h"
#include "state/AppState.h"

namespace fixcaster {

// Reads a track CSV file the lenient way: bytes 0x20..0x7E are kept, CR and LF end
// non-empty lines, every other byte is dropped; lines split into at most 25 trimmed
// fields; a header naming the columns is looked for in the first 35 non-blank lines.
class CsvReader {
 public:
  static constexpr int MaxFields = 25;
  static constexpr int HeaderSearchLines = 35;
  static constexpr size_t BlockSize = 32768;

  CsvReader() = default;
  CsvReader(const CsvReader&) = delete;
  CsvReader& operator=(const CsvReader&) = delete;
  ~CsvReader();

  // OpenCsvReader: false when the file cannot be opened.
  bool Open(const std::string& path);
  // The same reader over bytes in memory (the fuzzer and tests).
  void OpenMemory(std::string data);
  void Close();
  // RewindCsvReader: back to the first byte.
  void Rewind();

  // ReadCsvLine: the next non-empty line; at the end of the data the end-of-file
  // flag is set and what was collected (possibly a last line without a line break)
  // is returned.
  std::string ReadLine();
  bool Eof() const { return eof_; }

  // SplitCsvFields: fills the fields; 0 for an empty line.
  int Split(std::string_view line);
  // Field n (1-based); empty beyond the line's fields.
  const std::string& Field(int n) const;
  int FieldCount() const { return count_; }

  // FindCsvHeader: true when a line naming a latitude and a longitude column was
  // found; the column numbers are then set and data starts after that line.
  bool FindHeader();
  // Latitude 1, longitude 2, altitude 3, speed 4, no hemisphere columns.
  void UseFixedOrder();

  // ReadCsvRecord: the next data record (latitude, longitude, altitude, speed).
  // False when no non-blank line was left.
  bool ReadRecord(TrackTable::Row& record);

  int LatCol = 0, NsCol = 0, LonCol = 0, EwCol = 0, AltCol = 0, SpeedCol = 0;

 private:
  bool Fill();
  void ReadLineInto(std::string& line);

  int fd_ = -1;
  bool memory_ = false;
  std::string mem_;
  size_t memPos_ = 0;
  std::array<unsigned char, BlockSize> buf_{};
  size_t fill_ = 0, pos_ = 0;
  unsigned char prev_ = 0;
  bool eof_ = false;
  std::string line_;  // the current line, its buffer reused
  std::array<std::string, MaxFields> fields_;
  int count_ = 0;
};

// Removes characters from the end while the last one is not a digit or ".".
std::string StripTrailingNonNumeric(std::string_view text);

// Empties the table's data rows and fills them from the reader's records (header
// search or fixed order), at most TrackMax rows. Returns the rows written.
int64_t ReadTrackRecords(CsvReader& reader, TrackTable& grid);

// Replaces the table with the records of the file, then prepares the route. A file
// that cannot be opened gives FileNotFound and leaves the table as it was.
bool LoadTrackCsv(AppState& state, const std::string& path, SettingsWindow& window,
                  const SettingsHooks& hooks);
// "Load CSV": asks for a file in the CSV folder and imports it (a ".gpx" file as GPX).
void ButtonLoadCSVClick(AppState& state, SettingsWindow& window, const SettingsHooks& hooks);

// The export text: header, then rows 1..lastPoint, CR LF after every line.
std::string TrackCsvText(const TrackTable& grid, int64_t lastPoint);
// "Save CSV": asks for a file (".csv" added to a name without extension), asks
// before replacing one, writes rows 1..lastPoint (as GPX when the name ends in
// ".gpx"). Returns true when written.
bool SaveTrackCsv(AppState& state, SettingsWindow& window, int64_t lastPoint);

}  // namespace fixcaster
