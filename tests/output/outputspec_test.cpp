#include "output/OutputSpec.h"

#include <gtest/gtest.h>

#include <string>

#include "output/ExtraOutput.h"

namespace fixcaster {
namespace {

TEST(ParseOutputSpec, AcceptsEveryKind) {
  struct Row {
    const char* text;
    OutputKind kind;
    const char* path;
    const char* host;
    uint16_t port;
    int ttl;
    const char* interface;
  };
  const Row rows[] = {
      {"pty:/tmp/ttyV0", OutputKind::Pty, "/tmp/ttyV0", "", 0, 1, ""},
      {"PTY: /tmp/gps ", OutputKind::Pty, "/tmp/gps", "", 0, 1, ""},
      {"file:/var/log/run.nmea", OutputKind::File, "/var/log/run.nmea", "", 0, 1, ""},
      {"file:relative name.nmea", OutputKind::File, "relative name.nmea", "", 0, 1, ""},
      {"stdout", OutputKind::Stdout, "", "", 0, 1, ""},
      {" Stdout ", OutputKind::Stdout, "", "", 0, 1, ""},
      {"udp:127.0.0.1:10110", OutputKind::Udp, "", "127.0.0.1", 10110, 1, ""},
      {"udp:plotter.local:10110", OutputKind::Udp, "", "plotter.local", 10110, 1, ""},
      {"udp:255.255.255.255:10110", OutputKind::Udp, "", "255.255.255.255", 10110, 1, ""},
      {"udp:239.192.0.1:10110?ttl=4", OutputKind::Udp, "", "239.192.0.1", 10110, 4, ""},
      {"udp:239.192.0.1:10110?ttl=0&if=192.168.1.5", OutputKind::Udp, "", "239.192.0.1", 10110, 0,
       "192.168.1.5"},
      {"udp:239.192.0.1:10110?if=eth0", OutputKind::Udp, "", "239.192.0.1", 10110, 1, "eth0"},
      {"udp:[ff02::1]:10110?if=eth0&ttl=2", OutputKind::Udp, "", "ff02::1", 10110, 2, "eth0"},
      {"tcp:5556", OutputKind::Tcp, "", "", 5556, 1, ""},
      {"tcp:0", OutputKind::Tcp, "", "", 0, 1, ""},
      {"tcp:127.0.0.1:5556", OutputKind::Tcp, "", "127.0.0.1", 5556, 1, ""},
      {"tcp:[::]:5556", OutputKind::Tcp, "", "::", 5556, 1, ""},
      {"tcpclient:fleet.example.org:7001", OutputKind::TcpClient, "", "fleet.example.org", 7001, 1,
       ""},
      {"tcpclient:[2001:db8::7]:7001", OutputKind::TcpClient, "", "2001:db8::7", 7001, 1, ""},
  };
  for (const Row& r : rows) {
    OutputSpecResult result = ParseOutputSpec(r.text);
    ASSERT_TRUE(result.spec) << r.text << ": " << ProblemText(result.problem);
    const OutputSpec& s = *result.spec;
    EXPECT_EQ(s.kind, r.kind) << r.text;
    EXPECT_EQ(s.path, r.path) << r.text;
    EXPECT_EQ(s.host, r.host) << r.text;
    EXPECT_EQ(s.port, r.port) << r.text;
    EXPECT_EQ(s.ttl, r.ttl) << r.text;
    EXPECT_EQ(s.interface, r.interface) << r.text;
  }
}

TEST(ParseOutputSpec, APtyWithoutLinkTakesTheDefault) {
  for (const char* text : {"pty", "pty:", "pty:  "}) {
    OutputSpecResult r = ParseOutputSpec(text);
    ASSERT_TRUE(r.spec) << text;
    EXPECT_EQ(r.spec->path, DefaultPtyLink()) << text;
  }
}

TEST(ParseOutputSpec, RefusesBadSpecsWithTheirReason) {
  struct Row {
    const char* text;
    OutputProblemId id;
    const char* arg;
  };
  const Row rows[] = {
      {"", OutputProblemId::SpecEmpty, ""},
      {"   ", OutputProblemId::SpecEmpty, ""},
      {"serial:/dev/ttyS0", OutputProblemId::SpecUnknownKind, "serial:/dev/ttyS0"},
      {"stdout:x", OutputProblemId::SpecUnknownKind, "stdout:x"},
      {"udp", OutputProblemId::SpecBadHost, ""},
      {"file", OutputProblemId::SpecMissingPath, "file:"},
      {"/dev/ttyUSB0", OutputProblemId::SpecUnknownKind, "/dev/ttyUSB0"},
      {"file:", OutputProblemId::SpecMissingPath, "file:"},
      {"udp:10110", OutputProblemId::SpecBadHost, "10110"},
      {"udp::10110", OutputProblemId::SpecBadHost, ":10110"},
      {"udp:ff02::1:10110", OutputProblemId::SpecBadHost, "ff02::1:10110"},
      {"udp:[ff02::1:10110", OutputProblemId::SpecBadHost, "[ff02::1:10110"},
      {"udp:[]:10110", OutputProblemId::SpecBadHost, "[]:10110"},
      {"udp:host:", OutputProblemId::SpecBadPort, ""},
      {"udp:host:0", OutputProblemId::SpecBadPort, "0"},
      {"udp:host:65536", OutputProblemId::SpecBadPort, "65536"},
      {"udp:host:10110x", OutputProblemId::SpecBadPort, "10110x"},
      {"udp:host:-1", OutputProblemId::SpecBadPort, "-1"},
      {"udp:239.1.1.1:10110?ttl=256", OutputProblemId::SpecBadTtl, "256"},
      {"udp:239.1.1.1:10110?ttl=", OutputProblemId::SpecBadTtl, ""},
      {"udp:239.1.1.1:10110?hops=2", OutputProblemId::SpecBadOption, "hops=2"},
      {"udp:239.1.1.1:10110?if=", OutputProblemId::SpecBadOption, "if="},
      {"tcp:", OutputProblemId::SpecBadPort, ""},
      {"tcp:99999", OutputProblemId::SpecBadPort, "99999"},
      {"tcp:localhost:5556", OutputProblemId::SpecBadAddress, "localhost"},
      {"tcp:::5556", OutputProblemId::SpecBadHost, "::5556"},
      {"tcpclient:7001", OutputProblemId::SpecBadHost, "7001"},
      {"tcpclient:host:0", OutputProblemId::SpecBadPort, "0"},
      {"tcpclient:host:7001?ttl=2", OutputProblemId::SpecBadPort, "7001?ttl=2"},
  };
  for (const Row& r : rows) {
    OutputSpecResult result = ParseOutputSpec(r.text);
    EXPECT_FALSE(result.spec) << r.text;
    EXPECT_EQ(result.problem.id, r.id) << r.text << ": " << ProblemText(result.problem);
    EXPECT_EQ(result.problem.arg, r.arg) << r.text;
  }
}

TEST(ProblemText, FillsArgumentAndDetail) {
  EXPECT_EQ(ProblemText({OutputProblemId::SpecBadPort, "70000", ""}),
            "Bad port \"70000\" (a number from 1 to 65535)");
  EXPECT_EQ(
      ProblemText({OutputProblemId::FileWriteFailed, "/x/run.nmea", "No space left on device"}),
      "Cannot write /x/run.nmea: No space left on device");
}

TEST(DefaultPtyLink, RuntimeFolderOrAPrivateFolderInTmp) {
  EXPECT_EQ(DefaultPtyLink("/run/user/1000", 1000), "/run/user/1000/fixcaster/gps0");
  EXPECT_EQ(DefaultPtyLink(nullptr, 1000), "/tmp/fixcaster-1000/gps0");
  EXPECT_EQ(DefaultPtyLink("", 1000), "/tmp/fixcaster-1000/gps0");
  // A relative value is not a runtime folder (the XDG rules ignore it).
  EXPECT_EQ(DefaultPtyLink("run", 1000), "/tmp/fixcaster-1000/gps0");
}

// Property checks: every datagram is whole sentences and fits, the datagrams
// put together are the tick, and no datagram could have taken the next one's
// first sentence (so there are no more of them than the order allows).
void CheckSplit(const std::string& tick, size_t max) {
  std::vector<std::string_view> parts = SplitIntoDatagrams(tick, max);
  std::string joined;
  for (size_t i = 0; i < parts.size(); ++i) {
    std::string_view d = parts[i];
    joined += d;
    ASSERT_FALSE(d.empty());
    EXPECT_TRUE(d.size() <= max || d.find('\n') == d.size() - 1)
        << "datagram " << i << " of " << d.size() << " bytes holds more than one long sentence";
    if (joined.size() < tick.size()) {
      EXPECT_EQ(d.back(), '\n') << "datagram " << i << " cuts a sentence";
    }
    if (i + 1 < parts.size()) {
      std::string_view next = parts[i + 1];
      size_t firstSentence = std::min(next.find('\n') + 1, next.size());
      EXPECT_GT(d.size() + firstSentence, max) << "datagram " << i << " had room for more";
    }
  }
  EXPECT_EQ(joined, tick);
}

TEST(SplitIntoDatagrams, WholeSentencesAsFewAsPossible) {
  auto sentence = [](size_t length, char fill) {
    return "$" + std::string(length - 3, fill) + "\r\n";
  };
  std::string busy;  // some 3 KB: 44 sentences of 60 to 82 bytes
  for (int i = 0; i < 44; ++i) busy += sentence(60 + static_cast<size_t>(i * 7 % 23), 'a');
  const std::string rows[] = {
      "",
      sentence(70, 'a'),
      busy,
      sentence(1472, 'a') + sentence(3, 'b') + sentence(1469, 'c'),  // exactly full datagrams
      sentence(1473, 'a'),                                           // one sentence too long
      sentence(10, 'a') + sentence(2000, 'b') + sentence(10, 'c'),   // a long one in between
      sentence(70, 'a') + "$GPXXX,no line end",                      // a last piece without CR LF
  };
  for (const std::string& tick : rows) CheckSplit(tick, kMaxDatagram);
  CheckSplit(busy, 100);
  EXPECT_EQ(SplitIntoDatagrams(busy).size(), 3u) << "3 KB of ticks fits three datagrams";
  EXPECT_TRUE(SplitIntoDatagrams("").empty());
}

}  // namespace
}  // namespace fixcaster
