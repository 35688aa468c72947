// "pty:LINK": a pseudo-terminal that any program opens like a serial device,
// behind a symbolic link.

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "output/OutputKinds.h"
#include "output/WorkerOutput.h"

namespace fixcaster::detail {

namespace {

enum class LinkState { Absent, Stale, Taken };

// The link may be made when nothing is at its path, or replaced when it is a
// stale link of ours: a link into /dev/pts/ whose terminal no longer exists, as a
// run leaves it that ended without closing (a crash). A link to a terminal that
// exists may belong to another program (a second simulator, socat) and is left
// alone, as is anything that is not a link.
LinkState CheckLink(const std::string& link) {
  struct stat st;
  if (lstat(link.c_str(), &st) != 0) return LinkState::Absent;  // symlink() says why not
  if (!S_ISLNK(st.st_mode)) return LinkState::Taken;
  char buf[PATH_MAX];
  ssize_t n = readlink(link.c_str(), buf, sizeof buf - 1);
  if (n <= 0) return LinkState::Taken;
  std::string target(buf, static_cast<size_t>(n));
  if (target.rfind("/dev/pts/", 0) != 0) return LinkState::Taken;
  if (stat(target.c_str(), &st) == 0 || errno != ENOENT) return LinkState::Taken;
  return LinkState::Stale;
}

// Makes the folders of the link that are missing, private to this user. A folder
// of another user (other than the system's own, such as /tmp) is refused: its
// owner could swap our link for one to a terminal of theirs.
bool EnsureLinkFolder(const std::string& link, OutputProblem* problem) {
  size_t slash = link.rfind('/');
  if (slash == std::string::npos || slash == 0) return true;
  std::string dir = link.substr(0, slash);
  for (size_t i = 1; i <= dir.size(); ++i) {
    if (i < dir.size() && dir[i] != '/') continue;
    std::string part = dir.substr(0, i);
    if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      *problem = {OutputProblemId::LinkFailed, link, ErrnoText(errno)};
      return false;
    }
  }
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) {
    *problem = {OutputProblemId::LinkFailed, link, ErrnoText(errno)};
    return false;
  }
  if (st.st_uid != getuid() && st.st_uid != 0) {
    *problem = {OutputProblemId::LinkFolderForeign, dir, ""};
    return false;
  }
  return true;
}

// The terminal side keeps its settings while this side is open, also while no
// program has it open; a reader that sets nothing (cat) gets the bytes unchanged.
bool MakeRaw(const std::string& slave, int* error) {
  int fd = open(slave.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    *error = errno;
    return false;
  }
  termios t{};
  bool ok = tcgetattr(fd, &t) == 0;
  if (ok) {
    cfmakeraw(&t);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    cfsetispeed(&t, B4800);  // the line speed of NMEA 0183
    cfsetospeed(&t, B4800);
    ok = tcsetattr(fd, TCSANOW, &t) == 0;
  }
  if (!ok) *error = errno;
  close(fd);
  return ok;
}

class PtyOutput final : public WorkerOutput {
 public:
  PtyOutput(OutputSpec spec, OutputReporter reporter, size_t limit)
      : WorkerOutput(std::move(spec), std::move(reporter), limit) {}
  ~PtyOutput() override { Close(); }

 protected:
  bool Prepare() override {
    const std::string& link = Spec().path;
    OutputProblem problem;
    if (!EnsureLinkFolder(link, &problem)) {
      Report(problem);
      return false;
    }
    LinkState state = CheckLink(link);
    if (state == LinkState::Taken) {
      Report({OutputProblemId::LinkTaken, link, ""});
      return false;
    }
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0 ||
        ptsname_r(master_, name, sizeof name) != 0 ||
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK) != 0) {
      Report({OutputProblemId::PtyFailed, "", ErrnoText(errno)});
      return false;
    }
    slave_ = name;
    int error = 0;
    if (!MakeRaw(slave_, &error)) {
      Report({OutputProblemId::PtyFailed, slave_, ErrnoText(error)});
      return false;
    }
    if (!MakeLink(link, state)) return false;
    SetDevice(slave_);
    SetState(OutputState::Open);
    return true;
  }

  WorkerWait Wait() override {
    // Without a reader the master reports a hang-up for as long as it lasts; the
    // next tick looks again.
    if (!reader_) return {};
    return {master_, static_cast<short>(POLLIN | (blocked_ ? POLLOUT : 0)), -1};
  }

  bool Service(short revents) override {
    if (revents & POLLIN) Discard();
    reader_ = ReaderPresent();
    SetClients(reader_ ? 1 : 0);
    blocked_ = false;
    // Without a reader the queue keeps the newest ticks, up to its limit, for the
    // next one.
    if (!reader_) return true;
    int error = 0;
    switch (WriteQueue(master_, false, &error)) {
      case WriteOutcome::Done:
        return true;
      case WriteOutcome::WouldBlock:
        blocked_ = true;  // the reader's side is full: it stopped reading
        return true;
      case WriteOutcome::Failed:
        if (error == EIO) {  // the reader went away in between
          reader_ = false;
          return true;
        }
        Report({OutputProblemId::PtyFailed, slave_, ErrnoText(error)});
        return false;
    }
    return true;
  }

  void End() override {
    if (linked_) {
      // Only while it is still ours: someone may have put another in its place.
      char buf[PATH_MAX];
      ssize_t n = readlink(Spec().path.c_str(), buf, sizeof buf - 1);
      if (n > 0 && std::string(buf, static_cast<size_t>(n)) == slave_) unlink(Spec().path.c_str());
      linked_ = false;
    }
    if (master_ >= 0) close(master_);
    master_ = -1;
    reader_ = false;
    blocked_ = false;
  }

 private:
  // Made at once when nothing is there (symlink fails if something appeared
  // meanwhile); a stale link is replaced by renaming a new one over it, so the
  // path never names nothing or a half-made link.
  bool MakeLink(const std::string& link, LinkState state) {
    if (state == LinkState::Absent) {
      if (symlink(slave_.c_str(), link.c_str()) != 0) {
        if (errno == EEXIST)
          Report({OutputProblemId::LinkTaken, link, ""});
        else
          Report({OutputProblemId::LinkFailed, link, ErrnoText(errno)});
        return false;
      }
    } else {
      std::string temp = link + ".new-" + std::to_string(getpid());
      unlink(temp.c_str());
      if (symlink(slave_.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), link.c_str()) != 0) {
        Report({OutputProblemId::LinkFailed, link, ErrnoText(errno)});
        unlink(temp.c_str());
        return false;
      }
    }
    linked_ = true;
    return true;
  }

  // A program holds the terminal side open.
  bool ReaderPresent() const {
    pollfd p{master_, POLLOUT, 0};
    return poll(&p, 1, 0) >= 0 && !(p.revents & POLLHUP);
  }

  // What the reader writes to the device (a receiver's configuration commands) is
  // read only so that it does not pile up.
  void Discard() {
    char buf[4096];
    while (read(master_, buf, sizeof buf) > 0) {
    }
  }

  int master_ = -1;
  std::string slave_;
  bool linked_ = false;
  bool reader_ = false;
  bool blocked_ = false;
};

}  // namespace

std::unique_ptr<ExtraOutput> MakePtyOutput(const OutputSpec& spec, OutputReporter reporter,
                                           const OutputOptions& options) {
  return std::make_unique<PtyOutput>(spec, std::move(reporter), options.backlogLimit);
}

}  // namespace fixcaster::detail
