#pragma once

#include <QJsonObject>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fixcaster {

// The JSON-lines control protocol: one request object per line, {"cmd": name, ...},
// and one reply line per request, {"ok":true,...} or {"ok":false,"error":"..."}. A
// request's "id", of any JSON type, is echoed in its reply. Subscribed connections
// also get event lines, {"event": name, ...}. docs/control.md describes it for users.

// Longest request line, in bytes before its line feed (a CR before it is not counted).
inline constexpr size_t ControlMaxLineBytes = 64 * 1024;

// What a command gives back: the fields of its reply, or an error text (then the
// fields, if any, are added to the error reply).
struct ControlResult {
  QJsonObject Fields;
  std::string Error;

  bool Ok() const { return Error.empty(); }
  static ControlResult Success(QJsonObject fields = {}) { return {std::move(fields), {}}; }
  static ControlResult Failure(std::string error) { return {{}, std::move(error)}; }
};

// The four cells of each track row: latitude, longitude, altitude, speed.
using ControlTrackRows = std::vector<std::array<std::string, 4>>;

// The program's side of the protocol: one method per command, called on the event
// loop with arguments whose types and basic ranges are already checked. A method may
// broadcast events; it must not destroy the server, and Quit in particular closes
// the program only after it has returned (by a queued call), so that its reply goes
// out first.
class ControlHandler {
 public:
  virtual ~ControlHandler() = default;

  virtual ControlResult Status() = 0;
  virtual ControlResult Start() = 0;
  virtual ControlResult Idle() = 0;
  virtual ControlResult Stop() = 0;
  virtual ControlResult Jump(int32_t row) = 0;  // row >= 1
  virtual ControlResult Save() = 0;
  virtual ControlResult Quit() = 0;
  // Non-empty section and key; the range of the key is the handler's to check.
  virtual ControlResult Get(const std::string& section, const std::string& key) = 0;
  // `value` is the key's text: a JSON string as it is, a number in its shortest
  // form ("5", "1.5"), true and false as "1" and "0".
  virtual ControlResult Set(const std::string& section, const std::string& key,
                            const std::string& value) = 0;
  virtual ControlResult Track(const ControlTrackRows& rows) = 0;
  // A command the protocol does not know itself (the place for new ones): the whole
  // request. Nothing means an unknown command.
  virtual std::optional<ControlResult> Other(const std::string& command,
                                             const QJsonObject& request);
};

// What the protocol keeps per connection.
struct ControlSession {
  bool Subscribed = false;  // set by "subscribe": events go to this connection
};

// Answers one request line (without its line feed): the reply line, ending in "\n".
// Never throws; a handler that throws gives an error reply.
std::string AnswerControlLine(std::string_view line, ControlHandler& handler,
                              ControlSession& session);

// The error reply of a line over ControlMaxLineBytes.
std::string OverlongLineReply();

// An event line: {"event": event, ...fields}, ending in "\n".
std::string ControlEventLine(std::string_view event, const QJsonObject& fields);

}  // namespace fixcaster
