#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "output/CommX.h"
#include "output/OutputChannel.h"
#include "output/PortList.h"
#include "output/TcpServer.h"
#include "state/AppState.h"

namespace fixcaster {

// The messages of the output controls. The window owns the texts (both languages);
// the arguments are filled into them as noted.
enum class OutputMessageId {
  // warning, OK: "Please open RS-232C or TCP" (shown by Start and Idling)
  PleaseOpenOutput,
  // error, OK: "\n[Output port]\r\n" + "TCP server can not be opened"
  TcpServerCannotOpen,
  // error, OK: "Communication speed of the RS-232C is invalid"
  SerialSpeedInvalid,
  // error, OK: "Cannot open serial port: " + args[0] (the device text)
  SerialCannotOpen,
  // error, OK: the open serial device stopped working (unplugged) and the channel
  // was closed: "Serial port was lost: " + args[0] (the device text)
  SerialPortLost,
};

class OutputMessageSink {
 public:
  virtual ~OutputMessageSink() = default;
  virtual void ShowOutputMessage(OutputMessageId id, const std::vector<std::string>& args) = 0;
};

// Port number of a port text: the digits after "COM" (or from the start), 0 when
// there are none or too many.
int32_t ParseComPortNo(std::string_view text);
// TCP port of a text: decimal, or hexadecimal after "0x"/"$"; 0 when empty or not
// a number; the low 16 bits of the 32-bit value (70000 is 4464, -1 is 65535).
uint16_t ParseTcpPort(std::string_view text);
// The port box text once its list has closed: the device without the friendly name.
std::string TrimPortText(const std::string& text);
// Sentences are ASCII; every other character becomes one "?".
std::string ToAsciiBytes(std::string_view utf8);

// The one output channel at a time: a serial port (CommX1) or the TCP server
// (IdTCPServer1), chosen and opened from the output controls of the state.
class OutputPort : public OutputChannel {
 public:
  // poster: runs the serial component's events on the owning thread.
  OutputPort(AppState& state, OutputMessageSink& messages, Poster* poster,
             PortDiscovery discovery = {});
  ~OutputPort() override;

  // Sets the run's stop request (closing the channel stops the run).
  std::function<void()> OnStopRequest;
  // The Stop action of a running output (ButtonStopClick).
  std::function<void()> OnStopRun;
  // Runs `step` on the owning thread after `ms` milliseconds, the event loop running
  // meanwhile (QTimer::singleShot in the window). A serial reopen lets the queued
  // output drain through it instead of sleeping; without it the reopen waits in
  // place, as a caller without an event loop must.
  std::function<void(int ms, std::function<void()> step)> Later;

  void OpenOutputPort();
  void CloseOutputPort();
  void UpdatePortControls();

  void ButtonOpenClick() { OpenOutputPort(); }
  void ButtonCloseClick();
  void ComboBoxPortChange();
  void ComboBoxPortDropDown() { RebuildPortList(); }
  void ComboBoxPortCloseUp() { PortDropDownClosed = true; }
  // The idle step after the list closed and the chosen item is in the box.
  void ApplyPortDropDownClosed();
  void RebuildPortList();

  void SendToClients(std::string_view bytes);

  // OutputChannel
  bool IsOutputOpen() const override;
  bool IsSerialOpen() const override { return CommX1.IsOpen(); }
  void SendText(std::string_view text) override;
  void ResetSent() override;
  int32_t SentBytes() const override { return SentBytes_; }
  const std::string& SentText() const override { return SentText_; }
  int32_t SerialBacklog() const override { return CommX1.GetTransLength(); }
  int32_t SerialBaud() const override { return SerialBaud_; }
  void DiscardSerialBacklog() override { CommX1.ClearTransBuf(); }

  int32_t SerialPortNo() const { return SerialPortNo_; }
  const std::string& SerialDevice() const { return SerialDevice_; }

  TCommX CommX1;
  TcpServer IdTCPServer1;
  bool PortDropDownClosed = false;

 private:
  // A serial open that replaces the open port: the line, its speed and how often
  // the drain was checked.
  struct SerialReopen {
    int32_t baud = 0;
    int32_t portNo = 0;
    std::string device;
    bool isPath = false;
    int checks = 0;
  };
  void OpenTcp();
  void OpenSerial(const std::string& portText);
  // Lets what is queued for the line go out first (50 ms steps, at most ten), then
  // closes the port and opens it anew. `request` is the open it belongs to: a later
  // open or close cancels it.
  void ReopenSerial(SerialReopen r, uint64_t request);
  void OnCommError(int32_t bits);

  AppState& state_;
  OutputMessageSink& messages_;
  PortDiscovery discovery_;
  int32_t SerialBaud_ = 0;
  int32_t SerialPortNo_ = 0;
  std::string SerialDevice_;
  int32_t SentBytes_ = 0;
  std::string SentText_;
  uint64_t openRequest_ = 0;  // counts opens and closes; a pending reopen checks it
  std::shared_ptr<int> life_ = std::make_shared<int>(0);  // steps outliving us do nothing
};

}  // namespace fixcaster
