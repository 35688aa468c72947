#pragma once

#include <QTest>
#include <string>

#include "support/Tcp.h"

namespace fixcaster::ui::test {

using fixcaster::testing::FreeTcpPort;

// A loopback client of the program's TCP server (tests/support/Tcp.h) whose waits
// keep the window's event loop running: the ticks must go on while a test waits.
class TcpClient : public fixcaster::testing::TcpClient {
 public:
  explicit TcpClient(int port) : fixcaster::testing::TcpClient(static_cast<uint16_t>(port)) {}

  // Lets the event loop run until `pred` holds for what has arrived, or the time is up.
  template <class Pred>
  bool WaitFor(Pred pred, int timeoutMs = 5000) {
    return QTest::qWaitFor(
        [&] {
          Drain();
          return pred(Received());
        },
        timeoutMs);
  }
  bool WaitForText(const std::string& text, int timeoutMs = 5000) {
    return WaitFor([&](const std::string& r) { return r.find(text) != std::string::npos; },
                   timeoutMs);
  }
};

}  // namespace fixcaster::ui::test
