#pragma once

// Loopback TCP for the tests: a client of the program's server and ports taken
// from the system, never a fixed number (another program may hold any port).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "support/Wait.h"

namespace fixcaster::testing {

// A loopback port the kernel hands out as free now, for a socket of `type`
// (SOCK_STREAM, SOCK_DGRAM). Another program may take it before the caller binds
// it; on loopback that is rare enough for a test.
inline uint16_t FreePort(int type) {
  int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(fd);
  return port;
}

inline uint16_t FreeTcpPort() {
  return FreePort(SOCK_STREAM);
}

// A listening socket on a free port, to make a port busy; the caller closes it.
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

// A loopback client. Read() waits (bounded) for a number of bytes; Drain() takes
// what has arrived into Received() without waiting, for callers whose own event
// loop must keep running.
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

  // Takes what has arrived so far into Received(), without waiting.
  void Drain() {
    char buf[65536];
    for (;;) {
      const ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
      if (n == 0) eof_ = true;
      if (n <= 0) break;
      received_.append(buf, static_cast<size_t>(n));
    }
  }
  const std::string& Received() const { return received_; }
  void Clear() { received_.clear(); }

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool eof_ = false;
  std::string received_;
};

}  // namespace fixcaster::testing
