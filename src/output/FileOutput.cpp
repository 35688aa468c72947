// "file:PATH" (a log appended with the exact bytes sent) and "stdout".

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "output/OutputKinds.h"
#include "output/WorkerOutput.h"

namespace fixcaster::detail {

namespace {

// A byte stream to one descriptor: written until it would block, then again once
// it takes more.
class DescriptorOutput : public WorkerOutput {
 protected:
  using WorkerOutput::WorkerOutput;

  WorkerWait Wait() override {
    if (blocked_) return {fd_, POLLOUT, -1};
    return {};
  }

  // Writes what is queued; 0, or the errno of a failed write.
  int Flush() {
    int error = 0;
    WriteOutcome outcome = WriteQueue(fd_, socket_, &error);
    blocked_ = outcome == WriteOutcome::WouldBlock;
    return outcome == WriteOutcome::Failed ? error : 0;
  }

  void End() override {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    blocked_ = false;
  }

  int fd_ = -1;
  bool socket_ = false;
  bool blocked_ = false;  // a slow reader (pipe, FIFO): wait until it takes more
};

// Writes go through the worker because a file on a slow or remote disk can take
// its time: the queue in front of it is bounded like any other, so a disk that
// cannot keep up costs dropped ticks (counted), never a late tick elsewhere.
class FileOutput final : public DescriptorOutput {
 public:
  FileOutput(OutputSpec spec, OutputReporter reporter, size_t limit)
      : DescriptorOutput(std::move(spec), std::move(reporter), limit) {}
  ~FileOutput() override { Close(); }

 protected:
  // Opened by the worker too: opening can wait as long as writing.
  bool Begin() override { return OpenFile(OutputProblemId::FileOpenFailed); }

  bool Service(short) override {
    if (!HasQueued()) return true;
    // A log rotated away or deleted goes on in a new file at its path; when its
    // folder is gone too, the output closes.
    if (!StillAtPath() && !OpenFile(OutputProblemId::FileWriteFailed)) return false;
    // A full disk, an I/O error, a FIFO's reader gone.
    if (int error = Flush()) {
      Report({OutputProblemId::FileWriteFailed, Spec().path, ErrnoText(error)});
      return false;
    }
    return true;
  }

 private:
  bool OpenFile(OutputProblemId failure) {
    // Non-blocking only matters for a FIFO: no reader is an error, not a wait.
    int fd = open(Spec().path.c_str(),
                  O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0644);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) {
      Report({failure, Spec().path, ErrnoText(errno)});
      if (fd >= 0) close(fd);
      return false;
    }
    End();
    fd_ = fd;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    SetDevice(Spec().path);
    SetState(OutputState::Open);
    return true;
  }

  bool StillAtPath() const {
    struct stat st;
    return stat(Spec().path.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_;
  }

  dev_t dev_ = 0;
  ino_t ino_ = 0;
};

// Standard output, for the command-line program's pipes.
class StdoutOutput final : public DescriptorOutput {
 public:
  StdoutOutput(OutputSpec spec, OutputReporter reporter, size_t limit, int target)
      : DescriptorOutput(std::move(spec), std::move(reporter), limit), target_(target) {}
  ~StdoutOutput() override { Close(); }

 protected:
  bool Prepare() override {
    struct stat st;
    if (fstat(target_, &st) != 0) {
      Report({OutputProblemId::StdoutFailed, "", ErrnoText(errno)});
      return false;
    }
    socket_ = S_ISSOCK(st.st_mode);
    std::string self = "/proc/self/fd/" + std::to_string(target_);
    if (socket_) {
      // Sockets are written with a per-call non-blocking flag.
      fd_ = fcntl(target_, F_DUPFD_CLOEXEC, 0);
    } else {
      // An open file description of our own: setting O_NONBLOCK on the shared one
      // would also change the terminal or pipe for the shell and everyone else.
      int flags =
          O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | (S_ISREG(st.st_mode) ? O_APPEND : 0);
      fd_ = open(self.c_str(), flags);
    }
    if (fd_ < 0) {
      Report({OutputProblemId::StdoutFailed, "", ErrnoText(errno)});
      return false;
    }
    char buf[PATH_MAX];
    ssize_t n = readlink(self.c_str(), buf, sizeof buf - 1);
    SetDevice(n > 0 ? std::string(buf, static_cast<size_t>(n)) : "stdout");
    SetState(OutputState::Open);
    return true;
  }

  // A reader that stalls leaves the newest ticks in the queue; one that went
  // away closes the output.
  bool Service(short) override {
    int error = Flush();
    if (!error) return true;
    bool closed = error == EPIPE || error == ECONNRESET;
    Report({closed ? OutputProblemId::StdoutClosed : OutputProblemId::StdoutFailed, "",
            ErrnoText(error)});
    return false;
  }

 private:
  const int target_;
};

}  // namespace

std::unique_ptr<ExtraOutput> MakeFileOutput(const OutputSpec& spec, OutputReporter reporter,
                                            const OutputOptions& options) {
  return std::make_unique<FileOutput>(spec, std::move(reporter), options.backlogLimit);
}

std::unique_ptr<ExtraOutput> MakeStdoutOutput(const OutputSpec& spec, OutputReporter reporter,
                                              const OutputOptions& options) {
  return std::make_unique<StdoutOutput>(spec, std::move(reporter), options.backlogLimit,
                                        options.stdoutFd);
}

}  // namespace fixcaster::detail
