// The send path as the user-interface thread sees it: one tick of sentences into
// the TCP server with N reading clients, into the serial component on a pty, and
// into the extra outputs (UDP, pty, log file).

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "output/OutputPort.h"
#include "output/OutputSet.h"
#include "realistic_tick.h"

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

// A busy tick (every sentence, preset 4, some 3 KB) to a UDP, a pty and a log
// file output, each read or written as fast as it goes.
class ExtraOutputsRig {
 public:
  ExtraOutputsRig() : set_(nullptr, nullptr) {
    for (const std::string& s : fixcaster::RealisticTickSentences(46000.5)) tick_ += s;
    std::string tmpl = (std::filesystem::temp_directory_path() / "fixcaster-bench-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return;
    dir_ = tmpl;
    udp_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(udp_, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(udp_, reinterpret_cast<sockaddr*>(&addr), &len);
    const std::string link = (dir_ / "gps0").string();
    ok_ = set_.Add("udp:127.0.0.1:" + std::to_string(ntohs(addr.sin_port))).id >= 0 &&
          set_.Add("pty:" + link).id >= 0 &&
          set_.Add("file:" + (dir_ / "run.nmea").string()).id >= 0;
    reader_ = open(link.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    while (ok_ && !AllOpen()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    drain_ = std::make_unique<Drain>(std::vector<int>{udp_, reader_});
  }
  ~ExtraOutputsRig() {
    drain_.reset();
    set_.Clear();
    if (reader_ >= 0) close(reader_);
    if (udp_ >= 0) close(udp_);
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  bool Ok() const { return ok_ && reader_ >= 0; }
  fixcaster::OutputSet& Set() { return set_; }
  const std::string& Tick() const { return tick_; }
  // Bytes every output has delivered, the least of them.
  uint64_t Delivered() const {
    uint64_t least = UINT64_MAX;
    for (const auto& e : set_.Status()) least = std::min(least, e.status.bytes);
    return least;
  }
  uint64_t Drops() const {
    uint64_t n = 0;
    for (const auto& e : set_.Status()) n += e.status.drops;
    return n;
  }

 private:
  bool AllOpen() const {
    for (const auto& e : set_.Status())
      if (e.status.state != fixcaster::OutputState::Open) return false;
    return true;
  }

  fixcaster::OutputSet set_;
  std::string tick_;
  std::filesystem::path dir_;
  int udp_ = -1;
  int reader_ = -1;
  bool ok_ = false;
  std::unique_ptr<Drain> drain_;
};

// What the tick costs the user-interface thread: handing it to the three outputs.
void BM_SendTickExtraOutputs(benchmark::State& st) {
  ExtraOutputsRig rig;
  if (!rig.Ok()) {
    st.SkipWithError("outputs did not open");
    return;
  }
  for (auto _ : st) {
    rig.Set().SendTick(rig.Tick());
    // Paced like a fast output timer, so the outputs keep up as they would.
    st.PauseTiming();
    std::this_thread::sleep_for(std::chrono::microseconds(500));
    st.ResumeTiming();
  }
  st.counters["tick_bytes"] = static_cast<double>(rig.Tick().size());
  st.counters["drops"] = static_cast<double>(rig.Drops());
}
BENCHMARK(BM_SendTickExtraOutputs)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// From handing the tick over until every output has delivered it (written to the
// socket, the terminal and the file): the workers' wake-up and system calls too.
void BM_DeliverTickExtraOutputs(benchmark::State& st) {
  ExtraOutputsRig rig;
  if (!rig.Ok()) {
    st.SkipWithError("outputs did not open");
    return;
  }
  uint64_t target = 0;
  for (auto _ : st) {
    target += rig.Tick().size();
    rig.Set().SendTick(rig.Tick());
    while (rig.Delivered() < target) std::this_thread::yield();
  }
  st.counters["drops"] = static_cast<double>(rig.Drops());
}
BENCHMARK(BM_DeliverTickExtraOutputs)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace
