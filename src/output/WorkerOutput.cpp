#include "output/WorkerOutput.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace fixcaster::detail {

namespace {

// Ticks per write call; a tick is a few kilobytes, so this covers any backlog.
constexpr size_t kIovMax = 64;

void Signal(int fd) {
  if (fd < 0) return;
  uint64_t one = 1;
  ssize_t r = write(fd, &one, sizeof one);
  (void)r;  // a full counter still wakes the reader
}

}  // namespace

WorkerOutput::WorkerOutput(OutputSpec spec, OutputReporter reporter, size_t backlogLimit)
    : spec_(std::move(spec)), reporter_(std::move(reporter)), limit_(backlogLimit) {}

WorkerOutput::~WorkerOutput() {
  Close();
}

bool WorkerOutput::Open() {
  if (thread_.joinable()) {
    if (State() != OutputState::Failed) return true;
    thread_.join();  // a failed worker has already ended
  }
  Close();
  bytes_ = 0;
  drops_ = 0;
  attempts_ = 0;
  {
    std::lock_guard lk(mutex_);
    lastError_.reset();
    device_.clear();
  }
  SetState(OutputState::Connecting);
  wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd_ < 0) {
    Report({OutputProblemId::StartFailed, "", ErrnoText(errno)});
    SetState(OutputState::Failed);
    return false;
  }
  if (!Prepare()) {
    End();
    SetState(OutputState::Failed);
    return false;
  }
  {
    std::lock_guard lk(mutex_);
    accepting_ = true;
    stopping_ = false;
  }
  try {
    thread_ = std::thread(&WorkerOutput::Run, this);
  } catch (const std::system_error& e) {
    {
      std::lock_guard lk(mutex_);
      accepting_ = false;
    }
    End();
    Report({OutputProblemId::StartFailed, "", e.what()});
    SetState(OutputState::Failed);
    return false;
  }
  return true;
}

void WorkerOutput::Close() {
  if (thread_.joinable()) {
    {
      std::lock_guard lk(mutex_);
      stopping_ = true;
      accepting_ = false;
    }
    Signal(wakeFd_);
    thread_.join();
  }
  if (wakeFd_ >= 0) close(wakeFd_);
  wakeFd_ = -1;
  ResetQueue();
  SetClients(0);
  SetState(OutputState::Closed);
}

void WorkerOutput::SendTick(std::string_view tick) {
  if (tick.empty()) return;
  auto copy = std::make_shared<const std::string>(tick);
  {
    std::lock_guard lk(mutex_);
    if (!accepting_) return;
    queued_ += copy->size();
    ticks_.push_back(std::move(copy));
    Trim();
  }
  Signal(wakeFd_);
}

OutputStatus WorkerOutput::Status() const {
  OutputStatus s;
  s.kind = spec_.kind;
  s.spec = spec_.text;
  s.state = State();
  s.clients = clients_.load(std::memory_order_relaxed);
  s.bytes = bytes_.load(std::memory_order_relaxed);
  s.drops = drops_.load(std::memory_order_relaxed);
  s.connectAttempts = attempts_.load(std::memory_order_relaxed);
  std::lock_guard lk(mutex_);
  s.waiting = queued_;
  s.device = device_;
  s.lastError = lastError_;
  return s;
}

void WorkerOutput::Report(OutputProblem problem) {
  {
    std::lock_guard lk(mutex_);
    lastError_ = problem;
  }
  if (reporter_) reporter_(problem);
}

void WorkerOutput::SetDevice(std::string device) {
  std::lock_guard lk(mutex_);
  device_ = std::move(device);
}

void WorkerOutput::Run() {
  // Writes to a pipe or FIFO whose reader went away fail with EPIPE; the signal
  // that comes with them must not end the program. It is directed at this thread
  // and discarded with it.
  sigset_t pipe;
  sigemptyset(&pipe);
  sigaddset(&pipe, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

  if (!Begin()) {
    Fail();
    return;
  }
  for (;;) {
    WorkerWait w = Wait();
    pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {w.fd, w.events, 0}};
    int n = poll(fds, w.fd >= 0 ? 2 : 1, w.timeoutMs);
    if (n < 0 && errno != EINTR) {
      Report({OutputProblemId::StartFailed, "", ErrnoText(errno)});
      Fail();
      return;
    }
    if (fds[0].revents & POLLIN) {
      uint64_t v;
      ssize_t r = read(wakeFd_, &v, sizeof v);
      (void)r;
    }
    {
      std::lock_guard lk(mutex_);
      if (stopping_) break;
    }
    if (!Service(w.fd >= 0 && n > 0 ? fds[1].revents : 0)) {
      Fail();
      return;
    }
  }
  End();
}

void WorkerOutput::Fail() {
  {
    std::lock_guard lk(mutex_);
    accepting_ = false;
  }
  ResetQueue();
  End();
  SetClients(0);
  SetState(OutputState::Failed);
}

void WorkerOutput::Trim() {
  while (queued_ > limit_) {
    // Neither a tick being written nor one partly written is dropped.
    size_t i = std::max(inFlight_, headOffset_ > 0 ? size_t{1} : size_t{0});
    if (i >= ticks_.size()) break;
    queued_ -= ticks_[i]->size();
    ticks_.erase(ticks_.begin() + static_cast<std::ptrdiff_t>(i));
    drops_.fetch_add(1, std::memory_order_relaxed);
  }
}

void WorkerOutput::ResetQueue() {
  std::deque<Tick> old;
  {
    std::lock_guard lk(mutex_);
    old.swap(ticks_);
    headOffset_ = 0;
    queued_ = 0;
    inFlight_ = 0;
  }
  hold_.clear();
}

bool WorkerOutput::HasQueued() const {
  std::lock_guard lk(mutex_);
  return queued_ > 0;
}

size_t WorkerOutput::Gather(iovec* iov, size_t max) {
  size_t off;
  {
    std::lock_guard lk(mutex_);
    size_t n = std::min(max, ticks_.size());
    hold_.assign(ticks_.begin(), ticks_.begin() + static_cast<std::ptrdiff_t>(n));
    inFlight_ = n;
    off = headOffset_;
  }
  for (size_t i = 0; i < hold_.size(); ++i) {
    size_t skip = i == 0 ? off : 0;
    iov[i].iov_base = const_cast<char*>(hold_[i]->data() + skip);
    iov[i].iov_len = hold_[i]->size() - skip;
  }
  return hold_.size();
}

void WorkerOutput::Advance(size_t written) {
  {
    std::lock_guard lk(mutex_);
    inFlight_ = 0;
    size_t left = written;
    while (left > 0 && !ticks_.empty()) {
      size_t rest = ticks_.front()->size() - headOffset_;
      if (left >= rest) {
        left -= rest;
        ticks_.pop_front();
        headOffset_ = 0;
      } else {
        headOffset_ += left;
        left = 0;
      }
    }
    queued_ -= written;
  }
  hold_.clear();  // outside the lock: this may free the ticks
  bytes_.fetch_add(written, std::memory_order_relaxed);
}

WriteOutcome WorkerOutput::WriteQueue(int fd, bool socket, int* error) {
  for (;;) {
    iovec iov[kIovMax];
    size_t n = Gather(iov, kIovMax);
    if (n == 0) {
      Advance(0);
      return WriteOutcome::Done;
    }
    ssize_t w;
    if (socket) {
      msghdr msg{};
      msg.msg_iov = iov;
      msg.msg_iovlen = n;
      w = sendmsg(fd, &msg, MSG_NOSIGNAL | MSG_DONTWAIT);
    } else {
      w = writev(fd, iov, static_cast<int>(n));
    }
    if (w < 0) {
      int e = errno;
      Advance(0);
      if (e == EINTR) continue;
      if (e == EAGAIN || e == EWOULDBLOCK) return WriteOutcome::WouldBlock;
      *error = e;
      return WriteOutcome::Failed;
    }
    Advance(static_cast<size_t>(w));
  }
}

std::vector<std::shared_ptr<const std::string>> WorkerOutput::TakeTicks() {
  std::vector<Tick> out;
  std::lock_guard lk(mutex_);
  out.assign(std::make_move_iterator(ticks_.begin()), std::make_move_iterator(ticks_.end()));
  ticks_.clear();
  queued_ = 0;
  headOffset_ = 0;
  return out;
}

void WorkerOutput::DropQueued(bool keepNewest) {
  std::deque<Tick> dropped;
  std::lock_guard lk(mutex_);
  size_t first = std::max(inFlight_, headOffset_ > 0 ? size_t{1} : size_t{0});
  size_t last = ticks_.size();
  if (keepNewest && last > first) --last;
  for (size_t i = first; i < last; ++i) {
    queued_ -= ticks_[i]->size();
    drops_.fetch_add(1, std::memory_order_relaxed);
    dropped.push_back(std::move(ticks_[i]));  // freed after the lock is released
  }
  ticks_.erase(ticks_.begin() + static_cast<std::ptrdiff_t>(first),
               ticks_.begin() + static_cast<std::ptrdiff_t>(last));
}

}  // namespace fixcaster::detail
