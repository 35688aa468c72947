#include "output/OutputPort.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

namespace fixcaster {

namespace {

std::string Trim(std::string_view s) {
  size_t b = 0;
  size_t e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return std::string(s.substr(b, e - b));
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A 32-bit integer as the settings texts write them: decimal with an optional
// sign, or hexadecimal after "$" (up to 8 digits, taken as the 32-bit pattern).
bool ParseInt32(const std::string& s, int32_t& out) {
  if (s.empty()) return false;
  if (s[0] == '$') {
    if (s.size() < 2 || s.size() > 9) return false;
    uint32_t v = 0;
    for (size_t i = 1; i < s.size(); ++i) {
      int c = std::tolower(static_cast<unsigned char>(s[i]));
      int d = std::isdigit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
      if (d < 0) return false;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    out = static_cast<int32_t>(v);
    return true;
  }
  size_t i = 0;
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    i = 1;
  }
  if (i == s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    v = v * 10 + (s[i] - '0');
    if (v > 2147483648LL) return false;
  }
  if (negative) v = -v;
  if (v > 2147483647LL) return false;
  out = static_cast<int32_t>(v);
  return true;
}

}  // namespace

int32_t ParseComPortNo(std::string_view text) {
  std::string t = Upper(Trim(text));
  size_t i = t.rfind("COM", 0) == 0 ? 3 : 0;
  int64_t v = 0;
  bool any = false;
  for (; i < t.size() && std::isdigit(static_cast<unsigned char>(t[i])); ++i) {
    any = true;
    v = v * 10 + (t[i] - '0');
    if (v > 2147483647LL) return 0;
  }
  return any ? static_cast<int32_t>(v) : 0;
}

uint16_t ParseTcpPort(std::string_view text) {
  std::string t = Trim(text);
  if (t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = "$" + t.substr(2);
  int32_t v = 0;
  if (!ParseInt32(t, v)) return 0;
  return static_cast<uint16_t>(static_cast<uint32_t>(v) & 0xFFFF);
}

std::string TrimPortText(const std::string& text) {
  // Port names from settings written elsewhere ("COM3  USB Serial") keep five
  // characters; device paths keep what precedes the friendly name.
  if (text.rfind("COM", 0) == 0 && text.size() > 5) return Trim(text.substr(0, 5));
  if (text.find(kPortNameSeparator) != std::string::npos) return Trim(PortLineDevice(text));
  return text;
}

std::string ToAsciiBytes(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (unsigned char c : utf8) {
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c >= 0xC0) {
      out.push_back('?');  // lead byte: one character
    }
    // continuation bytes belong to the character already replaced
  }
  return out;
}

OutputPort::OutputPort(AppState& state, OutputMessageSink& messages, Poster* poster,
                       PortDiscovery discovery)
    : CommX1(poster), state_(state), messages_(messages), discovery_(std::move(discovery)) {
  CommX1.SetFlowCtrl(cfcNone);
  CommX1.SetBufLenReceive(8192);
  CommX1.OnError = [this](TCommX&, int32_t bits) { OnCommError(bits); };
}

OutputPort::~OutputPort() {
  CommX1.PortClose();
  IdTCPServer1.Stop(0);
}

bool OutputPort::IsOutputOpen() const {
  return CommX1.IsOpen() || IdTCPServer1.IsListening();
}

void OutputPort::UpdatePortControls() {
  bool open = IsOutputOpen();
  state_.ButtonOpen.Enabled = !open;
  state_.ButtonClose.Enabled = open;
  state_.ComboBoxPort.Enabled = !open;
  state_.ComboBoxBaud.Enabled = !open;
  state_.EditTCPport.Enabled = !open;
}

void OutputPort::ComboBoxPortChange() {
  bool tcp = Upper(Trim(state_.ComboBoxPort.Text)).rfind("TCP", 0) == 0;
  state_.EditTCPport.Visible = tcp;  // LabelTCPport follows it
  state_.BaudControlsVisible = !tcp;
}

void OutputPort::ApplyPortDropDownClosed() {
  if (!PortDropDownClosed) return;
  state_.ComboBoxPort.Text = TrimPortText(state_.ComboBoxPort.Text);
  PortDropDownClosed = false;
}

void OutputPort::RebuildPortList() {
  std::vector<std::string> items{"TCP"};
  for (std::string& line : BuildPortLines(discovery_)) items.push_back(std::move(line));
  state_.ComboBoxPort.Items = std::move(items);
}

void OutputPort::ButtonCloseClick() {
  if (state_.ButtonStop.Enabled && OnStopRun) OnStopRun();
  CloseOutputPort();
}

void OutputPort::OpenOutputPort() {
  ++openRequest_;
  std::string t = Upper(Trim(state_.ComboBoxPort.Text));
  if (t.rfind("TCP", 0) == 0) {
    OpenTcp();
  } else {
    OpenSerial(Trim(state_.ComboBoxPort.Text));
  }
}

void OutputPort::OpenTcp() {
  if (CommX1.IsOpen()) CommX1.PortClose();
  uint16_t port = ParseTcpPort(state_.EditTCPport.Text);
  if (port == 0) state_.EditTCPport.Text = "0";
  if (!IdTCPServer1.Listen(port)) {
    IdTCPServer1.Stop(0);
    messages_.ShowOutputMessage(OutputMessageId::TcpServerCannotOpen, {});
  }
  UpdatePortControls();
}

void OutputPort::OpenSerial(const std::string& portText) {
  if (IdTCPServer1.IsListening()) IdTCPServer1.Stop(0);
  std::string device = Trim(PortLineDevice(portText));
  int32_t portNo = ParseComPortNo(portText) & 0xFFFF;
  bool isPath = device.rfind('/', 0) == 0;
  if (!isPath) device = ComPortDevice(portNo);
  int32_t baud = 0;
  std::string baudText = Trim(state_.ComboBoxBaud.Text);
  if (!ParseInt32(baudText, baud)) {
    messages_.ShowOutputMessage(OutputMessageId::SerialSpeedInvalid, {});
    return;
  }
  if (baud != SerialBaud_ || device != SerialDevice_ || !CommX1.IsOpen()) {
    ReopenSerial({baud, portNo, device, isPath, 0}, openRequest_);
    return;
  }
  UpdatePortControls();
  RebuildPortList();
}

void OutputPort::ReopenSerial(SerialReopen r, uint64_t request) {
  if (request != openRequest_) return;  // closed or opened otherwise meanwhile
  // Let what is queued for the line go out first, for at most half a second.
  if (r.checks < 10 && CommX1.IsOpen() && CommX1.GetTransLength() >= 1) {
    ++r.checks;
    if (Later) {
      Later(50, [this, r, request, life = std::weak_ptr<int>(life_)] {
        if (!life.expired()) ReopenSerial(r, request);
      });
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return ReopenSerial(r, request);
  }
  if (CommX1.IsOpen()) CloseOutputPort();
  SerialBaud_ = r.baud;
  SerialPortNo_ = r.portNo;
  SerialDevice_ = r.device;
  CommX1.SetBitRate(SerialBaud_);
  CommX1.SetPortName(r.isPath ? r.device : std::string());
  CommX1.SetPortNo(SerialPortNo_);
  try {
    CommX1.PortOpen();
  } catch (const ECommError&) {
    messages_.ShowOutputMessage(OutputMessageId::SerialCannotOpen,
                                {r.device.empty() ? std::to_string(SerialPortNo_) : r.device});
  }
  UpdatePortControls();
  RebuildPortList();
}

void OutputPort::CloseOutputPort() {
  ++openRequest_;
  if (OnStopRequest) OnStopRequest();
  if (CommX1.IsOpen()) CommX1.PortClose();
  // Clients get a moment to take what is still queued for them.
  if (IdTCPServer1.IsListening()) IdTCPServer1.Stop(100);
  UpdatePortControls();
}

void OutputPort::OnCommError(int32_t bits) {
  // Line errors are not the user's business; a vanished device is, once, and the
  // channel is closed so that nothing keeps writing into the void.
  if (!(bits & ceDeviceLost)) return;
  messages_.ShowOutputMessage(OutputMessageId::SerialPortLost, {SerialDevice_});
  CloseOutputPort();
}

void OutputPort::SendToClients(std::string_view bytes) {
  IdTCPServer1.SendToClients(bytes);
}

void OutputPort::ResetSent() {
  SentBytes_ = 0;
  SentText_.clear();
}

void OutputPort::SendText(std::string_view text) {
  bool serial = CommX1.IsOpen();
  bool tcp = IdTCPServer1.IsListening();
  if (!serial && !tcp) return;
  std::string converted;
  std::string_view bytes = text;
  if (std::any_of(text.begin(), text.end(), [](char c) { return c & 0x80; })) {
    converted = ToAsciiBytes(text);
    bytes = converted;
  }
  if (serial) CommX1.TransString(bytes);
  if (tcp) SendToClients(bytes);
  SentBytes_ += static_cast<int32_t>(bytes.size());
  SentText_.append(bytes);
}

}  // namespace fixcaster
