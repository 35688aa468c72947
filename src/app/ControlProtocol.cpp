#include "app/ControlProtocol.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>

namespace fixcaster {

std::optional<ControlResult> ControlHandler::Other(const std::string&, const QJsonObject&) {
  return std::nullopt;
}

namespace {

// The compact JSON text of one value.
std::string Json(const QJsonValue& value) {
  const QByteArray text = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
  return std::string(text.constData() + 1, static_cast<size_t>(text.size()) - 2);  // no [ ]
}

std::string Json(std::string_view text) {
  return Json(QJsonValue(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()))));
}

constexpr const char* NotAnObject = "a request must be a JSON object such as {\"cmd\":\"status\"}";

std::string Quoted(std::string_view name) {
  return "\"" + std::string(name) + "\"";
}

// "ok" (and "id") first, so that a reply reads the same to a person and to a script
// that only looks at its beginning; then the error, then the fields.
std::string ReplyLine(const QJsonValue* id, const ControlResult& result) {
  std::string line = result.Ok() ? "{\"ok\":true" : "{\"ok\":false";
  if (id) line += ",\"id\":" + Json(*id);
  if (!result.Ok()) line += ",\"error\":" + Json(result.Error);
  for (auto it = result.Fields.begin(); it != result.Fields.end(); ++it) {
    const QString key = it.key();
    if (key == QLatin1String("ok") || key == QLatin1String("id") || key == QLatin1String("error"))
      continue;
    line += "," + Json(QJsonValue(key)) + ":" + Json(it.value());
  }
  line += "}\n";
  return line;
}

std::string NumberText(double v) {
  if (std::trunc(v) == v && std::fabs(v) < 9007199254740992.0)
    return std::to_string(static_cast<long long>(v));
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

// Reads the arguments of one request, keeping the first error.
class Arguments {
 public:
  explicit Arguments(const QJsonObject& request) : request_(request) {}

  bool Ok() const { return error_.empty(); }
  const std::string& Error() const { return error_; }

  std::string Text(const char* name) {
    const QJsonValue v = Field(name);
    if (!Ok()) return {};
    if (!v.isString()) return Fail(Quoted(name) + " must be a string"), std::string();
    if (v.toString().isEmpty()) return Fail(Quoted(name) + " must not be empty"), std::string();
    return v.toString().toStdString();
  }

  int32_t Row(const char* name) {
    const QJsonValue v = Field(name);
    if (!Ok()) return 0;
    if (!v.isDouble() || std::trunc(v.toDouble()) != v.toDouble())
      return Fail(Quoted(name) + " must be a whole number"), 0;
    if (v.toDouble() < 1) return Fail(Quoted(name) + " must be 1 or more"), 0;
    if (v.toDouble() > std::numeric_limits<int32_t>::max())
      return Fail(Quoted(name) + " is too large"), 0;
    return static_cast<int32_t>(v.toDouble());
  }

  std::string Value(const char* name) {
    const QJsonValue v = Field(name);
    if (!Ok()) return {};
    if (v.isString()) return v.toString().toStdString();
    if (v.isDouble()) return NumberText(v.toDouble());
    if (v.isBool()) return v.toBool() ? "1" : "0";
    return Fail(Quoted(name) + " must be a string, a number, true or false"), std::string();
  }

  ControlTrackRows Rows(const char* name) {
    const QJsonValue v = Field(name);
    if (!Ok()) return {};
    if (!v.isArray()) return Fail(Quoted(name) + " must be an array of rows"), ControlTrackRows();
    ControlTrackRows rows;
    const QJsonArray array = v.toArray();
    rows.reserve(static_cast<size_t>(array.size()));
    for (qsizetype i = 0; i < array.size(); ++i) {
      const QJsonArray cells = array[i].toArray();
      bool good = array[i].isArray() && cells.size() == 4;
      for (qsizetype c = 0; good && c < 4; ++c) good = cells[c].isString();
      if (!good) {
        Fail("row " + std::to_string(i + 1) + " of " + Quoted(name) +
             " must be an array of four strings (latitude, longitude, altitude, speed)");
        return {};
      }
      auto& row = rows.emplace_back();
      for (qsizetype c = 0; c < 4; ++c)
        row[static_cast<size_t>(c)] = cells[c].toString().toStdString();
    }
    return rows;
  }

 private:
  QJsonValue Field(const char* name) {
    if (!Ok()) return {};
    const QJsonValue v = request_.value(QLatin1String(name));
    if (v.isUndefined()) Fail("missing " + Quoted(name));
    return v;
  }
  void Fail(std::string error) {
    if (error_.empty()) error_ = std::move(error);
  }

  const QJsonObject& request_;
  std::string error_;
};

using CommandFn = ControlResult (*)(ControlHandler&, const QJsonObject&, ControlSession&);
struct Command {
  std::string_view Name;
  CommandFn Run;
};

// Every command the protocol knows, with the checks of its arguments: a new
// command is one more row (and a method of ControlHandler).
constexpr Command Commands[] = {
    {"status", [](ControlHandler& h, const QJsonObject&, ControlSession&) { return h.Status(); }},
    {"start", [](ControlHandler& h, const QJsonObject&, ControlSession&) { return h.Start(); }},
    {"idle", [](ControlHandler& h, const QJsonObject&, ControlSession&) { return h.Idle(); }},
    {"stop", [](ControlHandler& h, const QJsonObject&, ControlSession&) { return h.Stop(); }},
    {"save", [](ControlHandler& h, const QJsonObject&, ControlSession&) { return h.Save(); }},
    {"quit", [](ControlHandler& h, const QJsonObject&, ControlSession&) { return h.Quit(); }},
    {"jump",
     [](ControlHandler& h, const QJsonObject& r, ControlSession&) {
       Arguments a(r);
       const int32_t row = a.Row("row");
       return a.Ok() ? h.Jump(row) : ControlResult::Failure(a.Error());
     }},
    {"get",
     [](ControlHandler& h, const QJsonObject& r, ControlSession&) {
       Arguments a(r);
       const std::string section = a.Text("section");
       const std::string key = a.Text("key");
       return a.Ok() ? h.Get(section, key) : ControlResult::Failure(a.Error());
     }},
    {"set",
     [](ControlHandler& h, const QJsonObject& r, ControlSession&) {
       Arguments a(r);
       const std::string section = a.Text("section");
       const std::string key = a.Text("key");
       const std::string value = a.Value("value");
       return a.Ok() ? h.Set(section, key, value) : ControlResult::Failure(a.Error());
     }},
    {"track",
     [](ControlHandler& h, const QJsonObject& r, ControlSession&) {
       Arguments a(r);
       const ControlTrackRows rows = a.Rows("rows");
       return a.Ok() ? h.Track(rows) : ControlResult::Failure(a.Error());
     }},
    {"subscribe",
     [](ControlHandler&, const QJsonObject&, ControlSession& s) {
       s.Subscribed = true;
       return ControlResult::Success();
     }},
};

ControlResult Dispatch(const QJsonObject& request, ControlHandler& handler,
                       ControlSession& session) {
  const QJsonValue cmd = request.value(QLatin1String("cmd"));
  if (cmd.isUndefined()) return ControlResult::Failure("missing \"cmd\"");
  if (!cmd.isString()) return ControlResult::Failure("\"cmd\" must be a string");
  const std::string name = cmd.toString().toStdString();
  for (const Command& c : Commands)
    if (c.Name == name) return c.Run(handler, request, session);
  if (std::optional<ControlResult> other = handler.Other(name, request)) return *other;
  return ControlResult::Failure("unknown command " + Quoted(name));
}

}  // namespace

std::string AnswerControlLine(std::string_view line, ControlHandler& handler,
                              ControlSession& session) {
  // A bare word or value is the usual slip of a person typing at the socket.
  const size_t first = line.find_first_not_of(" \t\r");
  if (first == std::string_view::npos || line[first] != '{')
    return ReplyLine(nullptr, ControlResult::Failure(NotAnObject));
  QJsonParseError parseError{};
  const QJsonDocument doc = QJsonDocument::fromJson(
      QByteArray::fromRawData(line.data(), static_cast<qsizetype>(line.size())), &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    return ReplyLine(nullptr, ControlResult::Failure("malformed JSON at offset " +
                                                     std::to_string(parseError.offset) + ": " +
                                                     parseError.errorString().toStdString()));
  }
  if (!doc.isObject()) return ReplyLine(nullptr, ControlResult::Failure(NotAnObject));
  const QJsonObject request = doc.object();
  const QJsonValue id = request.value(QLatin1String("id"));
  const QJsonValue* idPtr = id.isUndefined() ? nullptr : &id;
  try {
    return ReplyLine(idPtr, Dispatch(request, handler, session));
  } catch (const std::exception& e) {
    return ReplyLine(idPtr, ControlResult::Failure(std::string("internal error: ") + e.what()));
  } catch (...) {
    return ReplyLine(idPtr, ControlResult::Failure("internal error"));
  }
}

std::string OverlongLineReply() {
  return ReplyLine(nullptr, ControlResult::Failure("request line longer than " +
                                                   std::to_string(ControlMaxLineBytes) +
                                                   " bytes; closing the connection"));
}

std::string ControlEventLine(std::string_view event, const QJsonObject& fields) {
  std::string line = "{\"event\":" + Json(event);
  for (auto it = fields.begin(); it != fields.end(); ++it) {
    if (it.key() == QLatin1String("event")) continue;
    line += "," + Json(QJsonValue(it.key())) + ":" + Json(it.value());
  }
  line += "}\n";
  return line;
}

}  // namespace fixcaster
