// The log file output on real files, and standard output on a real pipe.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "output/ExtraOutput.h"
#include "output/extra_output_support.h"

namespace fixcaster {
namespace {

namespace fs = std::filesystem;
using testing::MakeOutput;
using testing::NumberedTick;
using testing::ReadFd;
using testing::Reports;
using testing::SameBytes;
using testing::SendTicks;
using testing::TempDir;
using testing::WaitDelivered;
using testing::WaitState;
using testing::WaitUntil;
using testing::WholeTicksInOrder;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(FileOutput, AppendsTheExactBytesAndCreatesAMissingFile) {
  TempDir dir;
  const fs::path existing = dir.Path() / "run.nmea";
  std::ofstream(existing, std::ios::binary) << "earlier run\r\n";
  const fs::path fresh = dir.Path() / "new.nmea";
  for (const fs::path& path : {existing, fresh}) {
    const std::string before = fs::exists(path) ? ReadFile(path) : "";
    Reports reports;
    auto out = MakeOutput("file:" + path.string(), reports.Reporter());
    ASSERT_TRUE(out->Open());
    ASSERT_TRUE(WaitState(*out, OutputState::Open));
    std::string sent = SendTicks(*out, 0, 300);
    const std::string odd("\x01\x7f odd bytes \n\r", 15);  // whatever is sent, unchanged
    out->SendTick(odd);
    sent += odd;
    ASSERT_TRUE(WaitDelivered(*out, sent.size()));
    out->Close();
    EXPECT_TRUE(SameBytes(ReadFile(path), before + sent)) << path;
    EXPECT_EQ(reports.Size(), 0u);
  }
}

TEST(FileOutput, AMissingFolderFailsTheOutputWithOneReport) {
  TempDir dir;
  Reports reports;
  const std::string path = (dir.Path() / "no-such-folder" / "run.nmea").string();
  auto out = MakeOutput("file:" + path, reports.Reporter());
  out->Open();
  ASSERT_TRUE(WaitState(*out, OutputState::Failed));
  SendTicks(*out, 0, 10);
  ASSERT_EQ(reports.Size(), 1u);
  EXPECT_EQ(reports.List()[0].id, OutputProblemId::FileOpenFailed);
  EXPECT_EQ(reports.List()[0].arg, path);
  EXPECT_FALSE(fs::exists(dir.Path() / "no-such-folder"));
}

// While the output is open: its folder removed, or the disk full.
TEST(FileOutput, AVanishedFolderOrAFullDiskClosesTheOutputWithOneReport) {
  TempDir dir;
  fs::create_directory(dir.Path() / "logs");
  struct Row {
    std::string path;
    std::function<void()> breakIt;
  };
  const Row rows[] = {
      {(dir.Path() / "logs" / "run.nmea").string(), [&] { fs::remove_all(dir.Path() / "logs"); }},
      {"/dev/full", [] {}},
  };
  for (const Row& r : rows) {
    Reports reports;
    auto out = MakeOutput("file:" + r.path, reports.Reporter());
    ASSERT_TRUE(out->Open());
    ASSERT_TRUE(WaitState(*out, OutputState::Open)) << r.path;
    r.breakIt();
    SendTicks(*out, 0, 10);
    ASSERT_TRUE(WaitState(*out, OutputState::Failed)) << r.path;
    SendTicks(*out, 10, 20);
    EXPECT_EQ(reports.Size(), 1u) << r.path;
    EXPECT_EQ(reports.Count(OutputProblemId::FileWriteFailed), 1u) << r.path;
    EXPECT_EQ(out->Status().waiting, 0u);
  }
  EXPECT_FALSE(fs::exists(dir.Path() / "logs")) << "the folder is not made again";
}

// A log moved away by a rotation goes on in a new file at its path.
TEST(FileOutput, ARotatedLogGoesOnInANewFile) {
  TempDir dir;
  const fs::path path = dir.Path() / "run.nmea";
  Reports reports;
  auto out = MakeOutput("file:" + path.string(), reports.Reporter());
  ASSERT_TRUE(out->Open());
  std::string first = SendTicks(*out, 0, 5);
  ASSERT_TRUE(WaitDelivered(*out, first.size()));
  fs::rename(path, dir.Path() / "run.nmea.1");
  std::string second = SendTicks(*out, 5, 10);
  ASSERT_TRUE(WaitDelivered(*out, first.size() + second.size()));
  out->Close();
  EXPECT_TRUE(SameBytes(ReadFile(dir.Path() / "run.nmea.1"), first));
  EXPECT_TRUE(SameBytes(ReadFile(path), second));
  EXPECT_EQ(reports.Size(), 0u);
}

class Pipe {
 public:
  Pipe() {
    if (pipe2(fds_, O_CLOEXEC) != 0) std::abort();
  }
  ~Pipe() {
    CloseRead();
    close(fds_[1]);
  }
  int Read() const { return fds_[0]; }
  int Write() const { return fds_[1]; }
  void CloseRead() {
    if (fds_[0] >= 0) close(fds_[0]);
    fds_[0] = -1;
  }

 private:
  int fds_[2];
};

// Standard output on a pipe of the test's own.
class StdoutOutput : public ::testing::Test {
 protected:
  OutputOptions Options() {
    OutputOptions o;
    o.stdoutFd = pipe.Write();
    return o;
  }
  Pipe pipe;
  Reports reports;
  std::unique_ptr<ExtraOutput> out = MakeOutput("stdout", reports.Reporter(), Options());
};

TEST_F(StdoutOutput, APipeReaderGetsTheExactBytes) {
  ASSERT_TRUE(out->Open());
  // Queued at once, faster than any output timer: kept within one backlog's worth.
  std::string sent = SendTicks(*out, 0, 300);
  EXPECT_TRUE(SameBytes(ReadFd(pipe.Read(), sent.size(), 5000), sent));
  // The pipe this program was given keeps its blocking writes.
  EXPECT_FALSE(fcntl(pipe.Write(), F_GETFL) & O_NONBLOCK);
}

// A reader that stops: the pipe fills, then the output's backlog, then whole
// ticks are dropped; the tick never waits.
TEST_F(StdoutOutput, AStalledPipeReaderCostsWholeTicksNotABlockedOutput) {
  ASSERT_TRUE(out->Open());
  const int sent = 4000;  // some 500 KB: more than the pipe and the backlog hold
  SendTicks(*out, 0, sent);
  ASSERT_TRUE(WaitUntil([&] { return out->Status().drops > 0; }, 5000));
  EXPECT_LE(out->Status().waiting, 64u * 1024);

  std::string got;
  ASSERT_TRUE(WaitUntil(
      [&] {
        got += ReadFd(pipe.Read(), 1 << 30, 10000, 50);
        return out->Status().waiting == 0;
      },
      10000));
  got += ReadFd(pipe.Read(), 1 << 30, 10000, 100);
  std::vector<int> ticks;
  ASSERT_TRUE(WholeTicksInOrder(got, 4, &ticks));
  EXPECT_EQ(ticks.back(), sent - 1);
  EXPECT_EQ(ticks.size() + out->Status().drops, static_cast<size_t>(sent));
}

// The reader goes away: the output closes with one report, and the process lives
// on (the write's SIGPIPE would otherwise end it, test and all).
TEST_F(StdoutOutput, AClosedPipeClosesTheOutputAndDoesNotKillTheProcess) {
  ASSERT_TRUE(out->Open());
  pipe.CloseRead();
  SendTicks(*out, 0, 10);
  ASSERT_TRUE(WaitState(*out, OutputState::Failed));
  SendTicks(*out, 10, 20);
  ASSERT_EQ(reports.Size(), 1u);
  EXPECT_EQ(reports.List()[0].id, OutputProblemId::StdoutClosed);
}

}  // namespace
}  // namespace fixcaster
