#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QTest>
#include <string>

namespace fixcaster::ui::test {

// A free TCP port on the loopback interface, as the kernel hands one out.
inline int FreeTcpPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

// A plain loopback client of the program's TCP server. Reading never blocks: the
// window's event loop must keep running for the ticks to come.
class TcpClient {
 public:
  explicit TcpClient(int port) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::fcntl(fd_, F_SETFL, O_NONBLOCK);
  }
  ~TcpClient() { ::close(fd_); }
  bool Connected() const { return connected_; }

  // Takes what has arrived so far into Received().
  void Drain() {
    char buf[65536];
    for (;;) {
      const ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      received_.append(buf, size_t(n));
    }
  }
  // Lets the event loop run until `pred` holds for what has arrived, or the time is up.
  template <class Pred>
  bool WaitFor(Pred pred, int timeoutMs = 5000) {
    return QTest::qWaitFor(
        [&] {
          Drain();
          return pred(received_);
        },
        timeoutMs);
  }
  bool WaitForText(const std::string& text, int timeoutMs = 5000) {
    return WaitFor([&](const std::string& r) { return r.find(text) != std::string::npos; },
                   timeoutMs);
  }
  const std::string& Received() const { return received_; }
  void Clear() { received_.clear(); }

 private:
  int fd_ = -1;
  bool connected_ = false;
  std::string received_;
};

}  // namespace fixcaster::ui::test
