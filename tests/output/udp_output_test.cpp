// The UDP output on loopback sockets: unicast, broadcast, multicast, and an
// address that does not answer.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "output/ExtraOutput.h"
#include "output/NetAddress.h"
#include "output/extra_output_support.h"

namespace fixcaster {
namespace {

using testing::NumberedTick;
using testing::Reports;
using testing::SameBytes;
using testing::UdpReceiver;
using testing::UnusedPort;
using testing::WaitDelivered;
using testing::WaitState;
using testing::WaitUntil;

constexpr int kSentences = 40;  // 1.2 to 2 KB a tick: one or two datagrams

std::unique_ptr<ExtraOutput> MakeUdp(const std::string& spec, Reports& reports) {
  return testing::MakeOutput(spec, reports.Reporter());
}

// The tick a sentence names ("$GPTST,<tick>,...").
int TickOf(std::string_view sentence) {
  return std::stoi(std::string(sentence.substr(7, sentence.find(',', 7) - 7)));
}

// Every datagram holds whole sentences of one tick and fits the limit; together
// they are the ticks sent.
void CheckDatagrams(const std::vector<std::string>& datagrams, const std::string& expected) {
  std::string joined;
  for (const std::string& d : datagrams) {
    joined += d;
    EXPECT_LE(d.size(), kMaxDatagram);
    ASSERT_GE(d.size(), 2u);
    EXPECT_EQ(d.substr(d.size() - 2), "\r\n") << "a datagram ends inside a sentence";
    int tick = TickOf(d);
    for (size_t pos = 0; pos < d.size(); pos = d.find('\n', pos) + 1)
      EXPECT_EQ(TickOf(std::string_view(d).substr(pos)), tick) << "a datagram spans two ticks";
  }
  EXPECT_TRUE(SameBytes(joined, expected));
}

std::string SendTicks(ExtraOutput& out, int from, int to) {
  return testing::SendTicks(out, from, to, kSentences);
}

TEST(UdpOutput, UnicastDatagramsCarryWholeSentencesOfOneTick) {
  UdpReceiver receiver;
  ASSERT_TRUE(receiver.Bound());
  Reports reports;
  auto out = MakeUdp("udp:127.0.0.1:" + std::to_string(receiver.Port()), reports);
  ASSERT_TRUE(out->Open());
  ASSERT_TRUE(WaitState(*out, OutputState::Open));
  std::string expected = SendTicks(*out, 0, 20);
  std::vector<std::string> got = receiver.Receive(expected.size(), 3000);
  CheckDatagrams(got, expected);
  size_t fewest = 0;
  for (int i = 0; i < 20; ++i) fewest += SplitIntoDatagrams(NumberedTick(i, kSentences)).size();
  EXPECT_EQ(got.size(), fewest) << "each tick in as few datagrams as its sentences allow";
  EXPECT_EQ(out->Status().device, "127.0.0.1:" + std::to_string(receiver.Port()));
  EXPECT_EQ(reports.Size(), 0u);
}

// Whether a datagram sent with a plain socket to `address` reaches `receiver`:
// not every machine loops broadcast or multicast back to itself.
bool MachineLoopsBack(UdpReceiver& receiver, const char* address, const char* interface) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  in_addr ifa{};
  if (interface && inet_pton(AF_INET, interface, &ifa) == 1)
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &ifa, sizeof ifa);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  inet_pton(AF_INET, address, &to.sin_addr);
  to.sin_port = htons(receiver.Port());
  sendto(fd, "probe", 5, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
  close(fd);
  return receiver.Receive(5, 1000).size() == 1;
}

TEST(UdpOutput, BroadcastReachesAReceiverBoundToAnyAddress) {
  UdpReceiver receiver("0.0.0.0");
  ASSERT_TRUE(receiver.Bound());
  if (!MachineLoopsBack(receiver, "255.255.255.255", nullptr))
    GTEST_SKIP() << "this machine does not loop broadcast back; ConfigureUdpSocket's test "
                    "checks what the output sets";
  Reports reports;
  auto out = MakeUdp("udp:255.255.255.255:" + std::to_string(receiver.Port()), reports);
  ASSERT_TRUE(out->Open());
  std::string expected = SendTicks(*out, 0, 5);
  CheckDatagrams(receiver.Receive(expected.size(), 3000), expected);
  EXPECT_EQ(reports.Size(), 0u);
}

TEST(UdpOutput, MulticastGoesThroughTheChosenInterfaceWithItsTtl) {
  const char* group = "239.255.42.99";
  UdpReceiver receiver("0.0.0.0");
  ASSERT_TRUE(receiver.Bound());
  if (!receiver.Join(group, "127.0.0.1") || !MachineLoopsBack(receiver, group, "127.0.0.1"))
    GTEST_SKIP() << "this machine does not loop multicast back on 127.0.0.1; ConfigureUdpSocket's "
                    "test checks what the output sets";
  const std::string port = std::to_string(receiver.Port());
  struct Row {
    std::string spec;
    int ttl;
  };
  const Row rows[] = {
      {"udp:" + std::string(group) + ":" + port + "?if=127.0.0.1", 1},  // TTL 1 by default
      {"udp:" + std::string(group) + ":" + port + "?ttl=5&if=127.0.0.1", 5},
      {"udp:" + std::string(group) + ":" + port + "?if=lo&ttl=3", 3},  // an interface by name
  };
  for (const Row& r : rows) {
    Reports reports;
    auto out = MakeUdp(r.spec, reports);
    ASSERT_TRUE(out->Open()) << r.spec;
    std::string expected = SendTicks(*out, 0, 3);
    std::vector<int> ttls;
    CheckDatagrams(receiver.Receive(expected.size(), 3000, &ttls), expected);
    ASSERT_FALSE(ttls.empty()) << r.spec;
    for (int ttl : ttls) EXPECT_EQ(ttl, r.ttl) << r.spec;
    EXPECT_EQ(reports.Size(), 0u) << r.spec;
  }
}

// What the output sets on its socket, read back from the kernel: this holds on
// any machine, also one that loops nothing back.
TEST(ConfigureUdpSocket, SetsBroadcastAndTheMulticastTtlAndInterface) {
  auto configure = [](const std::string& spec, int fd, OutputProblem* problem) {
    OutputSpec s = *ParseOutputSpec(spec).spec;
    detail::Resolution resolution;
    std::string error;
    resolution.Start(s.host, s.port, SOCK_DGRAM, &error);
    std::vector<detail::NetAddress> a = resolution.Take(&error);
    return !a.empty() && detail::ConfigureUdpSocket(fd, a[0], s, problem);
  };
  auto intOption = [](int fd, int level, int name) {
    int v = -1;
    socklen_t len = sizeof v;
    getsockopt(fd, level, name, &v, &len);
    return v;
  };
  {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    OutputProblem p;
    ASSERT_TRUE(configure("udp:192.0.2.255:10110", fd, &p));
    EXPECT_EQ(intOption(fd, SOL_SOCKET, SO_BROADCAST), 1);
    close(fd);
  }
  {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    OutputProblem p;
    ASSERT_TRUE(configure("udp:239.1.2.3:10110", fd, &p));
    EXPECT_EQ(intOption(fd, IPPROTO_IP, IP_MULTICAST_TTL), 1);
    close(fd);
  }
  {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    OutputProblem p;
    ASSERT_TRUE(configure("udp:239.1.2.3:10110?ttl=7&if=127.0.0.1", fd, &p));
    EXPECT_EQ(intOption(fd, IPPROTO_IP, IP_MULTICAST_TTL), 7);
    in_addr ifa{};
    socklen_t len = sizeof ifa;
    getsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &ifa, &len);
    EXPECT_EQ(ntohl(ifa.s_addr), INADDR_LOOPBACK);
    close(fd);
  }
  {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    OutputProblem p;
    EXPECT_FALSE(configure("udp:239.1.2.3:10110?if=no-such-interface0", fd, &p));
    EXPECT_EQ(p.id, OutputProblemId::InterfaceFailed);
    EXPECT_EQ(p.arg, "no-such-interface0");
    close(fd);
  }
}

// Nobody listens on the port: the outage is reported once however many ticks it
// lasts, every tick is still tried, and a receiver that comes up gets the ticks
// from then on. A second outage is a new report.
TEST(UdpOutput, AnUnreachablePortIsReportedOncePerOutageAndRetriedEveryTick) {
  const uint16_t port = UnusedPort(SOCK_DGRAM);
  Reports reports;
  auto out = MakeUdp("udp:127.0.0.1:" + std::to_string(port), reports);
  ASSERT_TRUE(out->Open());
  int next = 0;
  auto sendUntilReported = [&](size_t reportsWanted) {
    return WaitUntil(
        [&] {
          SendTicks(*out, next, next + 1);
          ++next;
          return reports.Count(OutputProblemId::SendFailed) >= reportsWanted;
        },
        5000);
  };
  ASSERT_TRUE(sendUntilReported(1));
  uint64_t before = out->Status().bytes;
  std::string more = SendTicks(*out, next, next + 20);
  next += 20;
  ASSERT_TRUE(WaitDelivered(*out, before + more.size())) << "ticks of an outage are still sent";
  EXPECT_EQ(reports.Count(OutputProblemId::SendFailed), 1u);
  EXPECT_EQ(reports.List()[0].arg, "127.0.0.1:" + std::to_string(port));

  {
    UdpReceiver receiver("127.0.0.1", port);
    ASSERT_TRUE(receiver.Bound());
    std::string expected = SendTicks(*out, next, next + 5);
    next += 5;
    CheckDatagrams(receiver.Receive(expected.size(), 3000), expected);
  }
  ASSERT_TRUE(sendUntilReported(2));
  EXPECT_EQ(out->Status().state, OutputState::Open);
}

TEST(UdpOutput, ANameThatDoesNotResolveFailsTheOutput) {
  Reports reports;
  auto out = MakeUdp("udp:no-such-host.invalid:10110", reports);
  EXPECT_TRUE(out->Open()) << "the name is looked up by the output's own thread";
  ASSERT_TRUE(WaitState(*out, OutputState::Failed, 30000));
  ASSERT_EQ(reports.Size(), 1u);
  EXPECT_EQ(reports.List()[0].id, OutputProblemId::ResolveFailed);
  EXPECT_EQ(reports.List()[0].arg, "no-such-host.invalid");
  out->SendTick(NumberedTick(0));  // ignored, not queued
  EXPECT_EQ(out->Status().waiting, 0u);
}

}  // namespace
}  // namespace fixcaster
