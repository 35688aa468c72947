#pragma once

// Real parts for the output tests: a pseudo-terminal pair, loopback TCP clients,
// a temporary folder and a Poster that the test thread pumps. Every wait is bounded.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "output/CommX.h"

namespace fixcaster::testing {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

// Runs posted functions on the test thread when the test pumps it.
class ChannelPoster : public Poster {
 public:
  void Post(std::function<void()> fn) override {
    {
      std::lock_guard lk(mutex_);
      queue_.push_back(std::move(fn));
    }
    cv_.notify_all();
  }
  // Runs what arrives until pred() holds or the time is up; returns pred().
  bool RunUntil(const std::function<bool()>& pred, int ms) {
    auto deadline = Clock::now() + Ms(ms);
    while (!pred()) {
      std::function<void()> fn;
      {
        std::unique_lock lk(mutex_);
        if (!cv_.wait_until(lk, deadline, [&] { return !queue_.empty(); })) return pred();
        fn = std::move(queue_.front());
        queue_.pop_front();
      }
      fn();
    }
    return true;
  }
  void RunFor(int ms) {
    RunUntil([] { return false; }, ms);
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
};

// A pseudo-terminal. The component opens the slave by its path; the test talks to
// the far end through the master (in packet mode, so that it sees the slave's
// output being stopped and started) and reads the line settings through its own
// slave descriptor.
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

// A temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "fixcaster-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) std::abort();
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A small sysfs tree: <root>/sys/class/tty/<name> entries whose device links point
// into <root>/sys/devices, with device nodes in <root>/dev that link to real ptys.
class FakeSysfs {
 public:
  struct Tty {
    std::string name{};
    bool device = true;     // has a device link
    std::string type{};     // "type" file of 8250 ports, empty for none
    std::string product{};  // USB product and manufacturer two levels up
    std::string manufacturer{};
    std::string udevModel{};  // ID_MODEL_FROM_DATABASE in the udev data
    std::string node{};       // target of <root>/dev/<name>; empty for no node
  };
  FakeSysfs() {
    namespace fs = std::filesystem;
    fs::create_directories(Sys() / "class" / "tty");
    fs::create_directories(Dev());
    fs::create_directories(Udev());
  }
  std::filesystem::path Sys() const { return dir_.Path() / "sys"; }
  std::filesystem::path Dev() const { return dir_.Path() / "dev"; }
  std::filesystem::path Udev() const { return dir_.Path() / "udev"; }
  void Add(const Tty& t) {
    namespace fs = std::filesystem;
    fs::path entry = Sys() / "class" / "tty" / t.name;
    fs::create_directories(entry);
    if (t.device) {
      fs::path usb = Sys() / "devices" / ("usb-" + t.name);
      fs::path port = usb / "1-1:1.0" / t.name;
      fs::create_directories(port);
      if (!t.product.empty()) WriteFile(usb / "product", t.product);
      if (!t.manufacturer.empty()) WriteFile(usb / "manufacturer", t.manufacturer);
      fs::create_directory_symlink(port, entry / "device");
    }
    if (!t.type.empty()) WriteFile(entry / "type", t.type);
    std::string numbers = "188:" + std::to_string(next_++);
    WriteFile(entry / "dev", numbers);
    if (!t.udevModel.empty())
      WriteFile(Udev() / ("c" + numbers), "E:ID_MODEL_FROM_DATABASE=" + t.udevModel + "\n");
    if (!t.node.empty()) fs::create_symlink(t.node, Dev() / t.name);
  }
  std::string DevPath(const std::string& name) const { return (Dev() / name).string(); }

 private:
  static void WriteFile(const std::filesystem::path& p, const std::string& text) {
    std::FILE* f = std::fopen(p.c_str(), "w");
    std::fputs((text + "\n").c_str(), f);
    std::fclose(f);
  }
  TempDir dir_;
  int next_ = 0;
};

// A loopback TCP client.
class TcpClient {
 public:
  explicit TcpClient(uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~TcpClient() { Close(); }
  TcpClient(const TcpClient&) = delete;
  TcpClient& operator=(const TcpClient&) = delete;

  bool Connected() const { return connected_; }
  int Fd() const { return fd_; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  // Reads until `bytes` arrived, the peer closed, or the time is up.
  std::string Read(size_t bytes, int ms) {
    std::string out;
    auto deadline = Clock::now() + Ms(ms);
    while (out.size() < bytes) {
      auto left = std::chrono::duration_cast<Ms>(deadline - Clock::now()).count();
      if (left <= 0) break;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char buf[65536];
      ssize_t n = recv(fd_, buf, std::min(sizeof buf, bytes - out.size()), 0);
      if (n <= 0) {
        eof_ = true;
        break;
      }
      out.append(buf, static_cast<size_t>(n));
    }
    return out;
  }
  // True when the peer closed the connection within the time.
  bool WaitClosed(int ms) {
    auto deadline = Clock::now() + Ms(ms);
    while (!eof_ && Clock::now() < deadline) Read(1 << 20, 50);
    return eof_;
  }
  bool SendAll(const char* data, size_t size) {
    while (size > 0) {
      ssize_t n = send(fd_, data, size, MSG_NOSIGNAL);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<size_t>(n);
    }
    return true;
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool eof_ = false;
};

// Waits until cond() holds, polling; returns cond().
inline bool WaitUntil(const std::function<bool()>& cond, int ms) {
  auto deadline = Clock::now() + Ms(ms);
  while (!cond()) {
    if (Clock::now() >= deadline) return cond();
    std::this_thread::sleep_for(Ms(2));
  }
  return true;
}

// A listening socket on a free loopback port, to make a port busy.
inline int ListenOnFreePort(uint16_t* port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  socklen_t len = sizeof addr;
  bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(fd, 4);
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  *port = ntohs(addr.sin_port);
  return fd;
}

// True when nothing listens on the port now.
inline bool PortIsFree(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(port);
  bool ok = bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

}  // namespace fixcaster::testing
