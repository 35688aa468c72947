// The pty output read through its link as a serial consumer reads a device.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "output/ExtraOutput.h"
#include "output/extra_output_support.h"

namespace fixcaster {
namespace {

namespace fs = std::filesystem;
using testing::NumberedTick;
using testing::PtyPair;
using testing::Reports;
using testing::SameBytes;
using testing::SerialReader;
using testing::TempDir;
using testing::WaitState;
using testing::WaitUntil;
using testing::WholeTicksInOrder;

std::string LinkTarget(const std::string& link) {
  char buf[PATH_MAX];
  ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, static_cast<size_t>(n)) : "";
}

class PtyOutputTest : public ::testing::Test {
 protected:
  std::unique_ptr<ExtraOutput> Make(const std::string& link) {
    return testing::MakeOutput("pty:" + link, reports.Reporter());
  }
  std::string Link() const { return (dir.Path() / "gps0").string(); }

  TempDir dir;
  Reports reports;
};

TEST_F(PtyOutputTest, AReaderOfTheLinkGetsEveryByteUnchanged) {
  // The link's folder does not exist yet: it is made, private.
  const std::string link = (dir.Path() / "run" / "fixcaster" / "gps0").string();
  auto out = Make(link);
  ASSERT_TRUE(out->Open()) << reports.Size() << " problems";
  OutputStatus s = out->Status();
  EXPECT_EQ(s.state, OutputState::Open);
  EXPECT_EQ(LinkTarget(link), s.device);
  EXPECT_EQ(fs::status(dir.Path() / "run" / "fixcaster").permissions() & fs::perms::all,
            fs::perms::owner_all);

  SerialReader reader(link);
  ASSERT_TRUE(reader.IsOpen());
  std::string expected;
  for (int i = 0; i < 200; ++i) {
    std::string tick = NumberedTick(i);
    out->SendTick(tick);
    expected += tick;
  }
  // CR LF arrive as sent: the terminal side is raw.
  EXPECT_TRUE(SameBytes(reader.Read(expected.size(), 5000), expected));
  EXPECT_TRUE(WaitUntil([&] { return out->Status().clients == 1; }, 5000));
  EXPECT_EQ(reports.Size(), 0u);
}

TEST_F(PtyOutputTest, ReadersMayOpenAndCloseTheDeviceAgainAndAgain) {
  auto out = Make(Link());
  ASSERT_TRUE(out->Open());
  for (int round = 0; round < 4; ++round) {
    SerialReader reader(Link());
    ASSERT_TRUE(reader.IsOpen()) << "round " << round;
    std::string tick = NumberedTick(round);
    out->SendTick(tick);
    EXPECT_TRUE(SameBytes(reader.Read(tick.size(), 5000), tick)) << "round " << round;
    reader.Close();
  }
  EXPECT_EQ(out->Status().state, OutputState::Open);
  EXPECT_EQ(out->Status().drops, 0u);
}

// With nobody holding the device open, nothing blocks and at most the limit of
// the newest whole ticks waits; the next reader gets them in order, then the rest.
TEST_F(PtyOutputTest, WithoutAReaderTheNewestWholeTicksWaitWithinTheLimit) {
  auto out = Make(Link());
  ASSERT_TRUE(out->Open());
  const int sent = 2000;  // some 250 KB
  for (int i = 0; i < sent; ++i) out->SendTick(NumberedTick(i));
  OutputStatus s = out->Status();
  EXPECT_LE(s.waiting, 64u * 1024);
  EXPECT_GT(s.waiting, 60u * 1024) << "the limit is used, not emptied";
  EXPECT_GT(s.drops, 0u);
  EXPECT_EQ(s.bytes, 0u);

  SerialReader reader(Link());
  out->SendTick(NumberedTick(sent));  // the next tick finds the reader
  std::string got = reader.Drain();
  std::vector<int> ticks;
  ASSERT_TRUE(WholeTicksInOrder(got, 4, &ticks)) << got.substr(0, 200);
  ASSERT_FALSE(ticks.empty());
  EXPECT_EQ(ticks.back(), sent);
  // Exactly the oldest ticks were dropped, and each one counted.
  EXPECT_EQ(static_cast<uint64_t>(ticks.front()), out->Status().drops);
  EXPECT_EQ(ticks.size() + out->Status().drops, static_cast<size_t>(sent + 1));
}

// A reader that holds the device but stops reading: the kernel's buffer fills,
// then the output's own backlog, then whole ticks are dropped; nothing blocks and
// nothing is torn.
TEST_F(PtyOutputTest, AStalledReaderCostsWholeTicksNotABlockedOutput) {
  auto out = Make(Link());
  ASSERT_TRUE(out->Open());
  SerialReader reader(Link());
  const int sent = 4000;  // some 500 KB, more than any terminal buffers
  for (int i = 0; i < sent; ++i) out->SendTick(NumberedTick(i));
  ASSERT_TRUE(WaitUntil([&] { return out->Status().drops > 0; }, 5000));
  EXPECT_LE(out->Status().waiting, 64u * 1024);

  std::string got;
  ASSERT_TRUE(WaitUntil(
      [&] {
        got += reader.Drain(50);
        return out->Status().waiting == 0;
      },
      10000));
  got += reader.Drain(100);
  std::vector<int> ticks;
  ASSERT_TRUE(WholeTicksInOrder(got, 4, &ticks));
  EXPECT_EQ(ticks.back(), sent - 1);
  EXPECT_EQ(ticks.size() + out->Status().drops, static_cast<size_t>(sent));
  EXPECT_EQ(out->Status().bytes, got.size());
}

TEST_F(PtyOutputTest, APathThatIsNotAStaleLinkOfOursIsRefusedAndLeftAlone) {
  PtyPair other;  // a terminal that exists, as another program's link names it
  const fs::path file = dir.Path() / "file";
  std::ofstream(file) << "keep";
  struct Row {
    const char* name;
    std::string target;  // of the link; empty: a plain file
  };
  const Row rows[] = {
      {"plain-file", ""},
      {"link-to-a-file", file.string()},
      {"link-to-a-live-terminal", other.Path()},
      {"link-to-a-missing-file", (dir.Path() / "nothing").string()},
  };
  for (const Row& r : rows) {
    const fs::path path = dir.Path() / r.name;
    if (r.target.empty()) {
      fs::copy_file(file, path);
    } else {
      fs::create_symlink(r.target, path);
    }
    Reports own;
    auto out = MakeExtraOutput(*ParseOutputSpec("pty:" + path.string()).spec, own.Reporter());
    EXPECT_FALSE(out->Open()) << r.name;
    EXPECT_EQ(out->Status().state, OutputState::Failed) << r.name;
    ASSERT_EQ(own.Size(), 1u) << r.name;
    EXPECT_EQ(own.List()[0].id, OutputProblemId::LinkTaken) << r.name;
    ASSERT_TRUE(out->Status().lastError) << r.name;
    out->Close();
    if (r.target.empty()) {
      EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path))) << r.name;
    } else {
      EXPECT_EQ(LinkTarget(path.string()), r.target) << r.name;
    }
  }
  // A directory in the way.
  fs::create_directory(dir.Path() / "folder");
  auto out = Make((dir.Path() / "folder").string());
  EXPECT_FALSE(out->Open());
  EXPECT_EQ(reports.Count(OutputProblemId::LinkTaken), 1u);
}

TEST_F(PtyOutputTest, AStaleLinkIsReplacedAndTheLinkGoesWithClose) {
  fs::create_symlink("/dev/pts/999999", Link());  // a terminal long gone
  auto out = Make(Link());
  ASSERT_TRUE(out->Open());
  EXPECT_EQ(LinkTarget(Link()), out->Status().device);
  out->Close();
  EXPECT_FALSE(fs::exists(fs::symlink_status(Link())));

  // A link someone else put in its place meanwhile is theirs and stays.
  ASSERT_TRUE(out->Open());
  fs::remove(Link());
  fs::create_symlink("/dev/null", Link());
  out->Close();
  EXPECT_EQ(LinkTarget(Link()), "/dev/null");
}

TEST_F(PtyOutputTest, AFolderOfAnotherUserIsRefused) {
  const fs::path foreign = dir.Path() / "foreign";
  fs::create_directory(foreign);
  if (chown(foreign.c_str(), 4242, 4242) != 0)
    GTEST_SKIP() << "cannot give a folder to another user here (not root)";
  auto out = Make((foreign / "gps0").string());
  EXPECT_FALSE(out->Open());
  EXPECT_EQ(reports.Count(OutputProblemId::LinkFolderForeign), 1u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(foreign / "gps0")));
}

}  // namespace
}  // namespace fixcaster
