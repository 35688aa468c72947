#include "app/SignalWatcher.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <QObject>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <vector>

namespace fixcaster {

SignalWatcher::SignalWatcher(Handler handler) : handler_(std::move(handler)) {
  sigemptyset(&watched_);
  sigaddset(&watched_, SIGTERM);
  sigaddset(&watched_, SIGINT);
  sigaddset(&watched_, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &watched_, &previousMask_);
  fd_ = signalfd(-1, &watched_, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) {
    error_ = std::string("cannot watch signals: ") + std::strerror(errno);
    pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                   [this] { ReadSignals(); });
}

SignalWatcher::~SignalWatcher() {
  if (fd_ < 0) return;
  notifier_.reset();
  // Take what is pending, so that unblocking does not end the process with it.
  signalfd_siginfo info;
  while (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
  }
  close(fd_);
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

void SignalWatcher::ReadSignals() {
  std::vector<int> received;
  signalfd_siginfo info;
  while (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
    received.push_back(static_cast<int>(info.ssi_signo));
  std::weak_ptr<bool> alive = alive_;
  for (int signal : received) {
    ++count_;
    if (handler_) handler_(signal, count_);
    if (alive.expired()) return;  // the callback destroyed the watcher
  }
}

}  // namespace fixcaster
