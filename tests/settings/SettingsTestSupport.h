#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "settings/IniFile.h"
#include "settings/SettingsHost.h"
#include "state/AppState.h"

namespace fixcaster::test {

// A fresh folder under the system's temporary folder, removed with its contents.
class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/fixcaster-settings-XXXXXX";
    // Without a folder every path below would land in the root folder.
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot create " + tmpl);
    path_ = tmpl;
  }
  ~TempDir() { RemoveTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Names in the folder, sorted.
  std::vector<std::string> List(const std::string& sub = "") const {
    std::vector<std::string> names;
    if (DIR* d = ::opendir((sub.empty() ? path_ : path_ + "/" + sub).c_str())) {
      while (dirent* e = ::readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..") names.push_back(n);
      }
      ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static void RemoveTree(const std::string& p) {
    if (p.empty()) return;
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
      if (DIR* d = ::opendir(p.c_str())) {
        while (dirent* e = ::readdir(d)) {
          std::string n = e->d_name;
          if (n != "." && n != "..") RemoveTree(p + "/" + n);
        }
        ::closedir(d);
      }
      ::rmdir(p.c_str());
    } else {
      ::unlink(p.c_str());
    }
  }

 private:
  std::string path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f << bytes;
}

inline std::string ReadBytes(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

inline bool FileExists(const std::string& path) {
  return ::access(path.c_str(), F_OK) == 0;
}

// UTF-8 text as a UTF-16LE file image with byte-order mark.
inline std::string Utf16File(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  AppendUtf16Le(out, utf8);
  return out;
}

// Writes `text` (LF line ends are turned into CR LF) as a UTF-16LE settings file.
inline void WriteIni(const std::string& path, const std::string& text) {
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf.push_back('\r');
    crlf.push_back(c);
  }
  WriteBytes(path, Utf16File(crlf));
}

inline IniFile ReadIni(const std::string& path) {
  IniFile ini;
  ini.Load(path);
  return ini;
}

// Records what the settings code asks of the window, in order.
class RecordingWindow : public SettingsWindow {
 public:
  std::vector<std::string> log;
  std::vector<std::pair<SettingsMessage, std::string>> messages;
  std::vector<FileDialogRequest> dialogs;
  std::optional<std::string> dialogAnswer;
  bool yesNoAnswer = true;
  int32_t placedTop = 0, placedLeft = 0;  // what PlaceMainWindow received
  std::optional<std::pair<int32_t, int32_t>> placeResult;
  std::function<void()> onCloseOutput;

  void ApplyLanguage(AppState&) override { log.push_back("ApplyLanguage"); }
  void ShowSpeedUnit(AppState&) override { log.push_back("ShowSpeedUnit"); }
  void PlaceMainWindow(int32_t& top, int32_t& left) override {
    log.push_back("PlaceMainWindow");
    placedTop = top;
    placedLeft = left;
    if (placeResult) std::tie(top, left) = *placeResult;
  }
  void SelectGridCell(int64_t row, int col) override {
    log.push_back("SelectGridCell " + std::to_string(row) + "," + std::to_string(col));
  }
  void ShowMessage(SettingsMessage id, const std::string& arg) override {
    log.push_back("ShowMessage");
    messages.emplace_back(id, arg);
  }
  bool AskYesNo(SettingsMessage id, const std::string& arg) override {
    log.push_back("AskYesNo");
    messages.emplace_back(id, arg);
    return yesNoAnswer;
  }
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& r) override {
    log.push_back("OpenFileDialog");
    dialogs.push_back(r);
    return dialogAnswer;
  }
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& r) override {
    log.push_back("SaveFileDialog");
    dialogs.push_back(r);
    return dialogAnswer;
  }
  void CloseOutput() override {
    log.push_back("CloseOutput");
    if (onCloseOutput) onCloseOutput();
  }
  void UpdateTitle() override { log.push_back("UpdateTitle"); }
};

}  // namespace fixcaster::test
