#include "settings/IniFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
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

template <bool BigEndian>
void DecodeUtf16(std::string& out, std::string_view b) {
  out.reserve(out.size() + b.size() / 2);
  const size_t n = b.size() / 2;  // an odd last byte is no character
  const auto* p = reinterpret_cast<const unsigned char*>(b.data());
  auto unit = [p](size_t i) -> uint32_t {
    const uint32_t first = p[2 * i], second = p[2 * i + 1];
    return BigEndian ? (first << 8) | second : first | (second << 8);
  };
  // Runs of ASCII, the bulk of every settings file, go four units at a time
  // through one 64-bit word (a byte-wise loop spent most of a large load here),
  // and a block at a time, so the copy finds the scanned block still in cache.
  constexpr size_t kBlockWords = 1024;
  size_t i = 0;
  while (i < n) {
    if constexpr (std::endian::native == std::endian::little) {
      constexpr uint64_t kHigh = BigEndian ? 0x80FF80FF80FF80FFull : 0xFF80FF80FF80FF80ull;
      const size_t words = std::min((n - i) / 4, kBlockWords);
      size_t k = 0;
      while (k < words) {
        uint64_t w;
        std::memcpy(&w, p + 2 * (i + 4 * k), 8);
        if (w & kHigh) break;
        ++k;
      }
      if (k > 0) {
        const size_t at = out.size();
        out.resize(at + 4 * k);
        char* d = out.data() + at;
        for (size_t j = 0; j < k; ++j, d += 4) {
          uint64_t w;
          std::memcpy(&w, p + 2 * (i + 4 * j), 8);
          if constexpr (BigEndian) w >>= 8;
          // c0 0 c1 0 c2 0 c3 0 -> c0 c1 c2 c3
          w = (w | (w >> 8)) & 0x0000FFFF0000FFFFull;
          w = (w | (w >> 16)) & 0x00000000FFFFFFFFull;
          const auto packed = static_cast<uint32_t>(w);
          std::memcpy(d, &packed, 4);
        }
        i += 4 * k;
        continue;
      }
    }
    if (unit(i) < 0x80) {
      out.push_back(static_cast<char>(unit(i++)));
      continue;
    }
    uint32_t u = unit(i++);
    if (u >= 0xD800 && u <= 0xDBFF && i < n) {
      uint32_t u2 = unit(i);
      if (u2 >= 0xDC00 && u2 <= 0xDFFF) {
        AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (u2 - 0xDC00));
        ++i;
        continue;
      }
    }
    if (u >= 0xD800 && u <= 0xDFFF) u = 0xFFFD;  // unpaired surrogate
    AppendUtf8(out, u);
  }
}

// Whether any byte of the word is `c`.
constexpr bool HasByte(uint64_t w, unsigned char c) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  const uint64_t x = w ^ (kOnes * c);
  return ((x - kOnes) & ~x & (kOnes << 7)) != 0;
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
void DecodeUtf8Lenient(std::string& out, std::string_view b) {
  out.reserve(out.size() + b.size());
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
}

}  // namespace

void DecodeTextFileInto(std::string& out, std::string_view b) {
  auto byte = [&b](size_t i) { return static_cast<unsigned char>(b[i]); };
  if (b.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE)
    return DecodeUtf16<false>(out, b.substr(2));
  if (b.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF)
    return DecodeUtf16<true>(out, b.substr(2));
  if (b.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF)
    return DecodeUtf8Lenient(out, b.substr(3));
  // UTF-16LE that lost its mark: ASCII text shows as every second byte zero.
  if (b.size() >= 4 && b[0] != 0 && b[1] == 0 && b[2] != 0 && b[3] == 0)
    return DecodeUtf16<false>(out, b);
  DecodeUtf8Lenient(out, b);
}

std::string DecodeTextFile(std::string_view b) {
  std::string out;
  DecodeTextFileInto(out, b);
  return out;
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
      // Runs of ASCII, the bulk of every settings file, in one step.
      size_t run = i;
      while (run < s.size() && p[run] < 0x80) ++run;
      size_t at = out.size();
      out.resize(at + 2 * (run - i));
      char* d = out.data() + at;
      for (; i < run; ++i) {
        *d++ = static_cast<char>(p[i]);
        *d++ = '\0';
      }
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

uint32_t IniFile::Store(std::string_view text) {
  auto off = static_cast<uint32_t>(arena_.size());
  arena_.append(text);
  return off;
}

void IniFile::SetValue(Line& l, std::string_view value) {
  // A value that fits where the old one was is written in place (each line owns
  // its range), so rewriting a large file does not grow the arena.
  if (value.size() <= l.valLen && l.valOff != 0) {
    std::copy(value.begin(), value.end(), arena_.begin() + l.valOff);
  } else {
    l.valOff = Store(value);
  }
  l.valLen = static_cast<uint32_t>(value.size());
  for (size_t i = l.valOff; i < size_t{l.valOff} + l.valLen; ++i)
    if (arena_[i] == '\r' || arena_[i] == '\n') arena_[i] = ' ';
}

void IniFile::EnsureIndex(const Section& s) const {
  if (s.indexed) return;
  s.index.clear();
  s.index.reserve(s.lines.size());
  s.hasDuplicates = false;
  for (size_t i = 0; i < s.lines.size(); ++i) {
    const Line& l = s.lines[i];
    if (l.erased || l.raw) continue;
    if (!s.index.try_emplace(AsciiLower(KeyOf(l)), i).second) s.hasDuplicates = true;
  }
  s.indexed = true;
}

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
  sections_.push_back(Section{std::string(name), {}, {}, false, false, false});
  return sections_.back();
}

// The section for a write: an erased one comes back empty.
IniFile::Section& IniFile::LiveSectionFor(std::string_view name) {
  Section& s = SectionFor(name);
  if (s.erased) {
    s.erased = false;
    s.lines.clear();
    s.index.clear();
    s.indexed = true;
    s.hasDuplicates = false;
  }
  modified_ = true;
  return s;
}

void IniFile::Parse(std::string_view bytes) {
  preamble_.clear();
  sections_.clear();
  sectionIndex_.clear();
  modified_ = false;
  // Offset 0 is kept free: it marks a line without a value range of its own.
  if (bytes.size() > MaxFileSize) bytes = {};
  arena_.assign(1, '\n');
  DecodeTextFileInto(arena_, bytes);
  const char* base = arena_.data();
  const size_t size = arena_.size();
  Section* current = nullptr;
  size_t pos = 0;
  size_t stored = 0;  // lines kept in sections so far
  constexpr size_t kEstimateFrom = 4096;
  while (pos < size) {
    size_t end = pos;
    // Eight bytes at a time up to the word holding the line break.
    while (end + 8 <= size) {
      uint64_t w;
      std::memcpy(&w, base + end, 8);
      if (HasByte(w, '\n') || HasByte(w, '\r')) break;
      end += 8;
    }
    while (end < size && base[end] != '\r' && base[end] != '\n') ++end;
    // The line, trimmed, as offsets into the arena.
    size_t b = pos, e = end;
    pos = end + 1;
    while (b < e && static_cast<unsigned char>(base[b]) <= 0x20) ++b;
    while (e > b && static_cast<unsigned char>(base[e - 1]) <= 0x20) --e;
    if (b == e) continue;
    std::string_view line(base + b, e - b);
    if (line[0] == '[') {
      size_t close = line.find(']');
      std::string_view name =
          TrimBlanks(close == std::string_view::npos ? line.substr(1) : line.substr(1, close - 1));
      // A repeated section header continues the first section of that name.
      current = &SectionFor(name);
      continue;
    }
    if (!current) {
      preamble_.emplace_back(line);
      continue;
    }
    size_t eq = line.find('=');
    Line l;
    if (line[0] == ';' || eq == std::string_view::npos) {
      l.keyOff = static_cast<uint32_t>(b), l.keyLen = static_cast<uint32_t>(line.size());
      l.raw = true;
    } else {
      std::string_view key = TrimBlanks(line.substr(0, eq));
      std::string_view value = TrimBlanks(line.substr(eq + 1));
      l.keyOff = static_cast<uint32_t>(key.data() - base);
      l.keyLen = static_cast<uint32_t>(key.size());
      l.valOff = static_cast<uint32_t>(value.data() - base);
      l.valLen = static_cast<uint32_t>(value.size());
    }
    std::vector<Line>& lines = current->lines;
    if (lines.size() == lines.capacity() && lines.size() >= kEstimateFrom) {
      // A large section (the track) grown by doubling copies its lines and
      // touches twice their memory: it is sized once from the bytes left at the
      // average line length so far, bounded by twice those bytes.
      const size_t avgLen = std::max<size_t>(1, pos / (stored + 1));
      const size_t left = pos < size ? size - pos : 0;
      size_t more = left / avgLen;
      more = std::min(more + more / 8 + 16, 2 * left / sizeof(Line) + 16);
      lines.reserve(lines.size() + more);
    }
    lines.push_back(l);
    ++stored;
  }
  for (Section& s : sections_)
    if (s.lines.capacity() / 2 > s.lines.size() + kEstimateFrom) s.lines.shrink_to_fit();
}

std::string FileStatus::Reason() const {
  switch (fault) {
    case FileFault::None:
      return {};
    case FileFault::NotRegular:
      return "not a regular file";
    case FileFault::TooLarge:
      return "larger than 1 GiB";
    case FileFault::ReadOnly:
      return "read-only";
    case FileFault::LinkLoop:
      return "a loop of symbolic links";
    case FileFault::System:
      break;
  }
  return std::strerror(error);
}

namespace {

FileStatus Fault(FileFault fault, int error = 0) {
  return {fault, error};
}

// The fault of a failed call, by its errno.
FileStatus SystemFault(int error) {
  return error == ELOOP ? Fault(FileFault::LinkLoop) : Fault(FileFault::System, error);
}

}  // namespace

int OpenRegularFile(const std::string& path, FileStatus* status) {
  // Non-blocking: opening a FIFO for reading would otherwise wait for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *status = SystemFault(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    *status = Fault(FileFault::NotRegular);
    ::close(fd);
    return -1;
  }
  *status = {};
  return fd;
}

FileStatus IniFile::Read(const std::string& path) {
  Parse({});
  FileStatus status;
  int fd = OpenRegularFile(path, &status);
  if (fd < 0) return status;
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    status = Fault(FileFault::System, errno);
    ::close(fd);
    return status;
  }
  if (static_cast<uint64_t>(st.st_size) > MaxFileSize) {
    ::close(fd);
    return Fault(FileFault::TooLarge);
  }
  const auto size = static_cast<size_t>(st.st_size);
  if (size == 0) {
    ::close(fd);
    return {};
  }
  // Mapped rather than copied: the file is decoded straight from the page cache.
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
  const int mapError = errno;
  ::close(fd);
  if (map == MAP_FAILED) return Fault(FileFault::System, mapError);
  Parse(std::string_view(static_cast<const char*>(map), size));
  ::munmap(map, size);
  return {};
}

template <typename Sink>
void IniFile::SerializeTo(Sink&& sink) const {
  std::string out;
  constexpr size_t kPiece = size_t{1} << 20;
  out.reserve(kPiece + 4096);
  out.append("\xFF\xFE", 2);
  auto end = [&] {
    out.append("\r\0\n\0", 4);
    if (out.size() >= kPiece) {
      sink(std::string_view(out));
      out.clear();
    }
  };
  for (const std::string& p : preamble_) {
    AppendUtf16Le(out, p);
    end();
  }
  for (const Section& s : sections_) {
    if (s.erased) continue;
    out.append("[\0", 2);
    AppendUtf16Le(out, s.name);
    out.append("]\0", 2);
    end();
    for (const Line& l : s.lines) {
      if (l.erased) continue;
      AppendUtf16Le(out, KeyOf(l));
      if (!l.raw) {
        out.append("=\0", 2);
        AppendUtf16Le(out, ValueOf(l));
      }
      end();
    }
  }
  if (!out.empty()) sink(std::string_view(out));
}

std::string IniFile::Serialize() const {
  std::string image;
  SerializeTo([&image](std::string_view piece) { image.append(piece); });
  return image;
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

// Where a save of `path` writes: the path itself, or the file a chain of links
// there ends in (relative links count from the link's folder). A link whose target
// does not exist yet ends the chain there: the file is made at the target.
FileStatus ResolveSaveTarget(const std::string& path, std::string* target) {
  std::string p = path;
  // The limit of the kernel's own link resolution.
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) {
      if (errno != ENOENT) return SystemFault(errno);
      *target = p;
      return {};
    }
    if (!S_ISLNK(st.st_mode)) {
      *target = p;
      return {};
    }
    std::string link(static_cast<size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
    ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
    if (n < 0) return SystemFault(errno);
    link.resize(static_cast<size_t>(n));
    if (link.empty()) return Fault(FileFault::System, ENOENT);
    if (link[0] != '/') {
      size_t slash = p.rfind('/');
      if (slash != std::string::npos) link = p.substr(0, slash + 1) + link;
    }
    p = std::move(link);
  }
  return Fault(FileFault::LinkLoop);
}

// mkstemp's temporary name for `base` in its folder: "." + base + "." + six
// characters of [A-Za-z0-9].
bool IsTemporaryNameOf(std::string_view name, std::string_view base) {
  if (name.size() != base.size() + 8 || name[0] != '.' || name.substr(1, base.size()) != base ||
      name[base.size() + 1] != '.')
    return false;
  for (char c : name.substr(base.size() + 2))
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

// Removes the temporary files of earlier saves of `base` in `dir` that no process
// holds any more (a save killed half-way). A running save keeps its file locked, so
// a file whose lock we can take is an orphan.
void RemoveOrphanedTemporaryFiles(const std::string& dir, const std::string& base) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = ::readdir(d)) {
    if (!IsTemporaryNameOf(e->d_name, base)) continue;
    const std::string name = dir + "/" + e->d_name;
    int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {
    }, now{};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::lstat(name.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino)
      ::unlink(name.c_str());
    ::close(fd);
  }
  ::closedir(d);
}

// A new temporary file beside `target`, locked for the time of the save.
int CreateLockedTemporaryFile(const std::string& target, std::string* tmp) {
  const size_t slash = target.rfind('/');
  const std::string prefix =
      slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  for (int attempt = 0; attempt < 8; ++attempt) {
    *tmp = prefix + "." + base + ".XXXXXX";
    int fd = ::mkstemp(tmp->data());
    if (fd < 0) return -1;
    struct stat st {};
    // Another save's clean-up may take a fresh file for an orphan before it is
    // locked; it then removes it, and we start again.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::fstat(fd, &st) == 0 && st.st_nlink > 0) return fd;
    ::close(fd);
  }
  errno = EAGAIN;
  return -1;
}

}  // namespace

FileStatus ReplaceFileAtomically(const std::string& path,
                                 const std::function<bool(const FileWriter&)>& produce) {
  std::string target;
  if (FileStatus s = ResolveSaveTarget(path, &target); !s.ok()) return s;
  const size_t slash = target.rfind('/');
  const std::string dir =
      slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
  const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);

  struct stat st {};
  const bool exists = ::stat(target.c_str(), &st) == 0;
  if (exists) {
    if (!S_ISREG(st.st_mode)) return Fault(FileFault::NotRegular);
    // The rename would replace a file whatever its mode: respect it ourselves. No
    // write bit at all counts for root too, who may write anything.
    if ((st.st_mode & 0222) == 0 ||
        (::access(target.c_str(), W_OK) != 0 && (errno == EACCES || errno == EPERM)))
      return Fault(FileFault::ReadOnly);
  }

  RemoveOrphanedTemporaryFiles(dir, base);
  std::string tmp;
  int fd = CreateLockedTemporaryFile(target, &tmp);
  if (fd < 0) return SystemFault(errno);
  mode_t mode = 0644;
  if (exists) {
    // The replacement keeps the old file's mode and, where allowed, its owner.
    mode = st.st_mode & 07777;
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Not permitted for another user's file: the new file is then ours.
    }
  }
  int error = 0;
  auto fail = [&error](int e) {
    if (!error) error = e;
    return false;
  };
  bool ok = ::fchmod(fd, mode) == 0 || fail(errno);
  if (ok) {
    // A write that fails leaves its errno; a failure of the producer's own is EIO.
    int writeError = 0;
    ok = produce([fd, &writeError](std::string_view piece) {
           if (WriteAll(fd, piece.data(), piece.size())) return true;
           writeError = errno;
           return false;
         }) ||
         fail(writeError ? writeError : EIO);
  }
  ok = ok && (::fsync(fd) == 0 || fail(errno));
  // Renamed while still locked: an orphan clean-up never takes a finished file.
  if (ok && ::rename(tmp.c_str(), target.c_str()) != 0) ok = fail(errno);
  if (!ok) ::unlink(tmp.c_str());
  if (::close(fd) != 0 && ok) {
    // The data was synced before the rename; a late close error changes nothing.
  }
  if (!ok) return SystemFault(error);
  // Make the rename itself durable.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return {};
}

bool WriteFileAtomicallyWith(const std::string& path,
                             const std::function<bool(const FileWriter&)>& produce) {
  return ReplaceFileAtomically(path, produce).ok();
}

bool WriteFileAtomically(const std::string& path, std::string_view data) {
  return WriteFileAtomicallyWith(path, [data](const FileWriter& write) { return write(data); });
}

FileStatus IniFile::Write(const std::string& path) const {
  // Written in pieces: a large file never exists twice in memory.
  return ReplaceFileAtomically(path, [this](const FileWriter& write) {
    bool ok = true;
    SerializeTo([&](std::string_view piece) { ok = ok && write(piece); });
    return ok;
  });
}

bool IniFile::SectionExists(std::string_view section) const {
  const Section* s = FindSection(section);
  return s && !s->erased;
}

std::optional<std::string_view> IniFile::Find(std::string_view section,
                                              std::string_view key) const {
  const Section* s = FindSection(section);
  if (!s || s->erased) return std::nullopt;
  EnsureIndex(*s);
  auto it = s->index.find(AsciiLower(key));
  if (it == s->index.end()) return std::nullopt;
  return ValueOf(s->lines[it->second]);
}

bool IniFile::KeyExists(std::string_view section, std::string_view key) const {
  return Find(section, key).has_value();
}

std::string IniFile::ReadString(std::string_view section, std::string_view key,
                                std::string_view def) const {
  return std::string(Find(section, key).value_or(def));
}

int32_t IniFile::ReadInteger(std::string_view section, std::string_view key, int32_t def) const {
  auto v = Find(section, key);
  if (!v) return def;
  return ParseIniInteger(*v).value_or(def);
}

bool IniFile::ReadBool(std::string_view section, std::string_view key, bool def) const {
  auto v = Find(section, key);
  if (!v) return def;
  auto n = ParseIniInteger(*v);
  return n ? *n != 0 : def;
}

void IniFile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  Section& s = LiveSectionFor(section);
  EnsureIndex(s);
  auto [it, inserted] = s.index.try_emplace(AsciiLower(key), s.lines.size());
  if (!inserted) {
    SetValue(s.lines[it->second], value);
    return;
  }
  Line l;
  l.keyOff = Store(key), l.keyLen = static_cast<uint32_t>(key.size());
  SetValue(l, value);
  s.lines.push_back(l);
}

void IniFile::AppendKey(std::string_view section, std::string_view key, std::string_view value) {
  Section& s = LiveSectionFor(section);
  if (s.indexed && !s.index.try_emplace(AsciiLower(key), s.lines.size()).second)
    s.hasDuplicates = true;
  Line l;
  l.keyOff = Store(key), l.keyLen = static_cast<uint32_t>(key.size());
  SetValue(l, value);
  s.lines.push_back(l);
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
  EnsureIndex(*s);
  auto it = s->index.find(lower);
  if (it == s->index.end()) return;
  modified_ = true;
  size_t first = it->second;
  s->lines[first].erased = true;
  s->index.erase(it);
  if (s->hasDuplicates) {
    for (size_t i = first + 1; i < s->lines.size(); ++i) {
      Line& l = s->lines[i];
      if (!l.erased && !l.raw && AsciiLower(KeyOf(l)) == lower) l.erased = true;
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
  s->indexed = true;
}

}  // namespace fixcaster
