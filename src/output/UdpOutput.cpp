// "udp:HOST:PORT": each tick in as few datagrams as its sentences allow, to a
// unicast, broadcast or multicast address.

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "output/NetAddress.h"
#include "output/OutputKinds.h"
#include "output/WorkerOutput.h"

namespace fixcaster::detail {

namespace {

class UdpOutput final : public WorkerOutput {
 public:
  UdpOutput(OutputSpec spec, OutputReporter reporter, size_t limit)
      : WorkerOutput(std::move(spec), std::move(reporter), limit) {}
  ~UdpOutput() override { Close(); }

 protected:
  bool Begin() override {
    std::string error;
    if (!resolution_.Start(Spec().host, Spec().port, SOCK_DGRAM, &error)) {
      Report({OutputProblemId::StartFailed, "", error});
      return false;
    }
    return !resolution_.Done() || MakeSocket();
  }

  WorkerWait Wait() override {
    if (fd_ < 0) return {resolution_.Fd(), POLLIN, -1};
    return {};
  }

  bool Service(short) override {
    if (fd_ < 0) {
      if (!resolution_.Done()) return true;
      if (!MakeSocket()) return false;
    }
    for (const auto& tick : TakeTicks()) Send(*tick);
    return true;
  }

  void End() override {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    connected_ = false;
    outage_ = false;
    resolution_ = Resolution();
  }

 private:
  bool MakeSocket() {
    std::string error;
    std::vector<NetAddress> found = resolution_.Take(&error);
    if (found.empty()) {
      Report({OutputProblemId::ResolveFailed, Spec().host, error});
      return false;
    }
    // A name with both families: IPv4 first, which is what NMEA listeners bind.
    dest_ = found.front();
    for (const NetAddress& a : found) {
      if (a.Family() == AF_INET) {
        dest_ = a;
        break;
      }
    }
    destText_ = AddressText(dest_);
    fd_ = socket(dest_.Family(), SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
      Report({OutputProblemId::SocketFailed, destText_, ErrnoText(errno)});
      return false;
    }
    OutputProblem problem;
    if (!ConfigureUdpSocket(fd_, dest_, Spec(), &problem)) {
      Report(problem);
      return false;
    }
    SetDevice(destText_);
    SetState(OutputState::Open);
    return true;
  }

  // A connected socket learns of an unreachable port or host from the ICMP reply
  // to an earlier datagram; that error is taken before each datagram, so that it
  // is counted for the outage and does not cost the datagram it would fail.
  void Send(const std::string& tick) {
    int trouble = 0;
    bool dropped = false;
    if (!connected_) {
      // Picks the route; fails when there is none, and is tried again next tick.
      if (connect(fd_, dest_.Sockaddr(), dest_.len) == 0) {
        connected_ = true;
      } else {
        trouble = errno;
        dropped = true;
      }
    }
    if (connected_) {
      for (std::string_view d : SplitIntoDatagrams(tick)) {
        if (int pending = TakeSocketError(fd_)) trouble = pending;
        ssize_t n;
        do {
          n = send(fd_, d.data(), d.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
        } while (n < 0 && errno == EINTR);
        if (n < 0) {
          // A full send buffer is a drop, not an outage.
          if (errno != EAGAIN && errno != EWOULDBLOCK) trouble = errno;
          dropped = true;
          break;  // the rest of this tick; the next tick tries afresh
        }
        AddSent(static_cast<uint64_t>(n));
      }
    }
    if (dropped) AddDrops(1);
    if (!trouble) {
      outage_ = false;
    } else if (!outage_) {
      outage_ = true;
      Report({OutputProblemId::SendFailed, destText_, ErrnoText(trouble)});
    }
  }

  Resolution resolution_;
  NetAddress dest_;
  std::string destText_;
  int fd_ = -1;
  bool connected_ = false;
  bool outage_ = false;  // reported, and no tick has gone out cleanly since
};

}  // namespace

std::unique_ptr<ExtraOutput> MakeUdpOutput(const OutputSpec& spec, OutputReporter reporter,
                                           const OutputOptions& options) {
  return std::make_unique<UdpOutput>(spec, std::move(reporter), options.backlogLimit);
}

}  // namespace fixcaster::detail
