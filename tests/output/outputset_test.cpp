// The set of extra outputs: every output gets the same bytes in the same order,
// one failing output does not disturb the others, problems reach the owner's
// thread once.

#include "output/OutputSet.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "output/extra_output_support.h"

namespace fixcaster {
namespace {

namespace fs = std::filesystem;
using testing::ChannelPoster;
using testing::NumberedTick;
using testing::ReadFd;
using testing::SameBytes;
using testing::SerialReader;
using testing::TcpListener;
using testing::TempDir;
using testing::UdpReceiver;
using testing::WaitUntil;

struct Delivered {
  int id;
  std::string spec;
  OutputProblem problem;
  std::thread::id thread;
};

class OutputSetTest : public ::testing::Test {
 protected:
  OutputSet::ProblemHandler Handler() {
    return [this](int id, const std::string& spec, const OutputProblem& p) {
      delivered.push_back({id, spec, p, std::this_thread::get_id()});
    };
  }
  int AddOk(OutputSet& set, const std::string& spec) {
    OutputSet::Added a = set.Add(spec);
    EXPECT_GE(a.id, 0) << spec << ": " << (a.problem ? ProblemText(*a.problem) : "");
    return a.id;
  }
  OutputStatus StatusOf(const OutputSet& set, int id) {
    for (const OutputSet::Entry& e : set.Status())
      if (e.id == id) return e.status;
    ADD_FAILURE() << "no output " << id;
    return {};
  }

  ChannelPoster poster;
  std::vector<Delivered> delivered;  // the test thread only: it pumps the poster
  TempDir dir;
};

TEST_F(OutputSetTest, EveryOutputReceivesTheSameBytesInTheSameOrder) {
  int pipeFds[2];
  ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
  OutputOptions options;
  options.stdoutFd = pipeFds[1];
  OutputSet set(&poster, Handler(), options);

  const std::string link = (dir.Path() / "gps0").string();
  const fs::path log = dir.Path() / "run.nmea";
  UdpReceiver udp;
  TcpListener server;
  ASSERT_TRUE(udp.Bound() && server.Ok());
  AddOk(set, "pty:" + link);
  AddOk(set, "udp:127.0.0.1:" + std::to_string(udp.Port()));
  int fileId = AddOk(set, "file:" + log.string());
  AddOk(set, "stdout");
  AddOk(set, "tcpclient:127.0.0.1:" + std::to_string(server.Port()));
  ASSERT_EQ(set.Size(), 5u);
  SerialReader reader(link);
  ASSERT_TRUE(reader.IsOpen());
  int conn = server.Accept(5000);
  ASSERT_GE(conn, 0);
  ASSERT_TRUE(WaitUntil(
      [&] {
        for (const OutputSet::Entry& e : set.Status())
          if (e.status.state != OutputState::Open) return false;
        return true;
      },
      5000));
  EXPECT_TRUE(set.AnyOpen());

  // Queued at once, faster than any output timer: kept within one backlog's worth.
  std::string expected;
  for (int i = 0; i < 60; ++i) {
    std::string tick = NumberedTick(i, 1 + i % 30);
    set.SendTick(tick);
    expected += tick;
  }
  EXPECT_TRUE(SameBytes(reader.Read(expected.size(), 5000), expected)) << "pty";
  std::string datagrams;
  for (const std::string& d : udp.Receive(expected.size(), 3000)) datagrams += d;
  EXPECT_TRUE(SameBytes(datagrams, expected)) << "udp";
  EXPECT_TRUE(SameBytes(ReadFd(pipeFds[0], expected.size(), 5000), expected)) << "stdout";
  EXPECT_TRUE(SameBytes(ReadFd(conn, expected.size(), 5000), expected)) << "tcpclient";
  ASSERT_TRUE(WaitUntil([&] { return StatusOf(set, fileId).bytes == expected.size(); }, 5000));
  set.Clear();
  std::ifstream in(log, std::ios::binary);
  std::stringstream file;
  file << in.rdbuf();
  EXPECT_TRUE(SameBytes(file.str(), expected)) << "file";

  EXPECT_EQ(set.Size(), 0u);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link))) << "closing removes the link";
  poster.RunFor(50);
  EXPECT_TRUE(delivered.empty());
  close(pipeFds[0]);
  close(pipeFds[1]);
}

TEST_F(OutputSetTest, AFailingOutputIsReportedOnceOnTheOwnersThreadAndTheOthersGoOn) {
  OutputSet set(&poster, Handler());
  UdpReceiver udp;
  const fs::path taken = dir.Path() / "taken";
  std::ofstream(taken) << "someone's file";
  const std::string logFolder = (dir.Path() / "logs").string();
  fs::create_directory(logFolder);

  int bad = AddOk(set, "pty:" + taken.string());  // fails at once
  int good = AddOk(set, "udp:127.0.0.1:" + std::to_string(udp.Port()));
  int log = AddOk(set, "file:" + logFolder + "/run.nmea");  // fails once its folder goes
  EXPECT_EQ(StatusOf(set, bad).state, OutputState::Failed);
  ASSERT_TRUE(WaitUntil([&] { return StatusOf(set, log).state == OutputState::Open; }, 5000));
  fs::remove_all(logFolder);

  std::string expected;
  for (int i = 0; i < 20; ++i) {
    std::string tick = NumberedTick(i);
    set.SendTick(tick);
    expected += tick;
  }
  std::string datagrams;
  for (const std::string& d : udp.Receive(expected.size(), 3000)) datagrams += d;
  EXPECT_TRUE(SameBytes(datagrams, expected));

  ASSERT_TRUE(poster.RunUntil([&] { return delivered.size() >= 2; }, 5000));
  poster.RunFor(50);
  ASSERT_EQ(delivered.size(), 2u);
  EXPECT_EQ(delivered[0].id, bad);
  EXPECT_EQ(delivered[0].spec, "pty:" + taken.string());
  EXPECT_EQ(delivered[0].problem.id, OutputProblemId::LinkTaken);
  EXPECT_EQ(delivered[1].id, log);
  EXPECT_EQ(delivered[1].problem.id, OutputProblemId::FileWriteFailed);
  for (const Delivered& d : delivered) EXPECT_EQ(d.thread, std::this_thread::get_id());
  EXPECT_EQ(StatusOf(set, log).state, OutputState::Failed);
  EXPECT_EQ(StatusOf(set, good).state, OutputState::Open);
  EXPECT_TRUE(set.AnyOpen());

  // Removing the working one leaves nothing open.
  EXPECT_TRUE(set.Remove(good));
  EXPECT_FALSE(set.Remove(good));
  EXPECT_FALSE(set.AnyOpen());
  EXPECT_EQ(set.Size(), 2u);
}

TEST_F(OutputSetTest, ABadSpecOrAnUnavailableKindAddsNothing) {
  OutputSet set(&poster, Handler());
  OutputSet::Added a = set.Add("udp:host:99999");
  EXPECT_EQ(a.id, -1);
  ASSERT_TRUE(a.problem);
  EXPECT_EQ(a.problem->id, OutputProblemId::SpecBadPort);
  // The extra TCP server is built by whoever owns the TCP servers.
  a = set.Add("tcp:0");
  EXPECT_EQ(a.id, -1);
  ASSERT_TRUE(a.problem);
  EXPECT_EQ(a.problem->id, OutputProblemId::KindNotAvailable);
  EXPECT_EQ(a.problem->arg, "tcp");
  EXPECT_EQ(set.Size(), 0u);
  EXPECT_FALSE(set.AnyOpen());
}

TEST_F(OutputSetTest, AProblemOfAnOutputRemovedMeanwhileIsNotDelivered) {
  OutputSet set(&poster, Handler());
  const fs::path taken = dir.Path() / "taken";
  std::ofstream(taken) << "x";
  int id = AddOk(set, "pty:" + taken.string());  // its report is now queued
  EXPECT_TRUE(set.Remove(id));
  poster.RunFor(50);
  EXPECT_TRUE(delivered.empty());
}

}  // namespace
}  // namespace fixcaster
