#pragma once

// The common part of the extra outputs (not for use outside src/output).

#include <sys/uio.h>

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "output/ExtraOutput.h"

namespace fixcaster::detail {

// What the worker waits for besides a new tick or a close: one descriptor and a
// time-out in milliseconds (-1: none).
struct WorkerWait {
  int fd = -1;
  short events = 0;
  int timeoutMs = -1;
};

enum class WriteOutcome { Done, WouldBlock, Failed };

// A bounded queue of whole ticks between the owner and a worker thread of the
// output's own, which makes every system call that could wait. The owner's
// SendTick only copies the tick into the queue (a lock held for a few pointer
// moves, by either side), so a stalled reader, a slow disk or a name server never
// holds up the tick or the other outputs.
//
// The queue keeps at most the backlog limit. Beyond it the oldest whole ticks that
// have not started going out are dropped and counted: a tick partly written is
// always finished, so a reader never sees a torn sentence.
class WorkerOutput : public ExtraOutput {
 public:
  WorkerOutput(OutputSpec spec, OutputReporter reporter, size_t backlogLimit);
  // Derived classes call Close() in their own destructor, while their part exists.
  ~WorkerOutput() override;
  WorkerOutput(const WorkerOutput&) = delete;
  WorkerOutput& operator=(const WorkerOutput&) = delete;

  bool Open() final;
  void Close() final;
  void SendTick(std::string_view tick) final;
  OutputStatus Status() const final;

 protected:
  const OutputSpec& Spec() const { return spec_; }

  // Owner's thread, in Open: setup that must be done when Open returns (quick and
  // local). False after a Report: the output failed.
  virtual bool Prepare() { return true; }
  // Worker thread, once before its loop. False after a Report: the output failed.
  virtual bool Begin() { return true; }
  // Worker thread: what to wait for next.
  virtual WorkerWait Wait() = 0;
  // Worker thread, after every wake-up (a new tick, the descriptor of Wait, its
  // time-out); `revents` are the descriptor's events, 0 when it was not the cause.
  // False after a Report: the output failed and the worker ends.
  virtual bool Service(short revents) = 0;
  // Worker thread when it ends, also after a failure (and on the owner's thread if
  // the worker could not start): releases what Prepare and Begin took.
  virtual void End() {}

  // For the worker.
  void Report(OutputProblem problem);
  void SetState(OutputState state) { state_.store(state, std::memory_order_release); }
  OutputState State() const { return state_.load(std::memory_order_acquire); }
  void SetClients(uint32_t n) { clients_.store(n, std::memory_order_relaxed); }
  void SetDevice(std::string device);
  void AddSent(uint64_t bytes) { bytes_.fetch_add(bytes, std::memory_order_relaxed); }
  void AddDrops(uint64_t ticks) { drops_.fetch_add(ticks, std::memory_order_relaxed); }
  void CountAttempt() { attempts_.fetch_add(1, std::memory_order_relaxed); }

  bool HasQueued() const;
  // Writes queued bytes to `fd` until the queue is empty or the descriptor would
  // block; sockets are written with send (no SIGPIPE). On Failed, *error is errno.
  WriteOutcome WriteQueue(int fd, bool socket, int* error);
  // Takes every whole queued tick (for outputs that send a tick as one unit).
  std::vector<std::shared_ptr<const std::string>> TakeTicks();
  // Drops (and counts) every tick not yet started, or all but the newest.
  void DropQueued(bool keepNewest);

 private:
  using Tick = std::shared_ptr<const std::string>;

  void Run();
  void Fail();
  void Trim();  // with mutex_ held
  size_t Gather(iovec* iov, size_t max);
  void Advance(size_t written);
  void ResetQueue();

  const OutputSpec spec_;
  const OutputReporter reporter_;
  const size_t limit_;

  int wakeFd_ = -1;
  std::thread thread_;

  mutable std::mutex mutex_;
  // Guarded by mutex_.
  std::deque<Tick> ticks_;
  size_t headOffset_ = 0;  // bytes of ticks_.front() already written
  size_t queued_ = 0;      // bytes not yet written
  size_t inFlight_ = 0;    // ticks at the front the worker is writing now
  bool accepting_ = false;
  bool stopping_ = false;
  std::optional<OutputProblem> lastError_;
  std::string device_;

  std::vector<Tick> hold_;  // worker: the ticks of the write in progress

  std::atomic<OutputState> state_{OutputState::Closed};
  std::atomic<uint32_t> clients_{0};
  std::atomic<uint64_t> bytes_{0};
  std::atomic<uint64_t> drops_{0};
  std::atomic<uint32_t> attempts_{0};
};

}  // namespace fixcaster::detail
