#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "nmea/Almanac.h"
#include "output/channel_support.h"

namespace fixcaster {
namespace {

// The almanac file the user names: read whole, in either format, refused when it
// cannot be read or is far too large to be one.
TEST(AlmanacFile, ReadFromDisk) {
  testing::TempDir dir;
  const std::string path = (dir.Path() / "current.alm").string();
  {
    std::ofstream out(path, std::ios::binary);
    // A byte-order mark some editors write, then a SEM almanac of two satellites.
    out << "\xEF\xBB\xBF"
        << "2 TWO.ALM\n253 405504\n"
        << "1 63 0 1.2E-02 8.4E-03 -2.4E-09 5153.6 -0.35 0.29 -0.76 -4.8E-05 -7.2E-12 0 11\n"
        << "3 69 0 4.0E-03 1.5E-02 -2.5E-09 5153.6 0.29 0.21 0.37 5.3E-05 0 0 11\n";
  }
  const AlmanacResult ok = LoadAlmanacFile(path);
  ASSERT_TRUE(ok.Ok()) << AlmanacErrorMessage(ok.Error);
  EXPECT_EQ(ok.Value.Records.size(), 2u);

  const std::string none = (dir.Path() / "none.alm").string();
  const AlmanacResult missing = LoadAlmanacFile(none);
  EXPECT_EQ(missing.Error.Code, AlmanacErrorCode::Unreadable);
  EXPECT_EQ(AlmanacErrorMessage(missing.Error), "cannot read the almanac file \"" + none + "\"");
  EXPECT_EQ(LoadAlmanacFile(dir.Path().string()).Error.Code, AlmanacErrorCode::Unreadable);

  const std::string big = (dir.Path() / "big.alm").string();
  {
    std::ofstream out(big, std::ios::binary);
    out << std::string((1 << 20) + 1, '\n');
  }
  EXPECT_EQ(LoadAlmanacFile(big).Error.Code, AlmanacErrorCode::TooLarge);
}

}  // namespace
}  // namespace fixcaster
