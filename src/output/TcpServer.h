#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace fixcaster {

// The TCP server of the output: listens on all local IPv4 addresses and sends the
// same byte stream to every connected client.
//
// The sending thread never waits on a client. SendToClients only hands the bytes
// to the I/O threads, which write them to every client through non-blocking
// sockets (epoll loops, so a thousand clients cost no thousand threads). Each
// client may fall behind by at most MaxClientBacklog bytes; a client that falls
// further behind (it stopped reading) is disconnected, so the others still get
// every byte. A client only ever receives whole SendToClients blocks from the one
// after its connection was accepted: no gap, no torn sentence. What clients send is
// read and thrown away in fixed-size pieces.
//
// The clients are spread over one I/O thread per processor core (at most four),
// each with its own epoll loop and its own copy of the recent stream, so that the
// writes of a tick to many clients run in parallel.
class TcpServer {
 public:
  // About one second of output at 20 Hz with every sentence and the largest preset
  // (some 3 KB a tick), with room to spare.
  static constexpr size_t kMaxClientBacklog = 64 * 1024;

  // ioThreads 0: one per processor core, at most four.
  explicit TcpServer(size_t maxClientBacklog = kMaxClientBacklog, int ioThreads = 0);
  ~TcpServer();
  TcpServer(const TcpServer&) = delete;
  TcpServer& operator=(const TcpServer&) = delete;

  // Starts listening (restarting if already listening). Port 0 takes a free port.
  // False when the port cannot be listened on; the server is then stopped.
  bool Listen(uint16_t port);
  // Closes the listening socket and every client. Clients still holding unsent
  // output get up to flushMs to take it.
  void Stop(int flushMs = 0);
  bool IsListening() const { return listening_.load(std::memory_order_acquire); }
  uint16_t Port() const { return port_; }

  // Queues one block for every client connected now. Never blocks on a client.
  void SendToClients(std::string_view bytes);

  size_t ClientCount() const;
  // Clients disconnected because their backlog overflowed (since Listen).
  uint64_t DroppedClients() const { return droppedClients_.load(std::memory_order_relaxed); }
  size_t MaxClientBacklog() const { return maxBacklog_; }

 private:
  class Shard;
  // Hands an accepted client to the shards in turn.
  void Assign(int fd);

  const size_t maxBacklog_;
  const int ioThreads_;
  std::atomic<bool> listening_{false};
  uint16_t port_ = 0;
  int listenFd_ = -1;
  size_t nextShard_ = 0;  // I/O thread of the first shard only
  std::vector<std::unique_ptr<Shard>> shards_;
  std::atomic<uint64_t> droppedClients_{0};
};

}  // namespace fixcaster
