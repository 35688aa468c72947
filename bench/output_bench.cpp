// The send path as the user-interface thread sees it: one tick of sentences into
// the TCP server with N reading clients, and into the serial component on a pty.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "output/OutputPort.h"

namespace {

using fixcaster::AppState;
using fixcaster::OutputMessageId;
using fixcaster::OutputMessageSink;
using fixcaster::OutputPort;

const std::vector<std::string>& Tick() {
  static const std::vector<std::string> lines = {
      "$GPRMC,123519.00,A,3540.7892,N,13945.9123,E,12.4,084.4,101226,,,A,V*2C\r\n",
      "$GPGGA,123519.00,3540.7892,N,13945.9123,E,1,13,0.55,45.3,M,39.1,M,,*5B\r\n",
      "$GPGLL,3540.7892,N,13945.9123,E,123519.00,A,A*6F\r\n",
      "$GPVTG,084.4,T,,M,12.4,N,23.0,K,A*0D\r\n",
      "$GPZDA,123519.00,10,12,2026,00,00*6A\r\n",
      "$GNGSA,A,3,02,06,09,23,12,17,19,05,07,,,,0.95,0.55,0.78,1*00\r\n",
      "$GPGSV,3,1,12,02,45,317,40,04,65,110,43,05,23,260,47,06,71,043,45,1*60\r\n",
      "$GPGSV,3,2,12,07,11,119,47,09,52,064,42,12,12,274,41,17,34,171,34,1*69\r\n",
      "$GPGSV,3,3,12,19,51,181,41,23,23,045,37,25,01,313,,30,03,150,,1*6C\r\n",
  };
  return lines;
}

class NullSink : public OutputMessageSink {
 public:
  void ShowOutputMessage(OutputMessageId, const std::vector<std::string>&) override {}
};

// Reads and discards everything on the given descriptors until stopped.
class Drain {
 public:
  explicit Drain(std::vector<int> fds) : fds_(std::move(fds)) {
    thread_ = std::thread([this] {
      std::vector<pollfd> p;
      for (int fd : fds_) p.push_back({fd, POLLIN, 0});
      char buf[65536];
      while (!stop_) {
        if (poll(p.data(), p.size(), 20) <= 0) continue;
        for (const pollfd& q : p)
          if (q.revents & POLLIN) {
            ssize_t n = read(q.fd, buf, sizeof buf);
            (void)n;
          }
      }
    });
  }
  ~Drain() {
    stop_ = true;
    thread_.join();
  }

 private:
  std::vector<int> fds_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

void BM_SendTickTcp(benchmark::State& st) {
  AppState state;
  NullSink sink;
  OutputPort port(state, sink, nullptr);
  state.ComboBoxPort.Text = "TCP";
  state.EditTCPport.Text = "0";
  port.OpenOutputPort();
  std::vector<int> fds;
  for (int64_t i = 0; i < st.range(0); ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port.IdTCPServer1.Port());
    connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    fds.push_back(fd);
  }
  while (port.IdTCPServer1.ClientCount() < fds.size())
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  {
    Drain drain(fds);
    for (auto _ : st) {
      port.ResetSent();
      for (const std::string& s : Tick()) port.SendText(s);
      benchmark::DoNotOptimize(port.SentBytes());
      // Paced like a fast output timer, so the clients keep up as they would.
      st.PauseTiming();
      std::this_thread::sleep_for(std::chrono::microseconds(500));
      st.ResumeTiming();
    }
  }
  st.counters["dropped"] = static_cast<double>(port.IdTCPServer1.DroppedClients());
  port.CloseOutputPort();
  for (int fd : fds) close(fd);
}
// Fixed iterations: each one also waits for the clients, as a timer tick would.
BENCHMARK(BM_SendTickTcp)->Arg(1)->Arg(100)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_SendTickSerial(benchmark::State& st) {
  int master = -1;
  int slave = -1;
  char name[256];
  if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
    st.SkipWithError("no pseudo-terminal");
    return;
  }
  AppState state;
  NullSink sink;
  OutputPort port(state, sink, nullptr, fixcaster::PortDiscovery{"/nonexistent", "", ""});
  state.ComboBoxPort.Text = name;
  state.ComboBoxBaud.Text = "460800";
  port.OpenOutputPort();
  if (!port.IsSerialOpen()) {
    st.SkipWithError("serial open failed");
    return;
  }
  {
    Drain drain({master});
    for (auto _ : st) {
      port.ResetSent();
      for (const std::string& s : Tick()) port.SendText(s);
      benchmark::DoNotOptimize(port.SentBytes());
    }
  }
  port.CloseOutputPort();
  close(master);
  close(slave);
}
BENCHMARK(BM_SendTickSerial)->Unit(benchmark::kMicrosecond);

}  // namespace
