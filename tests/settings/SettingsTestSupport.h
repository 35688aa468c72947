#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "settings/IniFile.h"
#include "settings/SettingsHost.h"
#include "state/AppState.h"
#include "support/TempDir.h"

namespace fixcaster::test {

// The shared temporary folder (tests/support/TempDir.h) under its old name here.
using TempDir = ::fixcaster::testing::TempDir;

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
