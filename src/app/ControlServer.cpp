#include "app/ControlServer.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cstring>

namespace fixcaster {

struct ControlServer::Connection {
  int fd = -1;
  std::unique_ptr<QSocketNotifier> reader;
  std::unique_ptr<QSocketNotifier> writer;
  std::string input;   // bytes of a request line not complete yet
  std::string output;  // replies and events the client has not taken yet
  size_t written = 0;  // of `output`
  ControlSession session;
  bool finishing = false;  // the client sent its last request: close once `output` is out
  bool dropped = false;    // closed; freed when no call of ours is on the stack
  bool busy = false;       // a request of it is being answered
};

namespace {

bool WouldBlock(int error) {
  return error == EAGAIN || error == EWOULDBLOCK;
}

std::string Errno(int error) {
  return std::strerror(error);
}

// A request is what a client sends between line feeds; a line of blanks is none.
bool IsBlank(std::string_view line) {
  for (char ch : line)
    if (ch != ' ' && ch != '\t' && ch != '\r') return false;
  return true;
}

}  // namespace

// Counts our calls on the stack, so that a connection dropped during a handler call
// (by a broadcast, say) is freed only once nothing refers to it any more.
class ControlServer::Scope {
 public:
  explicit Scope(ControlServer& server) : server_(server) { ++server_.depth_; }
  ~Scope() {
    if (--server_.depth_ == 0) server_.Reap();
  }
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;

 private:
  ControlServer& server_;
};

ControlServer::ControlServer(ControlHandler& handler)
    : handler_(handler), context_(std::make_unique<QObject>()) {}

ControlServer::~ControlServer() {
  Close();
  Reap();
}

bool ControlServer::Open(const std::string& path, std::string& error) {
  if (IsOpen()) {
    error = "the control socket is already open at " + path_;
    return false;
  }
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof addr.sun_path) {
    error = "control socket path must have 1 to " + std::to_string(sizeof addr.sun_path - 1) +
            " bytes: \"" + path + "\"";
    return false;
  }
  std::memcpy(addr.sun_path, path.data(), path.size());
  const auto* sa = reinterpret_cast<const sockaddr*>(&addr);

  struct stat st {};
  if (lstat(path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      error = "control socket " + path + " exists and is not a socket; it is left alone";
      return false;
    }
    // Somebody listening there keeps it; a socket file nobody listens on is left over
    // from a program that ended without removing it.
    const int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int rc = probe < 0 ? -1 : connect(probe, sa, sizeof addr);
    const int probeError = errno;
    if (probe >= 0) close(probe);
    if (rc == 0 || (probe >= 0 && WouldBlock(probeError))) {
      error = "control socket " + path + " is in use by another program";
      return false;
    }
    if (probe < 0 || probeError != ECONNREFUSED) {
      error = "cannot check the control socket " + path + ": " + Errno(probeError);
      return false;
    }
    if (unlink(path.c_str()) != 0) {
      error = "cannot replace the stale control socket " + path + ": " + Errno(errno);
      return false;
    }
  } else if (errno != ENOENT) {
    error = "cannot use " + path + " for the control socket: " + Errno(errno);
    return false;
  }

  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    error = "cannot create the control socket: " + Errno(errno);
    return false;
  }
  // The file is made with the umask's mode; no moment with more than 0600.
  const mode_t oldMask = umask(0177);
  const int bound = bind(fd, sa, sizeof addr);
  const int bindError = errno;
  umask(oldMask);
  if (bound != 0) {
    close(fd);
    error = "cannot create the control socket " + path + ": " + Errno(bindError);
    return false;
  }
  if (chmod(path.c_str(), 0600) != 0 || listen(fd, SOMAXCONN) != 0 ||
      lstat(path.c_str(), &st) != 0) {
    const int e = errno;
    close(fd);
    unlink(path.c_str());
    error = "cannot set up the control socket " + path + ": " + Errno(e);
    return false;
  }
  listenFd_ = fd;
  socketDev_ = st.st_dev;
  socketIno_ = st.st_ino;
  path_ = path;
  acceptNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
  QObject::connect(acceptNotifier_.get(), &QSocketNotifier::activated, acceptNotifier_.get(),
                   [this] { Accept(); });
  return true;
}

void ControlServer::Close() {
  if (listenFd_ >= 0) {
    acceptNotifier_.reset();
    close(listenFd_);
    listenFd_ = -1;
    // Only our own socket file: another program may have taken the path since.
    struct stat st {};
    if (lstat(path_.c_str(), &st) == 0 && S_ISSOCK(st.st_mode) && st.st_dev == socketDev_ &&
        st.st_ino == socketIno_)
      unlink(path_.c_str());
  }
  for (auto& [id, c] : connections_) Drop(*c);
  if (depth_ == 0) Reap();
}

void ControlServer::Broadcast(std::string_view event, const QJsonObject& fields) {
  Scope scope(*this);
  std::string line;
  for (auto& [id, c] : connections_) {
    if (c->dropped || !c->session.Subscribed) continue;
    if (line.empty()) line = ControlEventLine(event, fields);
    Send(*c, line);
  }
}

size_t ControlServer::ConnectionCount() const {
  size_t n = 0;
  for (const auto& [id, c] : connections_) n += c->dropped ? 0 : 1;
  return n;
}

size_t ControlServer::SubscriberCount() const {
  size_t n = 0;
  for (const auto& [id, c] : connections_) n += !c->dropped && c->session.Subscribed ? 1 : 0;
  return n;
}

ControlServer::Connection* ControlServer::Find(uint64_t id) {
  auto it = connections_.find(id);
  return it == connections_.end() || it->second->dropped ? nullptr : it->second.get();
}

void ControlServer::Accept() {
  Scope scope(*this);
  while (listenFd_ >= 0) {
    const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (!WouldBlock(errno)) {
        // Out of descriptors or memory: the pending client stays queued, and the
        // level-triggered notifier would fire at once again. Look again shortly.
        acceptNotifier_->setEnabled(false);
        QTimer::singleShot(100, context_.get(), [this] {
          if (acceptNotifier_) acceptNotifier_->setEnabled(true);
        });
      }
      return;
    }
    const uint64_t id = nextId_++;
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->reader = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(c->reader.get(), &QSocketNotifier::activated, c->reader.get(),
                     [this, id] { Read(id); });
    c->writer = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    c->writer->setEnabled(false);
    QObject::connect(c->writer.get(), &QSocketNotifier::activated, c->writer.get(),
                     [this, id] { Write(id); });
    connections_.emplace(id, std::move(c));
  }
}

void ControlServer::Read(uint64_t id) {
  Scope scope(*this);
  Connection* c = Find(id);
  if (!c || c->busy || c->finishing) return;
  char buf[16384];
  // A bounded amount per call, so one busy client cannot hold the loop.
  for (int round = 0; round < 16; ++round) {
    const ssize_t n = recv(c->fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      c->input.append(buf, static_cast<size_t>(n));
      HandleInput(*c);
      if (c->dropped || c->finishing || c->busy) return;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && WouldBlock(errno)) return;
    if (n < 0) {
      Drop(*c);
      return;
    }
    // The client has sent all it will send: its last line may lack the line feed.
    c->finishing = true;
    c->reader->setEnabled(false);
    if (!IsBlank(c->input)) {
      std::string last = std::move(c->input);
      c->input.clear();
      c->busy = true;
      const std::string reply = AnswerControlLine(last, handler_, c->session);
      c->busy = false;
      Send(*c, reply);
    }
    if (!c->dropped && c->written == c->output.size()) Drop(*c);
    return;
  }
}

void ControlServer::HandleInput(Connection& c) {
  size_t begin = 0;
  bool overlong = false;
  while (!c.dropped) {
    const size_t end = c.input.find('\n', begin);
    if (end == std::string::npos) break;
    std::string_view line(c.input.data() + begin, end - begin);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > ControlMaxLineBytes) {
      overlong = true;
      break;
    }
    const std::string request(line);
    begin = end + 1;
    if (IsBlank(request)) continue;
    // While it is answered, a nested event loop (a dialog, say) must not read the
    // next request of this client and answer it first.
    c.busy = true;
    c.reader->setEnabled(false);
    const std::string reply = AnswerControlLine(request, handler_, c.session);
    c.busy = false;
    if (c.dropped) return;
    c.reader->setEnabled(true);
    Send(c, reply);
  }
  if (c.dropped) return;
  c.input.erase(0, begin);
  // An unfinished line may already be too long (a CR at its end may be the line end's).
  const size_t limit = ControlMaxLineBytes + (!c.input.empty() && c.input.back() == '\r');
  if (overlong || c.input.size() > limit) {
    Send(c, OverlongLineReply());
    // Take what else is queued, so that closing does not reset the connection before
    // the client has read the reply.
    char buf[16384];
    for (int i = 0; i < 64 && recv(c.fd, buf, sizeof buf, MSG_DONTWAIT) > 0; ++i) {
    }
    Drop(c);
  }
}

void ControlServer::Send(Connection& c, std::string_view data) {
  if (c.dropped || data.empty()) return;
  if (c.written == c.output.size()) {
    c.output.clear();
    c.written = 0;
    ssize_t n = send(c.fd, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0 && (WouldBlock(errno) || errno == EINTR)) n = 0;
    if (n < 0) {
      Drop(c);
      return;
    }
    data.remove_prefix(static_cast<size_t>(n));
    if (data.empty()) return;
  }
  if (c.output.size() - c.written + data.size() > MaxPendingBytes) {
    Drop(c);  // it does not read: it gets no more
    return;
  }
  if (c.written > 0 && c.written >= c.output.size() / 2) {
    c.output.erase(0, c.written);
    c.written = 0;
  }
  c.output.append(data);
  c.writer->setEnabled(true);
}

void ControlServer::Write(uint64_t id) {
  Scope scope(*this);
  Connection* c = Find(id);
  if (!c) return;
  while (c->written < c->output.size()) {
    const ssize_t n = send(c->fd, c->output.data() + c->written, c->output.size() - c->written,
                           MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      c->written += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && WouldBlock(errno)) {
      return;
    } else {
      Drop(*c);
      return;
    }
  }
  c->output.clear();
  c->written = 0;
  c->writer->setEnabled(false);
  if (c->finishing) Drop(*c);
}

void ControlServer::Drop(Connection& c) {
  if (c.dropped) return;
  c.dropped = true;
  c.reader->setEnabled(false);
  c.writer->setEnabled(false);
  close(c.fd);
  c.fd = -1;
}

void ControlServer::Reap() {
  for (auto it = connections_.begin(); it != connections_.end();) {
    if (it->second->dropped && !it->second->busy)
      it = connections_.erase(it);
    else
      ++it;
  }
}

}  // namespace fixcaster
