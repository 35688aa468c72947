#include "track/Gpx.h"

#include <expat.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>

#include "track/IsoTime.h"
#include "track/TrackGrammar.h"

namespace fixcaster {

namespace {

// GPX 1.0 and 1.1 (and sloppy spellings of them) begin so.
constexpr std::string_view kGpxNamespace = "http://www.topografix.com/GPX/";
constexpr size_t kReadBlock = 64 * 1024;
// Longest text kept of a name; ele and time texts longer than this are malformed.
constexpr size_t kMaxNameText = 4096;
constexpr size_t kMaxValueText = 256;

std::string_view TrimXmlSpace(std::string_view s) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

std::string Quoted(std::string_view s) {
  constexpr size_t kShown = 40;
  std::string out = "\"";
  out.append(s.substr(0, kShown));
  if (s.size() > kShown) out += "...";
  out += "\"";
  return out;
}

enum class Ctx { Gpx, Trk, TrkSeg, Rte, Point, Ele, Time, Name, Skip };

class Reader {
 public:
  Reader(GpxData& data, GpxError& error, const GpxReadOptions& options)
      : data_(data), error_(error), options_(options) {
    parser_ = XML_ParserCreate(nullptr);
    if (!parser_) return;
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, &Reader::OnStart, &Reader::OnEnd);
    XML_SetEntityDeclHandler(parser_, &Reader::OnEntityDecl);
    // External subsets and parameter entities are never read (the default, made
    // explicit): the document alone decides what is in it.
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
  }
  ~Reader() {
    if (parser_) XML_ParserFree(parser_);
  }
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  bool Valid() const { return parser_ != nullptr; }

  // One block; `last` for the end of the input. False once the document failed.
  bool Feed(const char* bytes, size_t size, bool last) {
    if (XML_Parse(parser_, bytes, static_cast<int>(size), last) == XML_STATUS_OK) return true;
    FailFromParser();
    return false;
  }
  bool FeedBuffer(size_t size, bool last) {
    if (XML_ParseBuffer(parser_, static_cast<int>(size), last) == XML_STATUS_OK) return true;
    FailFromParser();
    return false;
  }
  void* Buffer(size_t size) { return XML_GetBuffer(parser_, static_cast<int>(size)); }

  void FailAtCurrent(std::string reason) {
    if (failed_) return;
    failed_ = true;
    error_.Line = static_cast<int64_t>(XML_GetCurrentLineNumber(parser_));
    error_.Column = static_cast<int64_t>(XML_GetCurrentColumnNumber(parser_)) + 1;
    error_.Reason = std::move(reason);
    XML_StopParser(parser_, XML_FALSE);
  }

 private:
  void FailFromParser() {
    if (failed_) return;  // our own reason, given where we stopped
    failed_ = true;
    error_.Line = static_cast<int64_t>(XML_GetCurrentLineNumber(parser_));
    error_.Column = static_cast<int64_t>(XML_GetCurrentColumnNumber(parser_)) + 1;
    error_.Reason = XML_ErrorString(XML_GetErrorCode(parser_));
  }

  static void OnStart(void* self, const XML_Char* name, const XML_Char** atts) {
    static_cast<Reader*>(self)->Start(name, atts);
  }
  static void OnEnd(void* self, const XML_Char*) { static_cast<Reader*>(self)->End(); }
  static void OnText(void* self, const XML_Char* s, int len) {
    static_cast<Reader*>(self)->Text(std::string_view(s, static_cast<size_t>(len)));
  }
  static void OnEntityDecl(void* self, const XML_Char* name, int isParameter, const XML_Char*, int,
                           const XML_Char*, const XML_Char*, const XML_Char*, const XML_Char*) {
    static_cast<Reader*>(self)->FailAtCurrent(
        std::string(isParameter ? "parameter entity" : "entity") + " declarations are refused (" +
        Quoted(name) + ")");
  }

  void Start(const XML_Char* rawName, const XML_Char** atts) {
    if (failed_) return;
    // Nothing inside a skipped element counts, whatever its namespace.
    if (!stack_.empty() && stack_.back() == Ctx::Skip) {
      stack_.push_back(Ctx::Skip);
      return;
    }
    DeclareNamespaces(atts);
    const std::string_view full(rawName);
    const size_t colon = full.find(':');
    const std::string_view local = colon == std::string_view::npos ? full : full.substr(colon + 1);
    const bool gpxNs = InGpxNamespace(colon == std::string_view::npos ? std::string_view()
                                                                      : full.substr(0, colon));

    if (stack_.empty()) {
      if (local != "gpx" || !gpxNs) {
        FailAtCurrent("the root element is " + Quoted(local) + ", not gpx");
        return;
      }
      if (const char* v = Attribute(atts, "version")) data_.Version = v;
      stack_.push_back(Ctx::Gpx);
      return;
    }
    const Ctx parent = stack_.back();
    Ctx ctx = Ctx::Skip;
    if (gpxNs) {
      switch (parent) {
        case Ctx::Gpx:
          if (local == "trk") {
            data_.Tracks.push_back({GpxKind::Track, "", {}, 0, 0});
            ctx = Ctx::Trk;
          } else if (local == "rte") {
            data_.Routes.push_back({GpxKind::Route, "", {}, 0, 0});
            ctx = Ctx::Rte;
          } else if (local == "wpt") {
            ctx = BeginPoint(data_.Waypoints, local, atts);
          }
          break;
        case Ctx::Trk:
          if (local == "name") ctx = BeginText(Ctx::Name);
          if (local == "trkseg") {
            ++data_.Tracks.back().Segments;
            ctx = Ctx::TrkSeg;
          }
          break;
        case Ctx::TrkSeg:
          if (local == "trkpt") ctx = BeginPoint(data_.Tracks.back(), local, atts);
          break;
        case Ctx::Rte:
          if (local == "name") ctx = BeginText(Ctx::Name);
          if (local == "rtept") ctx = BeginPoint(data_.Routes.back(), local, atts);
          break;
        case Ctx::Point:
          if (local == "ele") ctx = BeginText(Ctx::Ele);
          if (local == "time") ctx = BeginText(Ctx::Time);
          break;
        default:
          break;
      }
    }
    if (failed_) return;
    stack_.push_back(ctx);
  }

  // The parser runs without namespace processing (which costs it about half again
  // as much time); the declarations of the elements that count are followed here.
  void DeclareNamespaces(const XML_Char** atts) {
    for (size_t i = 0; atts[i]; i += 2) {
      const std::string_view name(atts[i]);
      if (name.substr(0, 5) != "xmlns") continue;
      if (name.size() != 5 && name[5] != ':') continue;
      const std::string_view uri(atts[i + 1]);
      namespaces_.push_back({std::string(name.substr(name.size() == 5 ? 5 : 6)),
                             uri.empty() || uri.substr(0, kGpxNamespace.size()) == kGpxNamespace,
                             stack_.size()});
    }
  }
  // No namespace counts as GPX (files without declarations); an undeclared prefix
  // does not.
  bool InGpxNamespace(std::string_view prefix) const {
    for (auto it = namespaces_.rbegin(); it != namespaces_.rend(); ++it)
      if (it->prefix == prefix) return it->gpx;
    return prefix.empty();
  }

  // Text is taken only inside ele, time and name: without a handler the parser does
  // not hand over the blanks between elements and the text of extensions at all.
  Ctx BeginText(Ctx ctx) {
    XML_SetCharacterDataHandler(parser_, &Reader::OnText);
    text_.clear();
    textTooLong_ = false;
    textLine_ = static_cast<int64_t>(XML_GetCurrentLineNumber(parser_));
    textColumn_ = static_cast<int64_t>(XML_GetCurrentColumnNumber(parser_)) + 1;
    return ctx;
  }

  static const char* Attribute(const XML_Char** atts, std::string_view name) {
    for (size_t i = 0; atts[i]; i += 2)
      if (name == atts[i]) return atts[i + 1];
    return nullptr;
  }

  // Reads lat and lon of a point element; fails the document when they are unusable.
  Ctx BeginPoint(GpxSequence& seq, std::string_view element, const XML_Char** atts) {
    point_ = GpxPoint{};
    pointSeq_ = &seq;
    const std::pair<const char*, double*> coords[] = {{"lat", &point_.Lat}, {"lon", &point_.Lon}};
    for (const auto& [attr, target] : coords) {
      const char* text = Attribute(atts, attr);
      if (!text) {
        FailAtCurrent(std::string(element) + " has no " + attr + " attribute");
        return Ctx::Skip;
      }
      const std::string_view t = TrimXmlSpace(text);
      const double v = t.empty() ? std::nan("") : ParseNumber(t);
      if (std::isnan(v)) {
        FailAtCurrent(std::string(attr) + " " + Quoted(text) + " is not a number");
        return Ctx::Skip;
      }
      const double limit = target == &point_.Lat ? 90 : 180;
      if (std::fabs(v) > limit) {
        FailAtCurrent(std::string(attr) + " " + std::string(t) + " is beyond +-" +
                      (target == &point_.Lat ? "90" : "180"));
        return Ctx::Skip;
      }
      *target = v;
    }
    return Ctx::Point;
  }

  void FailAtText(std::string reason) {
    FailAtCurrent(std::move(reason));
    error_.Line = textLine_;
    error_.Column = textColumn_;
  }

  void End() {
    if (failed_ || stack_.empty()) return;
    const Ctx ctx = stack_.back();
    stack_.pop_back();
    if (ctx == Ctx::Ele || ctx == Ctx::Time || ctx == Ctx::Name)
      XML_SetCharacterDataHandler(parser_, nullptr);
    while (!namespaces_.empty() && namespaces_.back().depth >= stack_.size())
      namespaces_.pop_back();
    switch (ctx) {
      case Ctx::Ele:
      case Ctx::Time: {
        const std::string_view t = TrimXmlSpace(text_);
        const char* what = ctx == Ctx::Ele ? "ele" : "time";
        if (textTooLong_) {
          FailAtText(std::string(what) + " text is too long");
        } else if (t.empty()) {
          // an empty element records nothing
        } else if (ctx == Ctx::Ele) {
          point_.Ele = ParseNumber(t);
          if (std::isnan(point_.Ele)) FailAtText("ele " + Quoted(t) + " is not a number");
        } else if (const auto micros = ParseIsoTime(t)) {
          point_.Time = static_cast<double>(*micros) / MicrosPerSecond;
        } else {
          FailAtText("time " + Quoted(t) + " is not an ISO 8601 time");
        }
        break;
      }
      case Ctx::Name: {
        GpxSequence& seq = stack_.back() == Ctx::Trk ? data_.Tracks.back() : data_.Routes.back();
        seq.Name.assign(TrimXmlSpace(text_));
        break;
      }
      case Ctx::Point:
        if (static_cast<int64_t>(pointSeq_->Points.size()) < options_.MaxPointsPerSequence) {
          pointSeq_->Points.push_back(point_);
        } else {
          ++pointSeq_->PointsNotKept;
        }
        break;
      default:
        break;
    }
  }

  void Text(std::string_view s) {
    if (failed_ || stack_.empty()) return;
    const Ctx ctx = stack_.back();
    if (ctx != Ctx::Ele && ctx != Ctx::Time && ctx != Ctx::Name) return;
    const size_t cap = ctx == Ctx::Name ? kMaxNameText : kMaxValueText;
    if (text_.size() + s.size() > cap) {
      textTooLong_ = true;
      s = s.substr(0, cap - std::min(cap, text_.size()));
    }
    text_.append(s);
  }

  XML_Parser parser_ = nullptr;
  GpxData& data_;
  GpxError& error_;
  const GpxReadOptions& options_;
  bool failed_ = false;
  std::vector<Ctx> stack_;
  struct Namespace {
    std::string prefix;  // "" for the default namespace
    bool gpx;
    size_t depth;  // of the element that declared it
  };
  std::vector<Namespace> namespaces_;
  std::string text_;
  bool textTooLong_ = false;
  int64_t textLine_ = 0, textColumn_ = 0;
  GpxPoint point_;
  GpxSequence* pointSeq_ = nullptr;
};

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

GpxStatus ReadGpxText(std::string_view text, GpxData& data, GpxError& error,
                      const GpxReadOptions& options) {
  data = GpxData{};
  error = GpxError{};
  Reader reader(data, error, options);
  if (!reader.Valid()) {
    error.Reason = "out of memory";
    return GpxStatus::Malformed;
  }
  // Blocks keep each call's length within an int.
  while (text.size() > kReadBlock) {
    if (!reader.Feed(text.data(), kReadBlock, false)) return GpxStatus::Malformed;
    text.remove_prefix(kReadBlock);
  }
  return reader.Feed(text.data(), text.size(), true) ? GpxStatus::Ok : GpxStatus::Malformed;
}

GpxStatus ReadGpxFile(const std::string& path, GpxData& data, GpxError& error,
                      const GpxReadOptions& options) {
  data = GpxData{};
  error = GpxError{};
  // Non-blocking open, then only a regular file is read: a FIFO or a device given
  // as a track file must not hang the caller.
  FdCloser file{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
  if (file.fd < 0) return GpxStatus::CannotOpen;
  struct stat st {};
  if (::fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return GpxStatus::CannotOpen;
  Reader reader(data, error, options);
  if (!reader.Valid()) {
    error.Reason = "out of memory";
    return GpxStatus::Malformed;
  }
  for (;;) {
    void* buf = reader.Buffer(kReadBlock);
    if (!buf) {
      error.Reason = "out of memory";
      return GpxStatus::Malformed;
    }
    ssize_t n;
    do n = ::read(file.fd, buf, kReadBlock);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
      error.Reason = std::string("read error: ") + std::strerror(errno);
      return GpxStatus::Malformed;
    }
    if (!reader.FeedBuffer(static_cast<size_t>(n), n == 0)) return GpxStatus::Malformed;
    if (n == 0) return GpxStatus::Ok;
  }
}

std::optional<GpxChoice> ChooseGpxSequence(const GpxData& data, std::string_view which) {
  const auto firstWithPoints = [](const std::vector<GpxSequence>& list) -> std::optional<size_t> {
    for (size_t i = 0; i < list.size(); ++i)
      if (!list[i].Points.empty()) return i;
    return std::nullopt;
  };
  if (which.empty()) {
    if (const auto i = firstWithPoints(data.Tracks)) return GpxChoice{GpxKind::Track, *i};
    if (const auto i = firstWithPoints(data.Routes)) return GpxChoice{GpxKind::Route, *i};
    if (!data.Waypoints.Points.empty()) return GpxChoice{GpxKind::Waypoints, 0};
    return std::nullopt;
  }
  for (size_t i = 0; i < data.Tracks.size(); ++i)
    if (data.Tracks[i].Name == which) return GpxChoice{GpxKind::Track, i};
  for (size_t i = 0; i < data.Routes.size(); ++i)
    if (data.Routes[i].Name == which) return GpxChoice{GpxKind::Route, i};
  size_t number = 0;
  const auto [end, ec] = std::from_chars(which.data(), which.data() + which.size(), number);
  if (ec != std::errc() || end != which.data() + which.size() || number == 0) return std::nullopt;
  if (!data.Tracks.empty()) {
    if (number <= data.Tracks.size()) return GpxChoice{GpxKind::Track, number - 1};
  } else if (number <= data.Routes.size()) {
    return GpxChoice{GpxKind::Route, number - 1};
  }
  return std::nullopt;
}

const GpxSequence& SequenceOf(const GpxData& data, const GpxChoice& choice) {
  switch (choice.Kind) {
    case GpxKind::Track:
      return data.Tracks.at(choice.Index);
    case GpxKind::Route:
      return data.Routes.at(choice.Index);
    case GpxKind::Waypoints:
      break;
  }
  return data.Waypoints;
}

namespace {

// Shortest text that reads back as the same double, in plain decimal notation
// (GPX numbers are xsd:decimal: no exponent).
void AppendDecimal(std::string& out, double v) {
  char buf[400];
  const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  if (ec == std::errc()) out.append(buf, end);
}

void AppendEscaped(std::string& out, std::string_view s) {
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      default:
        // Control characters other than tab and line ends are not allowed in XML 1.0.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t' || c == '\n' || c == '\r')
          out.push_back(c);
        break;
    }
  }
}

}  // namespace

GpxWriteResult TrackGpxText(const TrackTable& table, int64_t lastPoint,
                            std::string_view trackName) {
  GpxWriteResult r;
  std::string& out = r.Text;
  out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"Fixcaster\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
      "  <trk>\n";
  if (!trackName.empty()) {
    out += "    <name>";
    AppendEscaped(out, trackName);
    out += "</name>\n";
  }
  out += "    <trkseg>\n";
  lastPoint = std::min<int64_t>(lastPoint, table.TrackMax());
  for (int64_t n = 1; n <= lastPoint; ++n) {
    const double lat = ParsePositionCell(table.Cell(n, TrackTable::ColLat));
    const double lon = ParsePositionCell(table.Cell(n, TrackTable::ColLon));
    if (!(std::fabs(lat) <= 90) || !(std::fabs(lon) <= 180)) {  // also NaN
      ++r.Skipped;
      continue;
    }
    const double alt = ParseNumber(table.Cell(n, TrackTable::ColAlt));
    out += "      <trkpt lat=\"";
    AppendDecimal(out, lat);
    out += "\" lon=\"";
    AppendDecimal(out, lon);
    out += "\">";
    if (std::isfinite(alt)) {
      out += "<ele>";
      AppendDecimal(out, alt);
      out += "</ele>";
    }
    out += "</trkpt>\n";
    ++r.Written;
  }
  out += "    </trkseg>\n  </trk>\n</gpx>\n";
  return r;
}

}  // namespace fixcaster
