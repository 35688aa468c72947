#include "settings/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace fixcaster {

std::string AsciiLower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return r;
}

std::string AsciiUpper(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return r;
}

std::string_view TrimBlanks(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= 0x20) ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= 0x20) --e;
  return s.substr(b, e - b);
}

std::optional<int32_t> ParseIniInteger(std::string_view s) {
  s = TrimBlanks(s);
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    std::string_view h = s.substr(2);
    if (h.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (char c : h) {
      int d;
      if (c >= '0' && c <= '9')
        d = c - '0';
      else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
      else
        return std::nullopt;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    return static_cast<int32_t>(v);
  }
  bool neg = false;
  size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) neg = s[i++] == '-';
  if (i == s.size()) return std::nullopt;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9') return std::nullopt;
    v = v * 10 + (s[i] - '0');
    if (v > int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (neg) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return std::nullopt;
  return static_cast<int32_t>(v);
}

namespace {

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string DecodeUtf16(std::string_view b, bool bigEndian) {
  std::string out;
  out.reserve(b.size() / 2);
  const size_t n = b.size() / 2;  // an odd last byte is no character
  auto unit = [&](size_t i) -> uint32_t {
    auto lo = static_cast<unsigned char>(b[2 * i + (bigEndian ? 1 : 0)]);
    auto hi = static_cast<unsigned char>(b[2 * i + (bigEndian ? 0 : 1)]);
    return static_cast<uint32_t>(lo | (hi << 8));
  };
  for (size_t i = 0; i < n; ++i) {
    uint32_t u = unit(i);
    if (u < 0x80) {  // the common case, kept short
      out.push_back(static_cast<char>(u));
      continue;
    }
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n) {
      uint32_t u2 = unit(i + 1);
      if (u2 >= 0xDC00 && u2 <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (u2 - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;  // unpaired surrogate
    AppendUtf8(out, u);
  }
  return out;
}

// Length of a valid UTF-8 sequence at p (0 when invalid), and its code point.
size_t Utf8Sequence(const unsigned char* p, size_t avail, uint32_t& cp) {
  unsigned char c = p[0];
  size_t len;
  uint32_t min;
  if (c < 0x80) {
    cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2, cp = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, cp = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, cp = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (len > avail) return 0;
  for (size_t k = 1; k < len; ++k) {
    if ((p[k] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[k] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return len;
}

// UTF-8 with every invalid byte taken as the Latin-1 character of that code, so the
// result is valid UTF-8 whatever the input.
std::string DecodeUtf8Lenient(std::string_view b) {
  std::string out;
  out.reserve(b.size());
  auto p = reinterpret_cast<const unsigned char*>(b.data());
  size_t i = 0;
  while (i < b.size()) {
    if (p[i] < 0x80) {
      out.push_back(static_cast<char>(p[i++]));
      continue;
    }
    uint32_t cp;
    size_t len = Utf8Sequence(p + i, b.size() - i, cp);
    if (len == 0) {
      AppendUtf8(out, p[i]);
      ++i;
    } else {
      out.append(b.data() + i, len);
      i += len;
    }
  }
  return out;
}

}  // namespace

std::string DecodeTextFile(std::string_view b) {
  if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFF &&
      static_cast<unsigned char>(b[1]) == 0xFE)
    return DecodeUtf16(b.substr(2), false);
  if (b.size() >= 2 && static_cast<unsigned char>(b[0]) == 0xFE &&
      static_cast<unsigned char>(b[1]) == 0xFF)
    return DecodeUtf16(b.substr(2), true);
  if (b.size() >= 3 && static_cast<unsigned char>(b[0]) == 0xEF &&
      static_cast<unsigned char>(b[1]) == 0xBB && static_cast<unsigned char>(b[2]) == 0xBF)
    return DecodeUtf8Lenient(b.substr(3));
  // UTF-16LE that lost its mark: ASCII text shows as every second byte zero.
  if (b.size() >= 4 && b[0] != 0 && b[1] == 0 && b[2] != 0 && b[3] == 0)
    return DecodeUtf16(b, false);
  return DecodeUtf8Lenient(b);
}

void AppendUtf16Le(std::string& out, std::string_view s) {
  auto put = [&out](uint32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  auto p = reinterpret_cast<const unsigned char*>(s.data());
  size_t i = 0;
  while (i < s.size()) {
    if (p[i] < 0x80) {
      out.push_back(static_cast<char>(p[i++]));
      out.push_back('\0');
      continue;
    }
    uint32_t cp;
    size_t len = Utf8Sequence(p + i, s.size() - i, cp);
    if (len == 0) {
      cp = p[i];
      len = 1;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      put(0xD800 + (cp >> 10));
      put(0xDC00 + (cp & 0x3FF));
    } else {
      put(cp);
    }
  }
}

// ---------------------------------------------------------------------------------

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  auto it = sectionIndex_.find(AsciiLower(name));
  return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
  auto it = sectionIndex_.find(AsciiLower(name));
  return it == sectionIndex_.end() ? nullptr : &sections_[it->second];
}

IniFile::Section& IniFile::SectionFor(std::string_view name) {
  std::string lower = AsciiLower(name);
  auto it = sectionIndex_.find(lower);
  if (it != sectionIndex_.end()) return sections_[it->second];
  sectionIndex_.emplace(std::move(lower), sections_.size());
  sections_.push_back(Section{std::string(name), {}, {}, false, false});
  return sections_.back();
}

void IniFile::AddParsedLine(Section* current, std::string_view raw) {
  std::string_view line = TrimBlanks(raw);
  if (line.empty()) return;
  if (!current) {
    preamble_.emplace_back(line);
    return;
  }
  size_t eq = line.find('=');
  if (line[0] == ';' || eq == std::string_view::npos) {
    current->lines.push_back(Line{std::string(line), {}, true, false});
    return;
  }
  Line l{std::string(TrimBlanks(line.substr(0, eq))), std::string(TrimBlanks(line.substr(eq + 1))),
         false, false};
  auto [it, inserted] = current->index.try_emplace(AsciiLower(l.key), current->lines.size());
  (void)it;
  if (!inserted) current->hasDuplicates = true;
  current->lines.push_back(std::move(l));
}

void IniFile::Parse(std::string_view bytes) {
  preamble_.clear();
  sections_.clear();
  sectionIndex_.clear();
  modified_ = false;
  const std::string text = DecodeTextFile(bytes);
  std::string_view rest(text);
  size_t current = SIZE_MAX;
  while (!rest.empty()) {
    size_t end = rest.find_first_of("\r\n");
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    // Section headers are recognised here so the current section follows them.
    std::string_view t = TrimBlanks(line);
    if (!t.empty() && t[0] == '[') {
      size_t close = t.find(']');
      std::string_view name =
          TrimBlanks(close == std::string_view::npos ? t.substr(1) : t.substr(1, close - 1));
      SectionFor(name);
      current = sectionIndex_.at(AsciiLower(name));
      continue;
    }
    AddParsedLine(current == SIZE_MAX ? nullptr : &sections_[current], line);
  }
}

bool IniFile::Load(const std::string& path) {
  Parse({});
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::string data;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
  char buf[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (!ok) return false;
  Parse(data);
  return true;
}

std::string IniFile::Serialize() const {
  std::string out;
  size_t estimate = 2;
  for (const Section& s : sections_)
    for (const Line& l : s.lines) estimate += 2 * (l.key.size() + l.value.size() + 3);
  out.reserve(estimate);
  out.append("\xFF\xFE", 2);
  auto line = [&out](std::string_view a, std::string_view b = {}, bool withEq = false) {
    AppendUtf16Le(out, a);
    if (withEq) {
      out.append("=\0", 2);
      AppendUtf16Le(out, b);
    }
    out.append("\r\0\n\0", 4);
  };
  for (const std::string& p : preamble_) line(p);
  for (const Section& s : sections_) {
    if (s.erased) continue;
    line("[" + s.name + "]");
    for (const Line& l : s.lines) {
      if (l.erased) continue;
      if (l.raw)
        line(l.key);
      else
        line(l.key, l.value, true);
    }
  }
  return out;
}

namespace {

bool WriteAll(int fd, const char* p, size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& path, std::string_view data) {
  // Replace the file a link points to, not the link.
  std::string target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  size_t slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  std::string tmp = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) +
                    "." + base + ".XXXXXX";
  int fd = ::mkstemp(tmp.data());
  if (fd < 0) return false;
  struct stat st {};
  mode_t mode = 0644;
  if (::stat(target.c_str(), &st) == 0) mode = st.st_mode & 07777;
  bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, data.data(), data.size()) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(tmp.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(tmp.c_str());
    return false;
  }
  // Make the rename itself durable.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

bool IniFile::Save(const std::string& path) const {
  return WriteFileAtomically(path, Serialize());
}

bool IniFile::SectionExists(std::string_view section) const {
  const Section* s = FindSection(section);
  return s && !s->erased;
}

const std::string* IniFile::Find(std::string_view section, std::string_view key) const {
  const Section* s = FindSection(section);
  if (!s || s->erased) return nullptr;
  auto it = s->index.find(AsciiLower(key));
  return it == s->index.end() ? nullptr : &s->lines[it->second].value;
}

bool IniFile::KeyExists(std::string_view section, std::string_view key) const {
  return Find(section, key) != nullptr;
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  const std::string* v = Find(section, key);
  return v ? *v : std::string(def);
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  const std::string* v = Find(section, key);
  if (!v) return def;
  return ParseIniInteger(*v).value_or(def);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  const std::string* v = Find(section, key);
  if (!v) return def;
  auto n = ParseIniInteger(*v);
  return n ? *n != 0 : def;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  std::string v(value);
  for (char& c : v)
    if (c == '\r' || c == '\n') c = ' ';
  Section& s = SectionFor(section);
  if (s.erased) {
    s.erased = false;
    s.lines.clear();
    s.index.clear();
    s.hasDuplicates = false;
  }
  modified_ = true;
  auto [it, inserted] = s.index.try_emplace(AsciiLower(key), s.lines.size());
  if (!inserted) {
    s.lines[it->second].value = std::move(v);
    return;
  }
  s.lines.push_back(Line{std::string(key), std::move(v), false, false});
}

void IniFile::WriteInteger(std::string_view section, std::string_view key, int64_t value) {
  WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(std::string_view section, std::string_view key, bool value) {
  WriteString(section, key, value ? "1" : "0");
}

void IniFile::DeleteKey(std::string_view section, std::string_view key) {
  Section* s = FindSection(section);
  if (!s || s->erased) return;
  std::string lower = AsciiLower(key);
  auto it = s->index.find(lower);
  if (it == s->index.end()) return;
  modified_ = true;
  size_t first = it->second;
  s->lines[first].erased = true;
  s->index.erase(it);
  if (s->hasDuplicates) {
    for (size_t i = first + 1; i < s->lines.size(); ++i) {
      Line& l = s->lines[i];
      if (!l.erased && !l.raw && AsciiLower(l.key) == lower) l.erased = true;
    }
  }
}

void IniFile::EraseSection(std::string_view section) {
  Section* s = FindSection(section);
  if (!s || s->erased) return;
  modified_ = true;
  s->erased = true;
  s->lines.clear();
  s->index.clear();
}

}  // namespace fixcaster
