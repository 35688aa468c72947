#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
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
// to one I/O thread, which writes them to every client through non-blocking
// sockets (one epoll loop, so a thousand clients cost no thousand threads). Each
// client may fall behind by at most MaxClientBacklog bytes; a client that falls
// further behind (it stopped reading) is disconnected, so the others still get
// every byte. A client only ever receives whole SendToClients blocks from the one
// after its connection was accepted: no gap, no torn sentence. What clients send is
// read and thrown away in fixed-size pieces.
class TcpServer {
 public:
  // About one second of output at 20 Hz with every sentence and the largest preset
  // (some 3 KB a tick), with room to spare.
  static constexpr size_t kMaxClientBacklog = 64 * 1024;

  explicit TcpServer(size_t maxClientBacklog = kMaxClientBacklog);
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

  size_t ClientCount() const { return clientCount_.load(std::memory_order_relaxed); }
  // Clients disconnected because their backlog overflowed (since Listen).
  uint64_t DroppedClients() const { return droppedClients_.load(std::memory_order_relaxed); }
  size_t MaxClientBacklog() const { return maxBacklog_; }

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
  void TakePending();
  // Sends what it can; false when the client must go.
  bool WriteClient(Client& c);
  void ReadClient(size_t index);
  void RemoveClient(size_t index);
  void UpdateEvents(Client& c);
  void WritePass();
  void TrimChunks();

  const size_t maxBacklog_;
  std::atomic<bool> listening_{false};
  uint16_t port_ = 0;
  int listenFd_ = -1;
  int epollFd_ = -1;
  int wakeFd_ = -1;
  std::thread thread_;

  // Shared with the sending thread.
  std::mutex mutex_;
  std::vector<std::string> pending_;
  bool wakePending_ = false;
  bool stopping_ = false;
  int stopFlushMs_ = 0;

  // I/O thread only.
  std::deque<Chunk> chunks_;  // chunks_[i] has sequence number firstSeq_ + i
  uint64_t firstSeq_ = 0;
  uint64_t endOffset_ = 0;
  std::vector<Client> clients_;
  std::vector<int> indexByFd_;
  std::vector<int> toClose_;
  bool acceptPaused_ = false;

  std::atomic<size_t> clientCount_{0};
  std::atomic<uint64_t> droppedClients_{0};
};

}  // namespace fixcaster
