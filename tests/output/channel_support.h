#pragma once

// Real parts for the output tests: a Poster that the test thread pumps and a small
// sysfs tree for port discovery. The pseudo-terminal pair, the loopback TCP client,
// the temporary folder and the bounded waits live in tests/support/; this header
// includes them, so their names work here as before.

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>

#include "output/CommX.h"
#include "support/Pty.h"
#include "support/Tcp.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace fixcaster::testing {

// Runs posted functions on the test thread when the test pumps it.
class ChannelPoster : public Poster {
 public:
  void Post(std::function<void()> fn) override {
    {
      std::lock_guard lk(mutex_);
      queue_.push_back(std::move(fn));
    }
    cv_.notify_all();
  }
  // Runs what arrives until pred() holds or the time is up; returns pred().
  bool RunUntil(const std::function<bool()>& pred, int ms) {
    auto deadline = Clock::now() + Ms(ms);
    while (!pred()) {
      std::function<void()> fn;
      {
        std::unique_lock lk(mutex_);
        if (!cv_.wait_until(lk, deadline, [&] { return !queue_.empty(); })) return pred();
        fn = std::move(queue_.front());
        queue_.pop_front();
      }
      fn();
    }
    return true;
  }
  void RunFor(int ms) {
    RunUntil([] { return false; }, ms);
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::function<void()>> queue_;
};

// A small sysfs tree: <root>/sys/class/tty/<name> entries whose device links point
// into <root>/sys/devices, with device nodes in <root>/dev that link to real ptys.
class FakeSysfs {
 public:
  struct Tty {
    std::string name{};
    bool device = true;     // has a device link
    std::string type{};     // "type" file of 8250 ports, empty for none
    std::string product{};  // USB product and manufacturer two levels up
    std::string manufacturer{};
    std::string udevModel{};  // ID_MODEL_FROM_DATABASE in the udev data
    std::string node{};       // target of <root>/dev/<name>; empty for no node
  };
  FakeSysfs() {
    namespace fs = std::filesystem;
    fs::create_directories(Sys() / "class" / "tty");
    fs::create_directories(Dev());
    fs::create_directories(Udev());
  }
  std::filesystem::path Sys() const { return dir_.Path() / "sys"; }
  std::filesystem::path Dev() const { return dir_.Path() / "dev"; }
  std::filesystem::path Udev() const { return dir_.Path() / "udev"; }
  void Add(const Tty& t) {
    namespace fs = std::filesystem;
    fs::path entry = Sys() / "class" / "tty" / t.name;
    fs::create_directories(entry);
    if (t.device) {
      fs::path usb = Sys() / "devices" / ("usb-" + t.name);
      fs::path port = usb / "1-1:1.0" / t.name;
      fs::create_directories(port);
      if (!t.product.empty()) WriteFile(usb / "product", t.product);
      if (!t.manufacturer.empty()) WriteFile(usb / "manufacturer", t.manufacturer);
      fs::create_directory_symlink(port, entry / "device");
    }
    if (!t.type.empty()) WriteFile(entry / "type", t.type);
    std::string numbers = "188:" + std::to_string(next_++);
    WriteFile(entry / "dev", numbers);
    if (!t.udevModel.empty())
      WriteFile(Udev() / ("c" + numbers), "E:ID_MODEL_FROM_DATABASE=" + t.udevModel + "\n");
    if (!t.node.empty()) fs::create_symlink(t.node, Dev() / t.name);
  }
  std::string DevPath(const std::string& name) const { return (Dev() / name).string(); }

 private:
  static void WriteFile(const std::filesystem::path& p, const std::string& text) {
    std::FILE* f = std::fopen(p.c_str(), "w");
    std::fputs((text + "\n").c_str(), f);
    std::fclose(f);
  }
  TempDir dir_;
  int next_ = 0;
};

}  // namespace fixcaster::testing
