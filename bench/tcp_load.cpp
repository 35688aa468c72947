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
// The position sentences are fixed realistic lines (the same every tick); their
// sizes are those of real output with the default decimals.

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

namespace {

using Clock = std::chrono::steady_clock;
using fixcaster::AppState;
using fixcaster::OutputMessageId;
using fixcaster::OutputMessageSink;
using fixcaster::OutputPort;

std::string Frame(const std::string& body) {
  unsigned sum = 0;
  for (size_t i = 1; i < body.size(); ++i) sum ^= static_cast<unsigned char>(body[i]);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return body + tail;
}

std::vector<std::string> TickSentences() {
  const char* lines[] = {
      "$GPRMC,123519.00,A,3540.7892,N,13945.9123,E,12.4,084.4,101226,,,A,V",
      "$GPGGA,123519.00,3540.7892,N,13945.9123,E,1,13,0.55,45.3,M,39.1,M,,",
      "$GNGNS,123519.00,3540.7892,N,13945.9123,E,AAAN,13,0.55,45.3,39.1,,,V",
      "$GPGLL,3540.7892,N,13945.9123,E,123519.00,A,A",
      "$GPVTG,084.4,T,,M,12.4,N,23.0,K,A",
      "$GPZDA,123519.00,10,12,2026,00,00",
      "$GPHDT,084.4,T",
      "$GNGSA,A,3,02,06,09,23,12,17,19,05,07,,,,0.95,0.55,0.78,1",
      "$GNGSA,A,3,82,69,84,83,,,,,,,,,0.95,0.55,0.78,2",
      "$GNGSA,A,3,36,03,05,09,11,,,,,,,,0.95,0.55,0.78,3",
      "$GNGSA,A,3,28,33,08,06,13,14,16,,,,,,0.95,0.55,0.78,4",
      "$GPGSV,3,1,12,02,45,317,40,04,65,110,43,05,23,260,47,06,71,043,45,1",
      "$GPGSV,3,2,12,07,11,119,47,09,52,064,42,12,12,274,41,17,34,171,34,1",
      "$GPGSV,3,3,12,19,51,181,41,23,23,045,37,25,01,313,,30,03,150,,1",
      "$GPGSV,3,1,12,02,45,317,,04,65,110,44,05,23,260,42,06,71,043,41,6",
      "$GPGSV,3,2,12,07,11,119,40,09,52,064,32,12,12,274,37,17,34,171,33,6",
      "$GPGSV,3,3,12,19,51,181,,23,23,045,,25,01,313,,30,03,150,,6",
      "$GLGSV,2,1,08,67,11,036,,68,63,015,,69,57,241,42,70,02,224,26,1",
      "$GLGSV,2,2,08,82,22,141,45,83,72,117,33,84,42,333,30,,,,37,1",
      "$GLGSV,2,1,08,67,11,036,22,68,63,015,,69,57,241,40,70,02,224,,3",
      "$GLGSV,2,2,08,82,22,141,40,83,72,117,39,84,42,333,32,,,,37,3",
      "$GAGSV,2,1,08,03,18,217,40,04,02,041,18,05,70,199,47,09,52,049,39,7",
      "$GAGSV,2,2,08,11,17,128,42,15,04,313,,18,60,207,47,36,68,110,44,7",
      "$GAGSV,2,1,08,03,18,217,42,04,02,041,,05,70,199,43,09,52,049,33,2",
      "$GAGSV,2,2,08,11,17,128,35,15,04,313,,18,60,207,43,36,68,110,48,2",
      "$GBGSV,5,1,17,01,49,179,,02,20,249,,03,40,224,,04,44,147,,1",
      "$GBGSV,5,2,17,05,00,265,,06,33,197,41,07,04,207,,08,65,348,40,1",
      "$GBGSV,5,3,17,09,06,206,,10,08,232,23,13,44,317,36,14,25,048,33,1",
      "$GBGSV,5,4,17,16,26,200,39,27,53,308,,28,66,167,42,30,03,321,,1",
      "$GBGSV,5,5,17,33,51,040,36,1",
      "$GBGSV,5,1,17,01,49,179,,02,20,249,,03,40,224,,04,44,147,,3",
      "$GBGSV,5,2,17,05,00,265,,06,33,197,45,07,04,207,,08,65,348,36,3",
      "$GBGSV,5,3,17,09,06,206,,10,08,232,23,13,44,317,38,14,25,048,29,3",
      "$GBGSV,5,4,17,16,26,200,41,27,53,308,,28,66,167,,30,03,321,,3",
      "$GBGSV,5,5,17,33,51,040,,3",
  };
  std::vector<std::string> out;
  for (const char* line : lines) out.push_back(Frame(line));
  return out;
}

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

  std::vector<std::string> sentences = TickSentences();
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
