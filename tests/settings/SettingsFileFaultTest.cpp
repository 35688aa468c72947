// What the settings and track files must survive: files the user may not write,
// FIFOs, links that dangle or loop, files too large to read, saves killed half-way,
// and saves that fail. Nothing the user keeps is replaced against their wish, no
// open() waits for ever, and every lost save is said, once.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>

#include "SettingsTestSupport.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "settings/SettingsPath.h"
#include "settings/TrackCsv.h"
#include "support/Wait.h"

namespace fixcaster {
namespace {

using test::ReadBytes;
using test::RecordingWindow;
using test::TempDir;
using test::WriteBytes;
using test::WriteIni;

bool IsLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

// Runs `fn`, which must not wait on the FIFO at `fifo`. Should it still run after a
// generous time-out (blocked in open() for a writer that never comes), writers are
// opened until it ends, so the test can report that instead of hanging.
bool ReturnsWithoutAWriter(const std::string& fifo, const std::function<void()>& fn) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    fn();
    done = true;
  });
  const bool alone = testing::WaitUntil([&] { return done.load(); }, 10000);
  while (!done) {
    int w = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
    if (w >= 0) ::close(w);
    std::this_thread::sleep_for(testing::Ms(10));
  }
  worker.join();
  return alone;
}

class SettingsFileFault : public ::testing::Test {
 protected:
  SettingsFileFault() {
    InitSettingsGlobals(state);
    state.SettingsPath = path;
  }
  TempDir dir;
  const std::string path = dir / "fixcaster.ini";
  AppState state;
  RecordingWindow window;
};

TEST_F(SettingsFileFault, ReadOnlyFileIsNotReplacedAndSaidOnce) {
  WriteIni(path, "[Option]\nTCPport=1234\n[Mine]\nkept=1\n");
  const std::string before = ReadBytes(path);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  state.EditTCPport.Text = "6000";

  const FileStatus status = SaveSettings(state);
  EXPECT_EQ(status.fault, FileFault::ReadOnly);
  EXPECT_EQ(ReadBytes(path), before);
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0444u);

  // Closing twice (or a Load ini and then the close) says it once.
  FormCloseQuery(state, window);
  FormCloseQuery(state, window);
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::SettingsReadOnly);
  EXPECT_EQ(window.messages[0].second, path);
  EXPECT_EQ(ReadBytes(path), before);
}

TEST_F(SettingsFileFault, FailedSaveIsReportedOnCloseWithPathAndReason) {
  const std::string folder = dir / "gone";
  ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
  state.SettingsPath = folder + "/fixcaster.ini";
  LoadSettings(state, window, {});
  // The folder goes away during the session; the save at close cannot happen.
  TempDir::RemoveTree(folder);
  window.log.clear();
  FormCloseQuery(state, window);
  EXPECT_EQ(window.log, (std::vector<std::string>{"CloseOutput", "ShowMessage"}))
      << "the output is closed first, then the failure said";
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::SettingsNotSaved);
  EXPECT_EQ(window.messages[0].second, state.SettingsPath + "\r\n" + std::strerror(ENOENT));
  EXPECT_TRUE(dir.List().empty());
}

TEST_F(SettingsFileFault, FifoIsNeitherWaitedOnNorReadNorWritten) {
  ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
  EXPECT_TRUE(ReturnsWithoutAWriter(path, [&] { LoadSettings(state, window, {}); }))
      << "the load waited for a writer";
  EXPECT_EQ(state.StringGrid1.Cell(1, 1), "35 40 49.448") << "defaults, as for an unreadable file";
  FileStatus saved;
  EXPECT_TRUE(ReturnsWithoutAWriter(path, [&] { saved = SaveSettings(state); }))
      << "the save waited for a writer";
  EXPECT_EQ(saved.fault, FileFault::NotRegular);
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";

  // The same for a track file and for a dropped settings file that is to be copied.
  state.StringGrid1.SetCell(1, 1, "kept");
  bool loaded = true;
  EXPECT_TRUE(ReturnsWithoutAWriter(
      path, [&] { loaded = LoadTrackCsv(state, path, window, CoreSettingsHooks()); }));
  EXPECT_FALSE(loaded);
  EXPECT_EQ(state.StringGrid1.Cell(1, 1), "kept");
  SettingsLocation where;
  where.UserFolder = dir / "config/";
  where.Probe = [](const std::string&) { return false; };
  std::string copyError;
  EXPECT_TRUE(ReturnsWithoutAWriter(path, [&] {
    try {
      ChooseWritableSettingsPath(path, where);
    } catch (const SettingsLocationError& e) {
      copyError = e.what();
    }
  }));
  EXPECT_EQ(copyError, "Cannot Copy : " + dir / "config/fixcaster.ini");
}

TEST_F(SettingsFileFault, FileOverOneGibibyteIsSaidAndNeverWritten) {
  WriteIni(path, "[Option]\nTCPport=1234\n");
  ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(IniFile::MaxFileSize) + 2), 0);
  LoadSettings(state, window, {});
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::SettingsTooLarge);
  EXPECT_EQ(window.messages[0].second, path);
  EXPECT_NE(state.EditTCPport.Text, "1234");
  FormCloseQuery(state, window);
  EXPECT_EQ(window.messages.size(), 1u) << "said once, at the load";
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, static_cast<off_t>(IniFile::MaxFileSize) + 2);
}

TEST_F(SettingsFileFault, DanglingLinkIsSavedThroughToItsTarget) {
  ASSERT_EQ(::mkdir((dir / "real").c_str(), 0755), 0);
  ASSERT_EQ(::symlink("real/settings.ini", path.c_str()), 0);
  state.EditTCPport.Text = "6000";
  EXPECT_TRUE(SaveSettings(state).ok());
  EXPECT_TRUE(IsLink(path)) << "the link was replaced by a file";
  EXPECT_EQ(test::ReadIni(dir / "real/settings.ini").ReadString("Option", "TCPport", ""), "6000");
}

TEST_F(SettingsFileFault, LinkLoopIsReportedOnceAndNotWritten) {
  ASSERT_EQ(::symlink("other.ini", path.c_str()), 0);
  ASSERT_EQ(::symlink("fixcaster.ini", (dir / "other.ini").c_str()), 0);
  LoadSettings(state, window, {});
  EXPECT_EQ(SaveSettings(state).fault, FileFault::LinkLoop);
  FormCloseQuery(state, window);
  ASSERT_EQ(window.messages.size(), 1u);
  EXPECT_EQ(window.messages[0].first, SettingsMessage::SettingsLinkLoop);
  EXPECT_EQ(window.messages[0].second, path);
  EXPECT_TRUE(IsLink(path));
  EXPECT_TRUE(IsLink(dir / "other.ini"));
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"fixcaster.ini", "other.ini"}));
}

TEST_F(SettingsFileFault, LoadIniRunsTheWritabilityCheck) {
  // The chosen file lies in a folder the probe finds not writable: it is used from
  // the per-user folder, as at start-up.
  ASSERT_EQ(::mkdir((dir / "shared").c_str(), 0755), 0);
  const std::string chosen = dir / "shared/team.ini";
  WriteIni(chosen, "[Option]\nTrackMax=77\n");
  SettingsLocation where;
  where.UserFolder = dir / "config/fixcaster/";
  where.Probe = [&](const std::string& folder) { return folder != dir / "shared"; };
  window.dialogAnswer = chosen;
  ButtonLoadClick(state, window, {}, where);
  EXPECT_EQ(state.SettingsPath, where.UserFolder + "team.ini");
  EXPECT_EQ(state.StringGrid1.TrackMax(), 77);
  EXPECT_EQ(state.OpenDialog1InitialDir, dir / "shared") << "the dialog stays where the user was";

  // A per-user folder that cannot be made is said, and nothing is switched.
  AppState other;
  InitSettingsGlobals(other);
  other.SettingsPath = path;
  WriteBytes(dir / "blocker", "a file where the folder should be");
  where.UserFolder = dir / "blocker/fixcaster/";
  RecordingWindow w;
  w.dialogAnswer = chosen;
  ButtonLoadClick(other, w, {}, where);
  EXPECT_EQ(other.SettingsPath, path);
  ASSERT_EQ(w.messages.size(), 1u);
  EXPECT_EQ(w.messages[0].first, SettingsMessage::SettingsLocation);
  EXPECT_EQ(w.messages[0].second, "Cannot create : " + where.UserFolder);
}

// Temporary files are ".<name>.XXXXXX" beside the file. One whose save is gone (no
// lock on it) is removed by the next save; one a save still holds, and every other
// name, stays.
TEST(IniFileSave, OrphanedTemporaryFilesOfEarlierSavesAreRemoved) {
  TempDir dir;
  const std::string path = dir / "a.ini";
  for (const char* name : {".a.ini.Orph4n", ".a.ini.bak", ".a.ini.Ab12", ".b.ini.Orph4n", "a.ini"})
    WriteBytes(dir / name, "x");
  WriteBytes(dir / ".a.ini.Live12", "a save in progress");
  int live = ::open((dir / ".a.ini.Live12").c_str(), O_RDONLY);
  ASSERT_GE(live, 0);
  ASSERT_EQ(::flock(live, LOCK_EX), 0);
  IniFile ini;
  ini.WriteString("S", "k", "v");
  ASSERT_TRUE(ini.Save(path));
  EXPECT_EQ(dir.List(), (std::vector<std::string>{".a.ini.Ab12", ".a.ini.Live12", ".a.ini.bak",
                                                  ".b.ini.Orph4n", "a.ini"}));
  ::close(live);
}

}  // namespace
}  // namespace fixcaster
