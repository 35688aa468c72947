#include "app/SignalWatcher.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <memory>
#include <set>
#include <vector>

#include "app/AppTestSupport.h"

namespace fixcaster {
namespace {

using testing::App;
using testing::RunLoopUntil;

bool Blocked(int signal) {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  return sigismember(&mask, signal) == 1;
}

struct Seen {
  int signal;
  int count;
};

TEST(SignalWatcher, SignalsReachTheLoopAsCallsAndAreCounted) {
  App();
  ASSERT_FALSE(Blocked(SIGTERM));
  std::vector<Seen> seen;
  {
    SignalWatcher watcher([&](int signal, int count) { seen.push_back({signal, count}); });
    ASSERT_TRUE(watcher.Active()) << watcher.Error();
    EXPECT_TRUE(Blocked(SIGTERM) && Blocked(SIGINT) && Blocked(SIGHUP));

    raise(SIGTERM);
    EXPECT_TRUE(seen.empty()) << "nothing runs at the moment of the signal";
    ASSERT_TRUE(RunLoopUntil([&] { return seen.size() == 1; }));
    EXPECT_EQ(seen[0].signal, SIGTERM);
    EXPECT_EQ(seen[0].count, 1);

    // A second and third while the first is handled: the caller sees they are not
    // the first. One is sent to the process as `kill` from a shell does.
    kill(getpid(), SIGHUP);
    raise(SIGINT);
    ASSERT_TRUE(RunLoopUntil([&] { return seen.size() == 3; }));
    EXPECT_EQ((std::set<int>{seen[1].signal, seen[2].signal}), (std::set<int>{SIGHUP, SIGINT}));
    EXPECT_EQ(seen[1].count, 2);
    EXPECT_EQ(seen[2].count, 3);
    EXPECT_EQ(watcher.Count(), 3);
  }
  EXPECT_FALSE(Blocked(SIGTERM)) << "the mask is restored";
}

TEST(SignalWatcher, PendingSignalsDieWithTheWatcherAndTheCallbackMayDestroyIt) {
  App();
  // Pending when the watcher goes: unblocking must not end the test process.
  {
    SignalWatcher watcher([](int, int) { ADD_FAILURE() << "never run"; });
    raise(SIGHUP);
  }
  EXPECT_FALSE(Blocked(SIGHUP));

  // Two signals read in one go; the first call ends the watcher, the second is not
  // delivered to a dead object.
  int calls = 0;
  std::unique_ptr<SignalWatcher> watcher;
  watcher = std::make_unique<SignalWatcher>([&](int, int) {
    ++calls;
    watcher.reset();
  });
  raise(SIGINT);
  raise(SIGTERM);
  ASSERT_TRUE(RunLoopUntil([&] { return calls > 0; }));
  QCoreApplication::processEvents();
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(Blocked(SIGINT));
}

}  // namespace
}  // namespace fixcaster
