#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace fixcaster {

// What the run engine needs of the output port: the open channel (serial or TCP),
// the per-tick send counters and the serial line's backlog. The output port
// implements it; tests use a fake.
class OutputChannel {
 public:
  virtual ~OutputChannel() = default;

  // A serial port is open or the TCP server is listening.
  virtual bool IsOutputOpen() const = 0;
  virtual bool IsSerialOpen() const = 0;
  // Hands one framed sentence (CR LF included) to the open channel and adds it to
  // SentBytes/SentText.
  virtual void SendText(std::string_view text) = 0;
  // The last sentence of a tick has been handed over: outputs that send a tick as
  // one unit (a datagram, a shared buffer for many clients) send it now.
  virtual void EndTick() {}
  // Counters of the current tick; the engine resets them at the start of a tick.
  virtual void ResetSent() = 0;
  virtual int32_t SentBytes() const = 0;
  virtual const std::string& SentText() const = 0;
  // Bytes still waiting for the serial line (GetTransLength; 0 when closed).
  virtual int32_t SerialBacklog() const = 0;
  // Baud rate of the last serial open attempt (0 at start).
  virtual int32_t SerialBaud() const = 0;
  // Drops queued serial output (ClearTransBuf), so nothing goes out after a stop.
  virtual void DiscardSerialBacklog() = 0;
};

}  // namespace fixcaster
