// "tcpclient:HOST:PORT": connects out to a server, as a tracking device does, and
// reconnects when refused or dropped.

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "output/NetAddress.h"
#include "output/OutputKinds.h"
#include "output/WorkerOutput.h"

namespace fixcaster::detail {

namespace {

using SteadyClock = std::chrono::steady_clock;

class TcpClientOutput final : public WorkerOutput {
 public:
  TcpClientOutput(OutputSpec spec, OutputReporter reporter, const OutputOptions& options)
      : WorkerOutput(std::move(spec), std::move(reporter), options.backlogLimit),
        firstDelay_(std::chrono::milliseconds(std::max(1, options.reconnectFirstMs))),
        maxDelay_(
            std::chrono::milliseconds(std::max(options.reconnectFirstMs, options.reconnectMaxMs))),
        connectTimeout_(std::chrono::milliseconds(std::max(1, options.connectTimeoutMs))) {
    const OutputSpec& s = Spec();
    target_ = (s.host.find(':') != std::string::npos ? "[" + s.host + "]" : s.host) + ":" +
              std::to_string(s.port);
  }
  ~TcpClientOutput() override { Close(); }

 protected:
  bool Begin() override {
    delay_ = firstDelay_;
    outage_ = false;
    std::string error;
    if (!resolution_.Start(Spec().host, Spec().port, SOCK_STREAM, &error)) {
      Report({OutputProblemId::StartFailed, "", error});
      return false;
    }
    phase_ = Phase::Resolving;
    return true;
  }

  WorkerWait Wait() override {
    switch (phase_) {
      case Phase::Resolving:
        return {resolution_.Fd(), POLLIN, resolution_.Done() ? 0 : -1};
      case Phase::Waiting:
        return {-1, 0, MsUntil(retryAt_)};
      case Phase::Connecting:
        return {fd_, POLLOUT, MsUntil(deadline_)};
      case Phase::Connected:
        return {fd_, static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), -1};
    }
    return {};
  }

  bool Service(short revents) override {
    switch (phase_) {
      case Phase::Resolving: {
        DropQueued(true);
        if (!resolution_.Done()) return true;
        std::string error;
        addresses_ = resolution_.Take(&error);
        if (addresses_.empty()) {
          Report({OutputProblemId::ResolveFailed, Spec().host, error});
          return false;
        }
        next_ = 0;
        TryNext();
        return true;
      }
      case Phase::Waiting:
        // Nothing piles up while there is no connection.
        DropQueued(false);
        if (SteadyClock::now() >= retryAt_) {
          next_ = 0;
          TryNext();
        }
        return true;
      case Phase::Connecting:
        // The current tick waits for the attempt's outcome; older ones do not.
        DropQueued(true);
        if (revents) {
          int error = TakeSocketError(fd_);
          if (!error && (revents & (POLLERR | POLLHUP))) error = ECONNREFUSED;
          if (error) {
            AttemptFailed(error);
          } else {
            Connected();
          }
        } else if (SteadyClock::now() >= deadline_) {
          AttemptFailed(ETIMEDOUT);
        }
        return true;
      case Phase::Connected:
        if (revents & POLLIN) Discard();
        if (phase_ == Phase::Connected && (revents & (POLLERR | POLLHUP))) {
          int error = TakeSocketError(fd_);
          Lost(ErrnoText(error ? error : ECONNRESET));
        }
        if (phase_ == Phase::Connected) Flush();
        return true;
    }
    return true;
  }

  void End() override {
    CloseSocket();
    resolution_ = Resolution();
    addresses_.clear();
  }

 private:
  enum class Phase { Resolving, Waiting, Connecting, Connected };

  static int MsUntil(SteadyClock::time_point t) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(t - SteadyClock::now()).count();
    return static_cast<int>(std::clamp<int64_t>(left, 0, 60000));
  }

  void CloseSocket() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    blocked_ = false;
  }

  // The next address of the name, or a pause when all of them failed.
  void TryNext() {
    int error = ECONNREFUSED;
    while (next_ < addresses_.size()) {
      const NetAddress& a = addresses_[next_++];
      CountAttempt();
      fd_ = socket(a.Family(), SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      if (fd_ < 0) {
        error = errno;
        continue;
      }
      int on = 1;
      setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      current_ = a;
      if (connect(fd_, a.Sockaddr(), a.len) == 0) {
        Connected();
        return;
      }
      if (errno == EINPROGRESS) {
        phase_ = Phase::Connecting;
        deadline_ = SteadyClock::now() + connectTimeout_;
        return;
      }
      error = errno;
      CloseSocket();
    }
    Outage(OutputProblemId::ConnectFailed, ErrnoText(error));
    Pause();
  }

  void AttemptFailed(int error) {
    CloseSocket();
    if (next_ < addresses_.size()) {
      TryNext();
      return;
    }
    Outage(OutputProblemId::ConnectFailed, ErrnoText(error));
    Pause();
  }

  // Waits before the next round of attempts, each pause twice the last, up to the
  // longest.
  void Pause() {
    phase_ = Phase::Waiting;
    retryAt_ = SteadyClock::now() + delay_;
    delay_ = std::min(delay_ * 2, maxDelay_);
    DropQueued(false);
    SetClients(0);
    SetState(OutputState::Connecting);
  }

  void Connected() {
    phase_ = Phase::Connected;
    delay_ = firstDelay_;
    outage_ = false;
    blocked_ = false;
    SetDevice(AddressText(current_));
    SetClients(1);
    SetState(OutputState::Open);
    Flush();
  }

  void Lost(const std::string& detail) {
    CloseSocket();
    Outage(OutputProblemId::ConnectionLost, detail);
    Pause();
  }

  void Outage(OutputProblemId id, const std::string& detail) {
    if (outage_) return;
    outage_ = true;
    Report({id, target_, detail});
  }

  void Flush() {
    int error = 0;
    switch (WriteQueue(fd_, true, &error)) {
      case WriteOutcome::Done:
        blocked_ = false;
        break;
      case WriteOutcome::WouldBlock:  // the server reads slowly; the queue is bounded
        blocked_ = true;
        break;
      case WriteOutcome::Failed:
        Lost(ErrnoText(error));
        break;
    }
  }

  // What the server sends is read only so that it does not pile up; a few reads
  // at a time, so that a flood cannot keep the ticks waiting.
  void Discard() {
    char buf[16384];
    for (int i = 0; i < 16; ++i) {
      ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
      if (n > 0) continue;
      if (n == 0) {
        Lost("closed by the server");
      } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        Lost(ErrnoText(errno));
      }
      return;
    }
  }

  const SteadyClock::duration firstDelay_;
  const SteadyClock::duration maxDelay_;
  const SteadyClock::duration connectTimeout_;
  std::string target_;  // HOST:PORT as given, for the messages

  Phase phase_ = Phase::Resolving;
  Resolution resolution_;
  std::vector<NetAddress> addresses_;
  size_t next_ = 0;
  NetAddress current_;
  int fd_ = -1;
  bool blocked_ = false;
  bool outage_ = false;  // reported; cleared by the next connection
  SteadyClock::duration delay_{};
  SteadyClock::time_point retryAt_{};
  SteadyClock::time_point deadline_{};
};

}  // namespace

std::unique_ptr<ExtraOutput> MakeTcpClientOutput(const OutputSpec& spec, OutputReporter reporter,
                                                 const OutputOptions& options) {
  return std::make_unique<TcpClientOutput>(spec, std::move(reporter), options);
}

}  // namespace fixcaster::detail
