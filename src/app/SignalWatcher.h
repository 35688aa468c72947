#pragma once

#include <signal.h>

#include <functional>
#include <memory>
#include <string>

class QSocketNotifier;

namespace fixcaster {

// Turns SIGTERM, SIGINT and SIGHUP into calls on the event-loop thread. The signals
// are blocked and read through a signalfd that a QSocketNotifier watches, so no code
// of ours runs in a signal handler: the callback is an ordinary call from the loop,
// free to close outputs and save.
//
// Create it on the event-loop thread BEFORE any other thread starts (timer, serial,
// output threads): the blocked mask is per thread and is inherited only by threads
// created afterwards. A thread that existed before would still take the signal with
// its default action and end the process. Child processes inherit the mask too; a
// program that starts one should unblock these signals in the child.
//
// Destroying the watcher (on the same thread) drops the signals still pending and
// restores the mask it found.
class SignalWatcher {
 public:
  // Called with the signal number and how many signals arrived so far (1 for the
  // first), so a caller that is already closing can ignore a second one.
  using Handler = std::function<void(int signal, int count)>;

  explicit SignalWatcher(Handler handler);
  ~SignalWatcher();
  SignalWatcher(const SignalWatcher&) = delete;
  SignalWatcher& operator=(const SignalWatcher&) = delete;

  // False when the signalfd could not be made; the signals then keep their default
  // action (Error() says why).
  bool Active() const { return fd_ >= 0; }
  const std::string& Error() const { return error_; }
  // Signals seen so far.
  int Count() const { return count_; }

 private:
  void ReadSignals();

  Handler handler_;
  sigset_t watched_{};
  sigset_t previousMask_{};
  int fd_ = -1;
  int count_ = 0;
  std::string error_;
  std::unique_ptr<QSocketNotifier> notifier_;
  // Lets ReadSignals notice that a callback destroyed the watcher.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace fixcaster
