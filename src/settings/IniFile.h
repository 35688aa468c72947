#pragma once

#include <cerrno>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace fixcaster {

std::string AsciiLower(std::string_view s);

// Why a settings or track file was not read or written.
enum class FileFault {
  None,
  NotRegular,  // a FIFO, a device or a folder: never read, never replaced
  TooLarge,    // beyond IniFile::MaxFileSize
  ReadOnly,    // its own mode (or its owner) does not let the user write it
  LinkLoop,    // symbolic links that never end in a file
  System,      // a call failed; `error` says why
};

struct FileStatus {
  FileFault fault = FileFault::None;
  int error = 0;  // errno of a System fault
  bool ok() const { return fault == FileFault::None; }
  // A missing file (ENOENT), which readers treat as empty.
  bool Missing() const { return fault == FileFault::System && error == ENOENT; }
  // Why, in words (English, as the system gives its own reasons).
  std::string Reason() const;
};

// Opens a file for reading without ever blocking (a FIFO would wait for a writer
// in open() forever) and only when it is a regular file. -1 and the fault otherwise.
int OpenRegularFile(const std::string& path, FileStatus* status);

// An ini profile held whole in memory. Reading accepts what such files hold in the
// wild: UTF-16LE with byte-order mark (what we write), UTF-16BE with mark, UTF-8 with
// or without mark (invalid bytes read as Latin-1), CR LF, LF or CR line ends, blanks
// around names and values, ";" comment lines, duplicate keys (the first one counts)
// and lines before the first section (kept but never read). Section and key names
// are compared without regard to ASCII case. Sections, keys and comments this program
// does not know survive a load/save cycle in their order.
//
// Writing produces UTF-16LE with byte-order mark and CR LF. Save() replaces the file
// atomically (temporary file in the same folder, fsync, rename), so an interrupted
// save leaves either the old or the new file, never a mix.
class IniFile {
 public:
  // Files beyond this size are not read (offsets are 32-bit).
  static constexpr size_t MaxFileSize = size_t{1} << 30;

  // Reads the file. A missing, unreadable or oversized file, or one that is not a
  // regular file, gives an empty profile and false; Read() also says why.
  bool Load(const std::string& path) { return Read(path).ok(); }
  FileStatus Read(const std::string& path);
  // Replaces the contents by the parse of raw file bytes.
  void Parse(std::string_view bytes);
  // The file image: UTF-16LE with byte-order mark, CR LF line ends.
  std::string Serialize() const;
  // Writes the file image atomically (ReplaceFileAtomically); false, the old file
  // untouched, on any failure. Write() also says why.
  bool Save(const std::string& path) const { return Write(path).ok(); }
  FileStatus Write(const std::string& path) const;

  bool SectionExists(std::string_view section) const;
  bool KeyExists(std::string_view section, std::string_view key) const;
  // The value of the first occurrence of the key; the view is valid until the next
  // change of the profile.
  std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view def) const;
  // A value that is not a 32-bit integer (decimal, or hexadecimal with "0x")
  // counts as missing and yields `def`.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t def) const;
  // Any integer other than 0 is true; a non-integer counts as missing.
  bool ReadBool(std::string_view section, std::string_view key, bool def) const;

  // Creates the section and key where needed. Line breaks in a value would split
  // the line on the next read, so they are stored as blanks.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInteger(std::string_view section, std::string_view key, int64_t value);
  void WriteBool(std::string_view section, std::string_view key, bool value);
  // Adds a key the caller knows is not in the section yet (no lookup).
  void AppendKey(std::string_view section, std::string_view key, std::string_view value);

  // Removes every occurrence of the key.
  void DeleteKey(std::string_view section, std::string_view key);
  // Removes the section with all its lines.
  void EraseSection(std::string_view section);

  // The keys of a section as read (the first occurrence of each name) in file
  // order, for callers that look for a family of keys without probing every name.
  // The callback must not change the profile.
  template <typename F>
  void ForEachKey(std::string_view section, F&& f) const {
    const Section* s = FindSection(section);
    if (!s || s->erased) return;
    EnsureIndex(*s);
    for (size_t i = 0; i < s->lines.size(); ++i) {
      const Line& l = s->lines[i];
      if (l.erased || l.raw) continue;
      if (s->hasDuplicates && s->index.at(AsciiLower(KeyOf(l))) != i) continue;
      f(KeyOf(l), ValueOf(l));
    }
  }

  // Every key line of a section in file order, duplicates included, without
  // building the section's index (one pass over a large section).
  template <typename F>
  void ForEachKeyLine(std::string_view section, F&& f) const {
    const Section* s = FindSection(section);
    if (!s || s->erased) return;
    for (const Line& l : s->lines)
      if (!l.erased && !l.raw) f(KeyOf(l), ValueOf(l));
  }

  // Number of lines of a section, duplicates and comments included: an upper
  // bound on its keys for a caller sizing a table before one pass over them.
  size_t LineCount(std::string_view section) const {
    const Section* s = FindSection(section);
    return s && !s->erased ? s->lines.size() : 0;
  }

  enum class LineEdit { Keep, Replace, Remove };
  // Edits a section in one pass: f(key, value, replacement) returns Keep, Replace
  // (the value becomes `replacement`) or Remove (the line goes).
  template <typename F>
  void EditKeyLines(std::string_view section, F&& f) {
    Section* s = FindSection(section);
    if (!s || s->erased) return;
    modified_ = true;
    std::string replacement;
    for (Line& l : s->lines) {
      if (l.erased || l.raw) continue;
      replacement.clear();
      switch (f(KeyOf(l), ValueOf(l), replacement)) {
        case LineEdit::Keep:
          break;
        case LineEdit::Replace:
          SetValue(l, replacement);
          break;
        case LineEdit::Remove:
          l.erased = true;
          break;
      }
    }
    s->indexed = false;
  }

  // True after a change made since Load/Parse.
  bool Modified() const { return modified_; }

 private:
  // A line's texts live in the arena; a line holds only their places, so a large
  // file costs one allocation, not two per line.
  struct Line {
    uint32_t keyOff = 0, keyLen = 0;  // the whole text for a raw line
    uint32_t valOff = 0, valLen = 0;
    bool raw = false;  // comment or other non-key line, written back unchanged
    bool erased = false;
  };
  struct Section {
    std::string name;
    std::vector<Line> lines;
    // Lower-cased key -> position of its first live occurrence, built on the
    // first lookup so a section that is only read through once costs no index.
    mutable std::unordered_map<std::string, size_t> index;
    mutable bool indexed = false;
    mutable bool hasDuplicates = false;
    bool erased = false;
  };

  std::string_view KeyOf(const Line& l) const { return {arena_.data() + l.keyOff, l.keyLen}; }
  std::string_view ValueOf(const Line& l) const { return {arena_.data() + l.valOff, l.valLen}; }
  uint32_t Store(std::string_view text);
  // Calls `sink` with the file image in pieces of about a megabyte.
  template <typename Sink>
  void SerializeTo(Sink&& sink) const;
  void SetValue(Line& l, std::string_view value);
  void EnsureIndex(const Section& s) const;
  const Section* FindSection(std::string_view name) const;
  Section* FindSection(std::string_view name);
  Section& SectionFor(std::string_view name);
  Section& LiveSectionFor(std::string_view name);

  std::string arena_;
  std::vector<std::string> preamble_;  // lines before the first section
  std::vector<Section> sections_;
  std::unordered_map<std::string, size_t> sectionIndex_;
  bool modified_ = false;
};

// Replaces the file at `path` by the contents `produce` writes in pieces: temporary
// file in the same folder, fsync, rename. `produce` calls the writer for each piece
// and returns false (nothing replaced) on a failure of its own or of a write.
//
// A link at `path` is followed to the file it names, also when that file does not
// exist yet (the link stays a link); a loop of links is a LinkLoop. An existing
// file that is not a regular file, or that its mode or owner keeps the user from
// writing, is left as it is (NotRegular, ReadOnly). The temporary files of earlier
// saves of the same file whose process is gone (killed half-way) are removed first:
// a save holds a lock on its temporary file until the rename.
using FileWriter = std::function<bool(std::string_view)>;
FileStatus ReplaceFileAtomically(const std::string& path,
                                 const std::function<bool(const FileWriter&)>& produce);
// The same as true/false, and with the whole contents at once.
bool WriteFileAtomicallyWith(const std::string& path,
                             const std::function<bool(const FileWriter&)>& produce);
bool WriteFileAtomically(const std::string& path, std::string_view data);

// Text helpers shared by the settings code.
std::string AsciiLower(std::string_view s);
std::string AsciiUpper(std::string_view s);
// Trims characters up to U+0020 at both ends (blanks, tabs, control characters).
std::string_view TrimBlanks(std::string_view s);
// A 32-bit integer in decimal (optional sign) or "0x" hexadecimal (up to 8 digits,
// two's complement), the whole text; nullopt otherwise.
std::optional<int32_t> ParseIniInteger(std::string_view s);
// Raw file bytes (any of the accepted encodings) to UTF-8.
std::string DecodeTextFile(std::string_view bytes);
void DecodeTextFileInto(std::string& out, std::string_view bytes);
// UTF-8 (invalid bytes taken as Latin-1) to UTF-16LE, appended to `out`.
void AppendUtf16Le(std::string& out, std::string_view utf8);

}  // namespace fixcaster
