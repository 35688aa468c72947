#pragma once

// Bounded waits for things that must happen. The bound is a time-out, never a
// measurement: a busy machine only makes the wait longer, not the test fail.

#include <chrono>
#include <functional>
#include <thread>

namespace fixcaster::testing {

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;

// Waits until cond() holds, polling; returns cond().
inline bool WaitUntil(const std::function<bool()>& cond, int ms) {
  auto deadline = Clock::now() + Ms(ms);
  while (!cond()) {
    if (Clock::now() >= deadline) return cond();
    std::this_thread::sleep_for(Ms(2));
  }
  return true;
}

}  // namespace fixcaster::testing
