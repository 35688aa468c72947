#include "output/TcpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>

namespace fixcaster {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kIovMax = 64;
// Kernel send buffer per client; with the user-space backlog it bounds what one
// slow client can hold.
constexpr int kSocketSendBuffer = 32 * 1024;
// After running out of descriptors, accepting waits this long instead of spinning
// on a listening socket that stays readable.
constexpr int kAcceptPauseMs = 100;
// A tick's sentences arrive one SendToClients call each within some tens of
// microseconds. Waiting this long after the first one lets a single write per
// client carry the whole tick, which halves the system calls with many clients.
constexpr auto kCoalesce = std::chrono::microseconds(250);

void Signal(int fd) {
  uint64_t one = 1;
  ssize_t r = write(fd, &one, sizeof one);
  (void)r;  // a full counter still wakes the reader
}

int DefaultIoThreads() {
  unsigned n = std::thread::hardware_concurrency();
  return static_cast<int>(std::clamp(n, 1u, 4u));
}

}  // namespace

// One I/O thread with its clients and its copy of the stream they still need.
class TcpServer::Shard {
 public:
  Shard(TcpServer& server, int listenFd) : server_(server), listenFd_(listenFd) {}

  bool Start() {
    epollFd_ = epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (epollFd_ < 0 || wakeFd_ < 0) return false;
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = wakeFd_;
    epoll_ctl(epollFd_, EPOLL_CTL_ADD, wakeFd_, &ev);
    if (listenFd_ >= 0) {
      ev.data.fd = listenFd_;
      epoll_ctl(epollFd_, EPOLL_CTL_ADD, listenFd_, &ev);
    }
    thread_ = std::thread(&Shard::Run, this);
    return true;
  }

  ~Shard() {
    if (thread_.joinable()) {
      {
        std::lock_guard lk(mutex_);
        stopping_ = true;
      }
      Signal(wakeFd_);
      thread_.join();
    }
    // A client handed over after this thread had already closed everything.
    for (int fd : incoming_) close(fd);
    if (epollFd_ >= 0) close(epollFd_);
    if (wakeFd_ >= 0) close(wakeFd_);
  }

  void RequestStop(int flushMs) {
    {
      std::lock_guard lk(mutex_);
      stopping_ = true;
      stopFlushMs_ = flushMs;
    }
    Signal(wakeFd_);
  }
  void Join() {
    if (thread_.joinable()) thread_.join();
  }

  void Send(std::string_view bytes) {
    bool wake;
    {
      std::lock_guard lk(mutex_);
      pending_.emplace_back(bytes);
      wake = !wakePending_;
      wakePending_ = true;
    }
    // One wake-up per batch: the I/O thread takes everything queued when it runs.
    if (wake) Signal(wakeFd_);
  }

  // A client accepted by another shard's thread.
  void Hand(int fd) {
    {
      std::lock_guard lk(mutex_);
      incoming_.push_back(fd);
    }
    Signal(wakeFd_);
  }

  size_t ClientCount() const { return clientCount_.load(std::memory_order_relaxed); }

 private:
  struct Chunk {
    uint64_t start;  // offset of the first byte in the whole stream
    std::string data;
  };
  struct Client {
    int fd;
    uint64_t seq;  // chunk holding the next byte to send
    size_t off;    // offset of that byte in its chunk
    uint64_t pos;  // stream offset of that byte
    bool waitingOut = false;
    bool reading = true;
  };

  void Run();
  void AcceptAll();
  void AddClient(int fd);
  void TakeIncoming();
  void TakePending();
  bool WriteClient(Client& c);
  void ReadClient(size_t index);
  void RemoveClient(size_t index);
  void UpdateEvents(Client& c);
  void WritePass();
  void TrimChunks();
  void CloseAll();

  TcpServer& server_;
  int listenFd_;  // the first shard only; owned by the server
  int epollFd_ = -1;
  int wakeFd_ = -1;
  std::thread thread_;

  // Shared with the sending thread and the accepting shard.
  std::mutex mutex_;
  std::vector<std::string> pending_;
  std::vector<int> incoming_;
  bool wakePending_ = false;
  bool stopping_ = false;
  int stopFlushMs_ = 0;

  // This shard's thread only.
  std::deque<Chunk> chunks_;  // chunks_[i] has sequence number firstSeq_ + i
  uint64_t firstSeq_ = 0;
  uint64_t endOffset_ = 0;
  std::vector<Client> clients_;
  std::vector<int> indexByFd_;
  std::vector<int> toClose_;
  bool acceptPaused_ = false;
  std::atomic<size_t> clientCount_{0};
};

void TcpServer::Shard::AcceptAll() {
  for (;;) {
    int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        epoll_event ev{};
        ev.data.fd = listenFd_;
        epoll_ctl(epollFd_, EPOLL_CTL_MOD, listenFd_, &ev);
        acceptPaused_ = true;
      }
      return;
    }
    int on = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    int sndbuf = kSocketSendBuffer;
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sndbuf, sizeof sndbuf);
    Shard* target = server_.shards_[server_.nextShard_++ % server_.shards_.size()].get();
    if (target == this) {
      AddClient(fd);
    } else {
      target->Hand(fd);
    }
  }
}

void TcpServer::Shard::AddClient(int fd) {
  // Starts at the end of what is already queued: the next block is its first.
  Client c{fd, firstSeq_ + chunks_.size(), 0, endOffset_};
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = fd;
  if (epoll_ctl(epollFd_, EPOLL_CTL_ADD, fd, &ev) != 0) {
    close(fd);
    return;
  }
  if (static_cast<size_t>(fd) >= indexByFd_.size()) indexByFd_.resize(fd + 1, -1);
  indexByFd_[fd] = static_cast<int>(clients_.size());
  clients_.push_back(c);
  clientCount_.store(clients_.size(), std::memory_order_relaxed);
}

void TcpServer::Shard::TakeIncoming() {
  std::vector<int> fds;
  {
    std::lock_guard lk(mutex_);
    fds.swap(incoming_);
  }
  for (int fd : fds) AddClient(fd);
}

void TcpServer::Shard::TakePending() {
  std::vector<std::string> batch;
  {
    std::lock_guard lk(mutex_);
    batch.swap(pending_);
    wakePending_ = false;
  }
  if (batch.empty()) return;
  // One chunk per batch: every client takes the whole batch with one write, and a
  // batch boundary is a block boundary, which is where new clients start.
  std::string data;
  if (batch.size() == 1) {
    data = std::move(batch.front());
  } else {
    size_t size = 0;
    for (const std::string& b : batch) size += b.size();
    data.reserve(size);
    for (const std::string& b : batch) data += b;
  }
  uint64_t start = endOffset_;
  endOffset_ += data.size();
  chunks_.push_back(Chunk{start, std::move(data)});
}

void TcpServer::Shard::UpdateEvents(Client& c) {
  epoll_event ev{};
  ev.events = (c.reading ? EPOLLIN : 0u) | (c.waitingOut ? EPOLLOUT : 0u);
  ev.data.fd = c.fd;
  epoll_ctl(epollFd_, EPOLL_CTL_MOD, c.fd, &ev);
}

bool TcpServer::Shard::WriteClient(Client& c) {
  while (c.pos < endOffset_) {
    iovec iov[kIovMax];
    int n = 0;
    size_t idx = static_cast<size_t>(c.seq - firstSeq_);
    size_t off = c.off;
    while (n < kIovMax && idx < chunks_.size()) {
      const std::string& d = chunks_[idx].data;
      iov[n].iov_base = const_cast<char*>(d.data() + off);
      iov[n].iov_len = d.size() - off;
      ++n;
      ++idx;
      off = 0;
    }
    msghdr msg{};
    msg.msg_iov = iov;
    msg.msg_iovlen = static_cast<size_t>(n);
    ssize_t sent = sendmsg(c.fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) {
        if (!c.waitingOut) {
          c.waitingOut = true;
          UpdateEvents(c);
        }
        return true;
      }
      return false;  // broken connection
    }
    c.pos += static_cast<uint64_t>(sent);
    size_t left = static_cast<size_t>(sent);
    while (left > 0) {
      const std::string& d = chunks_[static_cast<size_t>(c.seq - firstSeq_)].data;
      size_t take = std::min(left, d.size() - c.off);
      c.off += take;
      left -= take;
      if (c.off == d.size()) {
        ++c.seq;
        c.off = 0;
      }
    }
  }
  if (c.waitingOut) {
    c.waitingOut = false;
    UpdateEvents(c);
  }
  return true;
}

void TcpServer::Shard::ReadClient(size_t index) {
  // Input is only read so that it does not pile up; a fixed buffer, a few reads per
  // event so that a flooding client cannot starve the others.
  char buf[16384];
  Client& c = clients_[index];
  for (int i = 0; i < 4; ++i) {
    ssize_t n = recv(c.fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) continue;
    if (n == 0) {
      // The client closed its sending side; it may still read. Stop watching input.
      c.reading = false;
      UpdateEvents(c);
    } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
      RemoveClient(index);
    }
    return;
  }
}

void TcpServer::Shard::RemoveClient(size_t index) {
  Client& c = clients_[index];
  epoll_ctl(epollFd_, EPOLL_CTL_DEL, c.fd, nullptr);
  // Closed after the current batch of events, so that a later event of the same
  // batch cannot be taken for a new client that got the same descriptor number.
  toClose_.push_back(c.fd);
  indexByFd_[c.fd] = -1;
  if (index + 1 != clients_.size()) {
    clients_[index] = clients_.back();
    indexByFd_[clients_[index].fd] = static_cast<int>(index);
  }
  clients_.pop_back();
  clientCount_.store(clients_.size(), std::memory_order_relaxed);
}

void TcpServer::Shard::WritePass() {
  for (size_t i = 0; i < clients_.size();) {
    Client& c = clients_[i];
    bool ok = c.waitingOut || WriteClient(c);
    if (ok && endOffset_ - c.pos > server_.maxBacklog_) {
      ok = false;
      server_.droppedClients_.fetch_add(1, std::memory_order_relaxed);
    }
    if (ok) {
      ++i;
    } else {
      RemoveClient(i);  // the last client moved into slot i
    }
  }
}

void TcpServer::Shard::TrimChunks() {
  uint64_t keep = firstSeq_ + chunks_.size();
  for (const Client& c : clients_) keep = std::min(keep, c.seq);
  while (firstSeq_ < keep) {
    chunks_.pop_front();
    ++firstSeq_;
  }
}

void TcpServer::Shard::CloseAll() {
  for (int fd : toClose_) close(fd);
  toClose_.clear();
  for (const Client& c : clients_) close(c.fd);
  clients_.clear();
  indexByFd_.clear();
  chunks_.clear();
  std::lock_guard lk(mutex_);
  for (int fd : incoming_) close(fd);
  incoming_.clear();
  pending_.clear();
  clientCount_.store(0, std::memory_order_relaxed);
}

void TcpServer::Shard::Run() {
  epoll_event events[256];
  Clock::time_point acceptResume{};
  bool stopping = false;
  Clock::time_point flushDeadline{};
  for (;;) {
    int timeout = -1;
    auto now = Clock::now();
    if (acceptPaused_) {
      timeout = static_cast<int>(std::max<int64_t>(
          0, std::chrono::duration_cast<std::chrono::milliseconds>(acceptResume - now).count()));
    }
    if (stopping) {
      bool backlog = std::any_of(clients_.begin(), clients_.end(),
                                 [&](const Client& c) { return c.pos < endOffset_; });
      if (!backlog || now >= flushDeadline) break;
      timeout = static_cast<int>(
          std::chrono::duration_cast<std::chrono::milliseconds>(flushDeadline - now).count() + 1);
    }
    int n = epoll_wait(epollFd_, events, 256, timeout);
    if (n < 0 && errno != EINTR) break;
    bool wake = false;
    for (int i = 0; i < n; ++i) {
      int fd = events[i].data.fd;
      if (fd == wakeFd_) {
        uint64_t v;
        while (read(wakeFd_, &v, sizeof v) > 0) {
        }
        wake = true;
        continue;
      }
      if (fd == listenFd_) {
        if (!stopping) AcceptAll();
        if (acceptPaused_) acceptResume = Clock::now() + std::chrono::milliseconds(kAcceptPauseMs);
        continue;
      }
      if (static_cast<size_t>(fd) >= indexByFd_.size() || indexByFd_[fd] < 0) continue;
      size_t index = static_cast<size_t>(indexByFd_[fd]);
      uint32_t ev = events[i].events;
      if (ev & (EPOLLERR | EPOLLHUP)) {
        RemoveClient(index);
        continue;
      }
      if (ev & EPOLLIN) {
        ReadClient(index);
        if (indexByFd_[fd] < 0) continue;  // removed
      }
      if ((ev & EPOLLOUT) && clients_[index].waitingOut) {
        if (!WriteClient(clients_[index])) RemoveClient(index);
      }
    }
    if (acceptPaused_ && !stopping && Clock::now() >= acceptResume) {
      acceptPaused_ = false;
      epoll_event ev{};
      ev.events = EPOLLIN;
      ev.data.fd = listenFd_;
      epoll_ctl(epollFd_, EPOLL_CTL_MOD, listenFd_, &ev);
    }
    if (wake && !stopping) {
      int flushMs;
      {
        std::lock_guard lk(mutex_);
        stopping = stopping_;
        flushMs = stopFlushMs_;
      }
      TakeIncoming();
      if (!stopping && !clients_.empty()) std::this_thread::sleep_for(kCoalesce);
      TakePending();
      if (stopping) {
        if (listenFd_ >= 0) epoll_ctl(epollFd_, EPOLL_CTL_DEL, listenFd_, nullptr);
        flushDeadline = Clock::now() + std::chrono::milliseconds(flushMs);
      }
    }
    WritePass();
    TrimChunks();
    for (int fd : toClose_) close(fd);
    toClose_.clear();
  }
  CloseAll();
}

TcpServer::TcpServer(size_t maxClientBacklog, int ioThreads)
    : maxBacklog_(maxClientBacklog), ioThreads_(ioThreads > 0 ? ioThreads : DefaultIoThreads()) {}

TcpServer::~TcpServer() {
  Stop(0);
}

bool TcpServer::Listen(uint16_t port) {
  Stop(0);
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(port);
  socklen_t len = sizeof addr;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(fd, SOMAXCONN) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(fd);
    return false;
  }
  listenFd_ = fd;
  port_ = ntohs(addr.sin_port);
  droppedClients_ = 0;
  nextShard_ = 0;
  // The shards exist before any thread runs, so the accepting thread can hand
  // clients to all of them.
  for (int i = 0; i < ioThreads_; ++i)
    shards_.push_back(std::make_unique<Shard>(*this, i == 0 ? listenFd_ : -1));
  for (auto& shard : shards_) {
    if (!shard->Start()) {
      shards_.clear();
      close(listenFd_);
      listenFd_ = -1;
      port_ = 0;
      return false;
    }
  }
  listening_.store(true, std::memory_order_release);
  return true;
}

void TcpServer::Stop(int flushMs) {
  if (!listening_.load(std::memory_order_relaxed)) return;
  // Nothing new is queued from here on.
  listening_.store(false, std::memory_order_release);
  for (auto& shard : shards_) shard->RequestStop(flushMs);
  for (auto& shard : shards_) shard->Join();
  shards_.clear();
  close(listenFd_);
  listenFd_ = -1;
  port_ = 0;
}

void TcpServer::SendToClients(std::string_view bytes) {
  if (bytes.empty() || !listening_.load(std::memory_order_acquire)) return;
  for (auto& shard : shards_) shard->Send(bytes);
}

size_t TcpServer::ClientCount() const {
  size_t n = 0;
  for (const auto& shard : shards_) n += shard->ClientCount();
  return n;
}

}  // namespace fixcaster
