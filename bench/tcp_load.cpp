// Load program for the TCP output: starts the server in-process through the
// output port, connects N loopback clients, sends one realistic tick (every
// sentence type, the multi-system satellite preset) at F Hz for S seconds, and
// prints as its last line
//   clients=N complete=K ticks=T bytes_per_client=B p50_ms=.. p99_ms=.. max_ms=..
//   send_us_per_tick=..
// K: clients that received every byte, in order; latency: from the start of a
// tick's first SendText to the client's receipt of that tick's last byte;
// send_us_per_tick: the sending (user-interface) thread's mean time in SendText
// per tick.
//
// The tick is built once by the sentence builders (NMEA 4.1, preset 4) and sent
// unchanged every time, so every client can check every byte.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "output/OutputPort.h"
#include "realistic_tick.h"

namespace {

using Clock = std::chrono::steady_clock;
using fixcaster::AppState;
using fixcaster::OutputMessageId;
using fixcaster::OutputMessageSink;
using fixcaster::OutputPort;

class StderrSink : public OutputMessageSink {
 public:
  void ShowOutputMessage(OutputMessageId id, const std::vector<std::string>&) override {
    std::fprintf(stderr, "output message %d\n", static_cast<int>(id));
  }
};

struct ClientState {
  int fd = -1;
  uint64_t received = 0;
  uint64_t nextTick = 0;  // index of the tick whose last byte is awaited
  bool mismatch = false;
  bool closed = false;
};

struct Shared {
  std::string tick;
  uint64_t ticks = 0;
  std::unique_ptr<std::atomic<int64_t>[]> tickStartNs;  // per tick, 0 = not sent yet
  std::atomic<bool> stop{false};
  std::atomic<int> finished{0};  // clients that got everything or went away
};

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// One reader thread: an epoll loop over its share of the clients.
void ReadClients(Shared& shared, std::vector<ClientState>& clients, std::vector<float>& latencies) {
  int ep = epoll_create1(EPOLL_CLOEXEC);
  for (size_t i = 0; i < clients.size(); ++i) {
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = i;
    epoll_ctl(ep, EPOLL_CTL_ADD, clients[i].fd, &ev);
  }
  const uint64_t tickLen = shared.tick.size();
  const uint64_t total = tickLen * shared.ticks;
  size_t open = clients.size();
  std::vector<char> buf(1 << 16);
  epoll_event events[256];
  while (open > 0 && !shared.stop.load(std::memory_order_relaxed)) {
    int n = epoll_wait(ep, events, 256, 100);
    for (int e = 0; e < n; ++e) {
      ClientState& c = clients[events[e].data.u64];
      for (;;) {
        ssize_t got = recv(c.fd, buf.data(), buf.size(), MSG_DONTWAIT);
        if (got <= 0) {
          if (got == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            c.closed = true;
            epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
            --open;
            shared.finished.fetch_add(1);
          }
          break;
        }
        int64_t now = NowNs();
        // The stream is the tick repeated: check every byte against it.
        uint64_t pos = c.received;
        size_t off = 0;
        while (off < static_cast<size_t>(got)) {
          size_t at = static_cast<size_t>(pos % tickLen);
          size_t len = std::min<size_t>(tickLen - at, static_cast<size_t>(got) - off);
          if (pos + len > total || std::memcmp(buf.data() + off, shared.tick.data() + at, len) != 0)
            c.mismatch = true;
          pos += len;
          off += len;
        }
        c.received = pos;
        while (c.nextTick < shared.ticks && c.received >= (c.nextTick + 1) * tickLen) {
          int64_t start = shared.tickStartNs[c.nextTick].load(std::memory_order_acquire);
          latencies.push_back(static_cast<float>((now - start) / 1e6));
          ++c.nextTick;
        }
        if (c.received >= total) {
          epoll_ctl(ep, EPOLL_CTL_DEL, c.fd, nullptr);
          --open;
          shared.finished.fetch_add(1);
          break;
        }
        // A short read took everything there was; the level-triggered epoll reports
        // the socket again when more arrives, which saves a failing recv per tick.
        if (static_cast<size_t>(got) < buf.size()) break;
      }
    }
  }
  close(ep);
}

double Percentile(std::vector<float>& v, double p) {
  if (v.empty()) return 0;
  size_t k = static_cast<size_t>(p * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(k), v.end());
  return v[k];
}

}  // namespace

int main(int argc, char** argv) {
  int clients = 100;
  double hz = 20;
  double seconds = 5;
  int readers = 2;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    if (key == "--clients")
      clients = std::atoi(argv[i + 1]);
    else if (key == "--hz")
      hz = std::atof(argv[i + 1]);
    else if (key == "--seconds")
      seconds = std::atof(argv[i + 1]);
    else if (key == "--readers")
      readers = std::max(1, std::atoi(argv[i + 1]));
    else {
      std::fprintf(stderr, "usage: %s [--clients N] [--hz F] [--seconds S] [--readers R]\n",
                   argv[0]);
      return 2;
    }
  }
  if (clients < 1 || hz <= 0 || seconds <= 0) return 2;

  // Two descriptors per client (both ends live in this process) and some spare.
  rlimit lim{};
  getrlimit(RLIMIT_NOFILE, &lim);
  rlim_t need = static_cast<rlim_t>(clients) * 2 + 64;
  if (lim.rlim_cur < need) {
    lim.rlim_cur = std::min(need, lim.rlim_max);
    setrlimit(RLIMIT_NOFILE, &lim);
    if (lim.rlim_cur < need) {
      std::fprintf(stderr, "descriptor limit %lu is too low for %d clients\n",
                   static_cast<unsigned long>(lim.rlim_cur), clients);
      return 1;
    }
  }

  AppState state;
  StderrSink sink;
  OutputPort port(state, sink, nullptr);
  state.ComboBoxPort.Text = "TCP";
  state.EditTCPport.Text = "0";
  port.OpenOutputPort();
  if (!port.IdTCPServer1.IsListening()) return 1;
  uint16_t tcpPort = port.IdTCPServer1.Port();

  std::vector<std::string> sentences = fixcaster::RealisticTickSentences(46000.5);
  Shared shared;
  for (const std::string& s : sentences) shared.tick += s;
  shared.ticks = static_cast<uint64_t>(seconds * hz + 0.5);
  shared.tickStartNs = std::make_unique<std::atomic<int64_t>[]>(shared.ticks);

  std::vector<std::vector<ClientState>> groups(static_cast<size_t>(readers));
  for (int i = 0; i < clients; ++i) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(tcpPort);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      std::perror("connect");
      return 1;
    }
    ClientState c;
    c.fd = fd;
    groups[static_cast<size_t>(i % readers)].push_back(c);
  }
  auto acceptDeadline = Clock::now() + std::chrono::seconds(30);
  while (port.IdTCPServer1.ClientCount() < static_cast<size_t>(clients) &&
         Clock::now() < acceptDeadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));

  std::vector<std::vector<float>> latencies(static_cast<size_t>(readers));
  std::vector<std::thread> threads;
  for (int r = 0; r < readers; ++r)
    threads.emplace_back(ReadClients, std::ref(shared), std::ref(groups[static_cast<size_t>(r)]),
                         std::ref(latencies[static_cast<size_t>(r)]));

  // The sending thread: ticks on an absolute schedule, as the output timer does.
  const auto period = std::chrono::nanoseconds(static_cast<int64_t>(1e9 / hz));
  auto next = Clock::now();
  double sendUsTotal = 0;
  double sendUsMax = 0;
  for (uint64_t t = 0; t < shared.ticks; ++t) {
    std::this_thread::sleep_until(next);
    next += period;
    auto start = Clock::now();
    shared.tickStartNs[t].store(NowNs(), std::memory_order_release);
    port.ResetSent();
    for (const std::string& s : sentences) port.SendText(s);
    double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
    sendUsTotal += us;
    sendUsMax = std::max(sendUsMax, us);
  }

  // Let the last tick arrive, then stop the readers.
  auto drainDeadline = Clock::now() + std::chrono::seconds(5);
  while (shared.finished.load() < clients && Clock::now() < drainDeadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  shared.stop = true;
  for (auto& th : threads) th.join();

  const uint64_t total = shared.tick.size() * shared.ticks;
  int complete = 0;
  for (auto& g : groups)
    for (auto& c : g) {
      if (!c.mismatch && c.received == total) ++complete;
      close(c.fd);
    }
  std::vector<float> all;
  for (auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
  double p50 = Percentile(all, 0.50);
  double p99 = Percentile(all, 0.99);
  double mx = all.empty() ? 0 : *std::max_element(all.begin(), all.end());
  std::printf("dropped_clients=%llu send_us_max=%.1f tick_bytes=%zu sentences=%zu\n",
              static_cast<unsigned long long>(port.IdTCPServer1.DroppedClients()), sendUsMax,
              shared.tick.size(), sentences.size());
  std::printf(
      "clients=%d complete=%d ticks=%llu bytes_per_client=%llu p50_ms=%.3f p99_ms=%.3f "
      "max_ms=%.3f send_us_per_tick=%.1f\n",
      clients, complete, static_cast<unsigned long long>(shared.ticks),
      static_cast<unsigned long long>(total), p50, p99, mx,
      shared.ticks ? sendUsTotal / static_cast<double>(shared.ticks) : 0.0);
  port.CloseOutputPort();
  return complete == clients ? 0 : 1;
}
