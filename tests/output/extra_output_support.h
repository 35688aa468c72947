#pragma once

// Real parts for the extra-output tests: numbered ticks, a raw serial reader on a
// device path, a UDP receiver, a loopback TCP listener that can start late, and a
// thread-safe list of reported problems. Every wait is bounded.

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "output/ExtraOutput.h"
#include "output/channel_support.h"

namespace fixcaster::testing {

// Tick n: a few sentences of lengths that differ from tick to tick, each naming
// its tick, so that a lost, repeated, reordered or torn tick shows.
inline std::string NumberedTick(int n, int sentences = 4) {
  std::string out;
  for (int s = 0; s < sentences; ++s) {
    out += "$GPTST," + std::to_string(n) + "," + std::to_string(s) + "," +
           std::string(static_cast<size_t>((n * 7 + s * 13) % 41), 'x') + "*00\r\n";
  }
  return out;
}

// Hands ticks from .. to-1 to the output; returns their bytes.
inline std::string SendTicks(ExtraOutput& out, int from, int to, int sentences = 4) {
  std::string all;
  for (int i = from; i < to; ++i) {
    std::string tick = NumberedTick(i, sentences);
    out.SendTick(tick);
    all += tick;
  }
  return all;
}

// The output of a spec that must parse, not yet open.
inline std::unique_ptr<ExtraOutput> MakeOutput(const std::string& spec, OutputReporter reporter,
                                               const OutputOptions& options = {}) {
  OutputSpecResult r = ParseOutputSpec(spec);
  EXPECT_TRUE(r.spec) << spec << ": " << ProblemText(r.problem);
  if (!r.spec) return nullptr;
  return MakeExtraOutput(*r.spec, std::move(reporter), options);
}

// Splits a stream into the ticks it holds: true when it is a run of whole
// NumberedTick(first .. ) ticks in increasing order (gaps allowed), with the tick
// numbers in *ticks.
inline bool WholeTicksInOrder(const std::string& stream, int sentences, std::vector<int>* ticks) {
  size_t pos = 0;
  int last = -1;
  while (pos < stream.size()) {
    size_t comma = stream.find(',', pos + 7);
    if (stream.compare(pos, 7, "$GPTST,") != 0 || comma == std::string::npos) return false;
    int n = std::stoi(stream.substr(pos + 7, comma - pos - 7));
    std::string tick = NumberedTick(n, sentences);
    if (n <= last || stream.compare(pos, tick.size(), tick) != 0) return false;
    ticks->push_back(n);
    last = n;
    pos += tick.size();
  }
  return true;
}

// Equal streams; otherwise says where they part, without printing kilobytes.
inline ::testing::AssertionResult SameBytes(const std::string& got, const std::string& expected) {
  if (got == expected) return ::testing::AssertionSuccess();
  size_t i = 0;
  while (i < got.size() && i < expected.size() && got[i] == expected[i]) ++i;
  return ::testing::AssertionFailure()
         << got.size() << " bytes instead of " << expected.size() << ", parting at byte " << i
         << ": got \"" << got.substr(i, 40) << "\", expected \"" << expected.substr(i, 40) << "\"";
}

// Problems an output reported, from whichever thread.
class Reports {
 public:
  OutputReporter Reporter() {
    return [this](const OutputProblem& p) {
      std::lock_guard lk(mutex_);
      list_.push_back(p);
    };
  }
  std::vector<OutputProblem> List() const {
    std::lock_guard lk(mutex_);
    return list_;
  }
  size_t Count(OutputProblemId id) const {
    std::lock_guard lk(mutex_);
    return static_cast<size_t>(std::count_if(list_.begin(), list_.end(),
                                             [id](const OutputProblem& p) { return p.id == id; }));
  }
  size_t Size() const {
    std::lock_guard lk(mutex_);
    return list_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<OutputProblem> list_;
};

// Reads everything that arrives on `fd` until `bytes` arrived or nothing came for
// `quietMs` (or `ms` passed in all).
inline std::string ReadFd(int fd, size_t bytes, int ms, int quietMs = 1 << 30) {
  std::string out;
  auto deadline = Clock::now() + Ms(ms);
  while (out.size() < bytes) {
    auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
    if (left <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::min<int64_t>(left, quietMs))) <= 0) break;
    char buf[65536];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

// A program reading a serial device: opens the path (a link too) as gpsd does,
// sets it raw, and reads.
class SerialReader {
 public:
  explicit SerialReader(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return;
    termios t{};
    tcgetattr(fd_, &t);
    cfmakeraw(&t);
    tcsetattr(fd_, TCSANOW, &t);
  }
  ~SerialReader() { Close(); }
  SerialReader(const SerialReader&) = delete;
  SerialReader& operator=(const SerialReader&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  std::string Read(size_t bytes, int ms) { return ReadFd(fd_, bytes, ms); }
  // Everything that is there now and keeps coming within quietMs.
  std::string Drain(int quietMs = 200) { return ReadFd(fd_, 1 << 30, 20000, quietMs); }

 private:
  int fd_ = -1;
};

// A UDP socket bound to an address of this machine (127.0.0.1 or any) on a free
// port, that can join a multicast group and tells the TTL each datagram came with.
class UdpReceiver {
 public:
  explicit UdpReceiver(const char* bindAddress = "127.0.0.1", uint16_t port = 0) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd_, IPPROTO_IP, IP_RECVTTL, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    inet_pton(AF_INET, bindAddress, &a.sin_addr);
    a.sin_port = htons(port);
    bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~UdpReceiver() { close(fd_); }
  UdpReceiver(const UdpReceiver&) = delete;
  UdpReceiver& operator=(const UdpReceiver&) = delete;

  bool Bound() const { return bound_; }
  uint16_t Port() const { return port_; }
  int Fd() const { return fd_; }
  bool Join(const char* group, const char* interface) {
    ip_mreq m{};
    inet_pton(AF_INET, group, &m.imr_multiaddr);
    inet_pton(AF_INET, interface, &m.imr_interface);
    return setsockopt(fd_, IPPROTO_IP, IP_ADD_MEMBERSHIP, &m, sizeof m) == 0;
  }
  // Datagrams until `bytes` of payload arrived or nothing came for quietMs.
  std::vector<std::string> Receive(size_t bytes, int quietMs, std::vector<int>* ttls = nullptr) {
    std::vector<std::string> out;
    size_t total = 0;
    while (total < bytes) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, quietMs) <= 0) break;
      char buf[65536];
      char control[256];
      iovec iov{buf, sizeof buf};
      msghdr msg{};
      msg.msg_iov = &iov;
      msg.msg_iovlen = 1;
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      ssize_t n = recvmsg(fd_, &msg, 0);
      if (n < 0) break;
      out.emplace_back(buf, static_cast<size_t>(n));
      total += static_cast<size_t>(n);
      for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c && ttls; c = CMSG_NXTHDR(&msg, c))
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_TTL)
          ttls->push_back(*reinterpret_cast<int*>(CMSG_DATA(c)));
    }
    return out;
  }

 private:
  int fd_ = -1;
  bool bound_ = false;
  uint16_t port_ = 0;
};

// A loopback port nobody listens on (taken from the system, then let go).
inline uint16_t UnusedPort(int type) {
  return FreePort(type);
}

// The server side for a TCP client: listens on a loopback port (a given one, so
// that it can start after the client was refused there) and accepts.
class TcpListener {
 public:
  explicit TcpListener(uint16_t port = 0) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && listen(fd_, 8) == 0;
    socklen_t len = sizeof a;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~TcpListener() {
    for (int fd : accepted_) close(fd);
    close(fd_);
  }
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  bool Ok() const { return ok_; }
  uint16_t Port() const { return port_; }
  // A connection accepted within the time, or -1.
  int Accept(int ms) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, ms) <= 0) return -1;
    int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) accepted_.push_back(fd);
    return fd;
  }
  void Drop(int fd) {
    close(fd);
    accepted_.erase(std::remove(accepted_.begin(), accepted_.end(), fd), accepted_.end());
  }

 private:
  int fd_ = -1;
  bool ok_ = false;
  uint16_t port_ = 0;
  std::vector<int> accepted_;
};

// Until the output's state is `state`.
inline bool WaitState(const ExtraOutput& out, OutputState state, int ms = 5000) {
  return WaitUntil([&] { return out.Status().state == state; }, ms);
}

// Until the output has delivered `bytes` in all.
inline bool WaitDelivered(const ExtraOutput& out, uint64_t bytes, int ms = 5000) {
  return WaitUntil([&] { return out.Status().bytes >= bytes; }, ms);
}

}  // namespace fixcaster::testing
