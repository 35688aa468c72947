#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "output/OutputSpec.h"

namespace fixcaster {

enum class OutputState {
  Closed,
  Connecting,  // not sending yet: resolving, opening, or (tcpclient) waiting to reconnect
  Open,
  Failed,  // closed by a failure; lastError says which
};

// A snapshot of one extra output, for the monitor, the status line and the Outputs window.
struct OutputStatus {
  OutputKind kind = OutputKind::Stdout;
  std::string spec;  // the spec text
  OutputState state = OutputState::Closed;
  // pty: the terminal device behind the link; udp, tcpclient: the address in use;
  // file: the path.
  std::string device;
  // pty: 1 while a program holds the device open; tcpclient: 1 while connected;
  // tcp: connected clients.
  uint32_t clients = 0;
  uint64_t bytes = 0;            // bytes delivered since the output opened
  uint64_t drops = 0;            // whole ticks dropped since it opened
  uint64_t waiting = 0;          // bytes queued, not yet delivered
  uint32_t connectAttempts = 0;  // tcpclient: connections tried since it opened
  std::optional<OutputProblem> lastError;
};

// Told of every problem of an output, once per occurrence (a failure that closes
// the output, the start of an outage). Called on any thread; must not block.
using OutputReporter = std::function<void(const OutputProblem&)>;

// One output beside the primary channel. It is fed once per tick with the tick's
// bytes (every sentence with its CR LF), never blocks its caller and never throws
// into the tick. Open, Close, SendTick and Status are called on one thread (the
// owner's); the output does its waiting on a thread of its own.
class ExtraOutput {
 public:
  virtual ~ExtraOutput() = default;
  // Starts the output. False when it failed at once; the problem has then been
  // reported and is in Status().lastError. A failure found later (a name that does
  // not resolve, a file that cannot be opened) is reported the same way.
  virtual bool Open() = 0;
  virtual void Close() = 0;
  virtual void SendTick(std::string_view tick) = 0;
  virtual OutputStatus Status() const = 0;
};

struct OutputOptions {
  // Bytes of whole ticks that may wait for a slow or absent reader; beyond it the
  // oldest whole ticks are dropped and counted.
  size_t backlogLimit = 64 * 1024;
  // tcpclient: the first delay before reconnecting, doubled after every failed
  // attempt up to the longest; and how long one connection attempt may take.
  int reconnectFirstMs = 1000;
  int reconnectMaxMs = 30000;
  int connectTimeoutMs = 10000;
  // stdout: the descriptor written (standard output unless a test says otherwise).
  int stdoutFd = 1;
  // Builds the kinds this module does not build itself (the extra TCP server, which
  // lives with the output port); nullptr for a kind it does not build either.
  std::function<std::unique_ptr<ExtraOutput>(const OutputSpec&, OutputReporter)> makeOther;
};

// The output of a spec, not yet open; nullptr for a kind that is not available.
std::unique_ptr<ExtraOutput> MakeExtraOutput(const OutputSpec& spec, OutputReporter reporter,
                                             const OutputOptions& options = {});

// The largest UDP payload that still fits an Ethernet frame without fragments.
constexpr size_t kMaxDatagram = 1472;

// A tick cut into datagrams at sentence ends: as few as the order of the sentences
// allows, each at most `max` bytes, except that a sentence longer than that goes
// alone in one of its own.
std::vector<std::string_view> SplitIntoDatagrams(std::string_view tick, size_t max = kMaxDatagram);

const char* OutputKindName(OutputKind kind);     // "pty", "udp", ...
const char* OutputStateName(OutputState state);  // "open", "connecting", "closed", "failed"

}  // namespace fixcaster
