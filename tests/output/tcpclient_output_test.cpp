// The TCP client output against a loopback server that is not there at first,
// and one that drops it.

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "output/ExtraOutput.h"
#include "output/extra_output_support.h"

namespace fixcaster {
namespace {

using testing::MakeOutput;
using testing::NumberedTick;
using testing::ReadFd;
using testing::Reports;
using testing::SameBytes;
using testing::SendTicks;
using testing::TcpListener;
using testing::UnusedPort;
using testing::WaitState;
using testing::WaitUntil;
using testing::WholeTicksInOrder;

// A short back-off, so that the test sees many attempts without waiting seconds.
OutputOptions FastRetry() {
  OutputOptions o;
  o.reconnectFirstMs = 5;
  o.reconnectMaxMs = 40;
  return o;
}

std::unique_ptr<ExtraOutput> Make(uint16_t port, Reports& reports) {
  return MakeOutput("tcpclient:127.0.0.1:" + std::to_string(port), reports.Reporter(), FastRetry());
}

TEST(TcpClientOutput, ARefusingServerIsReportedOnceAndGetsTheTicksOnceItListens) {
  const uint16_t port = UnusedPort(SOCK_STREAM);
  Reports reports;
  auto out = Make(port, reports);
  ASSERT_TRUE(out->Open());
  int next = 0;
  // Ticks keep coming while every attempt is refused.
  ASSERT_TRUE(WaitUntil(
      [&] {
        SendTicks(*out, next, next + 1);
        ++next;
        return out->Status().connectAttempts >= 5;
      },
      10000));
  OutputStatus s = out->Status();
  EXPECT_EQ(s.state, OutputState::Connecting);
  EXPECT_EQ(s.clients, 0u);
  size_t largest = 0;
  for (int i = 0; i <= next; ++i) largest = std::max(largest, NumberedTick(i).size());
  EXPECT_LE(s.waiting, largest) << "nothing piles up beyond the current tick";
  EXPECT_EQ(reports.Size(), 1u);
  EXPECT_EQ(reports.Count(OutputProblemId::ConnectFailed), 1u);
  EXPECT_EQ(reports.List()[0].arg, "127.0.0.1:" + std::to_string(port));

  TcpListener server(port);
  ASSERT_TRUE(server.Ok());
  int conn = server.Accept(5000);
  ASSERT_GE(conn, 0);
  ASSERT_TRUE(WaitState(*out, OutputState::Open));
  EXPECT_EQ(out->Status().clients, 1u);
  const int first = next;
  SendTicks(*out, next, next + 50);
  next += 50;
  std::string got = ReadFd(conn, 1 << 30, 5000, 300);
  std::vector<int> ticks;
  ASSERT_TRUE(WholeTicksInOrder(got, 4, &ticks));
  ASSERT_GE(ticks.size(), 50u);
  EXPECT_LE(ticks.size(), 51u) << "at most the tick of the attempt that connected came early";
  EXPECT_EQ(ticks.back(), next - 1);
  EXPECT_EQ(ticks[ticks.size() - 50], first);
  EXPECT_EQ(reports.Size(), 1u);
}

TEST(TcpClientOutput, ADroppedConnectionIsReportedOnceAndComesBack) {
  TcpListener server;
  ASSERT_TRUE(server.Ok());
  Reports reports;
  auto out = Make(server.Port(), reports);
  ASSERT_TRUE(out->Open());
  int conn = server.Accept(5000);
  ASSERT_GE(conn, 0);
  ASSERT_TRUE(WaitState(*out, OutputState::Open));
  std::string tick = SendTicks(*out, 0, 1);
  EXPECT_TRUE(SameBytes(ReadFd(conn, tick.size(), 5000), tick));

  for (int round = 1; round <= 2; ++round) {
    server.Drop(conn);
    ASSERT_TRUE(WaitUntil(
        [&] { return reports.Count(OutputProblemId::ConnectionLost) == size_t(round); }, 5000))
        << "round " << round;
    conn = server.Accept(5000);
    ASSERT_GE(conn, 0) << "round " << round;
    ASSERT_TRUE(WaitState(*out, OutputState::Open));
    tick = SendTicks(*out, round, round + 1);
    EXPECT_TRUE(SameBytes(ReadFd(conn, tick.size(), 5000), tick)) << "round " << round;
  }
  EXPECT_EQ(reports.Size(), 2u);
}

TEST(TcpClientOutput, ANameThatDoesNotResolveFailsTheOutput) {
  Reports reports;
  auto out = MakeExtraOutput(*ParseOutputSpec("tcpclient:no-such-host.invalid:7001").spec,
                             reports.Reporter());
  EXPECT_TRUE(out->Open());
  ASSERT_TRUE(WaitState(*out, OutputState::Failed, 30000));
  EXPECT_EQ(reports.Count(OutputProblemId::ResolveFailed), 1u);
  EXPECT_EQ(out->Status().connectAttempts, 0u);
}

}  // namespace
}  // namespace fixcaster
