// libFuzzer target: the track CSV reader on any bytes.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/TrackCsv.h"
#include "track/TrackTable.h"

using namespace fixcaster;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CsvReader reader;
  reader.OpenMemory(std::string(reinterpret_cast<const char*>(data), size));
  TrackTable grid(200);
  int64_t rows = ReadTrackRecords(reader, grid);
  if (rows < 0 || rows > grid.TrackMax()) std::abort();
  // Only printable ASCII survives the byte filter, and no cell ever holds more
  // text than the input had (plus the blank before a hemisphere).
  for (int64_t n = 1; n <= rows; ++n) {
    for (int c = 1; c <= 4; ++c) {
      const std::string& cell = grid.Cell(n, c);
      if (cell.size() > size + 1) std::abort();
      for (unsigned char ch : cell)
        if (ch < 0x20 || ch > 0x7E) std::abort();
    }
  }
  for (int64_t n = rows + 1; n <= grid.TrackMax(); ++n)
    for (int c = 1; c <= 4; ++c)
      if (!grid.Cell(n, c).empty()) std::abort();
  return 0;
}
