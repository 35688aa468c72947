#pragma once

// A real pseudo-terminal pair for the serial tests.

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/Wait.h"

namespace fixcaster::testing {

// The component opens the slave by its path; the test talks to the far end through
// the master (in packet mode, so that it sees the slave's output being stopped and
// started) and reads the line settings through its own slave descriptor.
class PtyPair {
 public:
  PtyPair() {
    char name[256];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) std::abort();
    path_ = name;
    int on = 1;
    ioctl(master_, TIOCPKT, &on);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    CloseMaster();
    close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& Path() const { return path_; }
  int Slave() const { return slave_; }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

  // Reads from the master until `bytes` data bytes arrived or the time is up.
  std::string Read(size_t bytes, int ms) {
    std::string out;
    auto deadline = Clock::now() + Ms(ms);
    while (out.size() < bytes) {
      if (!Pump(deadline, &out)) break;
    }
    return out;
  }
  // Waits for the slave's output to be stopped (true) or started (false).
  bool WaitFlow(bool stopped, int ms) {
    auto deadline = Clock::now() + Ms(ms);
    std::string data;
    while (stopped_ != stopped) {
      if (!Pump(deadline, &data)) return false;
    }
    return true;
  }
  // XOFF/XON typed at the far end; the slave obeys them with IXON set.
  bool StopOutput(char xoff = 19) {
    Write(std::string(1, xoff));
    return WaitFlow(true, 2000);
  }
  bool StartOutput(char xon = 17) {
    Write(std::string(1, xon));
    return WaitFlow(false, 2000);
  }
  void Write(const std::string& s) {
    size_t done = 0;
    auto deadline = Clock::now() + Ms(5000);
    while (done < s.size() && Clock::now() < deadline) {
      ssize_t n = write(master_, s.data() + done, s.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else {
        pollfd p{master_, POLLOUT, 0};
        poll(&p, 1, 10);
      }
    }
  }

 private:
  // One read of the master; false when the deadline passed.
  bool Pump(Clock::time_point deadline, std::string* out) {
    auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{master_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) return Clock::now() < deadline;
    char buf[8192];
    ssize_t n = read(master_, buf, sizeof buf);
    if (n <= 0) return Clock::now() < deadline;
    if (buf[0] == TIOCPKT_DATA) {
      out->append(buf + 1, static_cast<size_t>(n - 1));
    } else {
      if (buf[0] & TIOCPKT_STOP) stopped_ = true;
      if (buf[0] & TIOCPKT_START) stopped_ = false;
    }
    return true;
  }

  int master_ = -1;
  int slave_ = -1;
  std::string path_;
  bool stopped_ = false;
};

}  // namespace fixcaster::testing
