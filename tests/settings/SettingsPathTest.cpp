#include <sys/stat.h>
#include <sys/time.h>

#include <gtest/gtest.h>

#include <map>

#include "SettingsTestSupport.h"
#include "settings/SettingsPath.h"

namespace fixcaster {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// An executable folder, a working folder and a per-user folder inside one
// temporary folder.
class SettingsPathTest : public ::testing::Test {
 protected:
  SettingsPathTest() {
    ::mkdir((dir / "bin").c_str(), 0755);
    ::mkdir((dir / "cwd").c_str(), 0755);
    ::mkdir((dir / "cwd/sub").c_str(), 0755);
    where.ExeFolder = dir / "bin";
    where.CurrentFolder = dir / "cwd";
    where.UserFolder = dir / "config/fixcaster/";
  }
  // The executable's folder counts as read-only (root writes everywhere, so the
  // probe is replaced for it); other folders are probed for real.
  void MakeExeFolderReadOnly() {
    where.Probe = [this](const std::string& f) {
      return f != where.ExeFolder && ProbeFolderWritable(f);
    };
  }
  static void SetMtime(const std::string& path, time_t t) {
    struct timeval tv[2] = {{t, 0}, {t, 0}};
    ASSERT_EQ(::utimes(path.c_str(), tv), 0);
  }

  TempDir dir;
  SettingsLocation where;
};

TEST_F(SettingsPathTest, WritableExeFolderKeepsTheFileBesideIt) {
  EXPECT_EQ(ResolveSettingsPath({}, where), dir / "bin/fixcaster.ini");
  // The probe left nothing behind and made no per-user folder.
  EXPECT_TRUE(dir.List("bin").empty());
  EXPECT_EQ(dir.List(), (std::vector<std::string>{"bin", "cwd"}));
}

TEST_F(SettingsPathTest, ProbeFindsMissingFoldersAndLeavesNoFile) {
  EXPECT_TRUE(ProbeFolderWritable(dir.path()));
  EXPECT_TRUE(dir.List().size() == 2);
  EXPECT_FALSE(ProbeFolderWritable(dir / "does-not-exist"));
  WriteBytes(dir / "file", "x");
  EXPECT_FALSE(ProbeFolderWritable(dir / "file"));  // not a folder
}

struct ArgsCase {
  const char* name;
  std::vector<std::string> args;
  std::string expectedRelative;  // against the temporary folder
};

class SettingsArgs : public SettingsPathTest, public ::testing::WithParamInterface<ArgsCase> {};

TEST_P(SettingsArgs, FirstIniArgumentChoosesTheFile) {
  EXPECT_EQ(ResolveSettingsPath(GetParam().args, where), dir / GetParam().expectedRelative);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, SettingsArgs,
    ::testing::Values(ArgsCase{"None", {}, "bin/fixcaster.ini"},
                      ArgsCase{"Switches", {"/A", "/C"}, "bin/fixcaster.ini"},
                      ArgsCase{"BareName", {"other.ini"}, "bin/other.ini"},
                      ArgsCase{"RelativePath", {"sub/other.ini"}, "cwd/sub/other.ini"},
                      ArgsCase{"DotSlash", {"./x.ini"}, "cwd/./x.ini"},
                      ArgsCase{"FirstOfTwo", {"/A", "one.ini", "two.ini"}, "bin/one.ini"},
                      ArgsCase{"UpperCase", {"OTHER.INI"}, "bin/OTHER.INI"},
                      ArgsCase{"NotIni", {"track.csv", "a.ini.bak"}, "bin/fixcaster.ini"},
                      // A folder that does not exist fails the probe: same name, per user.
                      ArgsCase{"MissingFolder", {"nowhere/x.ini"}, "config/fixcaster/x.ini"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsPathTest, AbsoluteArgumentIsTakenAsIs) {
  EXPECT_EQ(ResolveSettingsPath({dir / "cwd/sub/abs.ini"}, where), dir / "cwd/sub/abs.ini");
}

TEST_F(SettingsPathTest, ReadOnlyFolderCopiesTheNewerFileIntoThePerUserFolder) {
  MakeExeFolderReadOnly();
  const std::string beside = dir / "bin/fixcaster.ini";
  const std::string copy = dir / "config/fixcaster/fixcaster.ini";
  WriteBytes(beside, "first");
  SetMtime(beside, 1000000000);

  EXPECT_EQ(ResolveSettingsPath({}, where), copy);
  EXPECT_EQ(ReadBytes(copy), "first");

  // The program saves its copy; the older file beside the executable stays out.
  WriteBytes(copy, "saved by the program");
  EXPECT_EQ(ResolveSettingsPath({}, where), copy);
  EXPECT_EQ(ReadBytes(copy), "saved by the program");

  // Once the file beside the executable is itself changed, it is copied again.
  WriteBytes(beside, "replaced");
  SetMtime(beside, time(nullptr) + 3600);
  EXPECT_EQ(ResolveSettingsPath({}, where), copy);
  EXPECT_EQ(ReadBytes(copy), "replaced");
}

TEST_F(SettingsPathTest, ReadOnlyFolderWithoutFileCopiesNothing) {
  MakeExeFolderReadOnly();
  EXPECT_EQ(ResolveSettingsPath({}, where), dir / "config/fixcaster/fixcaster.ini");
  EXPECT_TRUE(dir.List("config/fixcaster").empty());
}

TEST_F(SettingsPathTest, DroppedFileInReadOnlyFolderBecomesItsCopy) {
  ::mkdir((dir / "ro").c_str(), 0755);
  WriteBytes(dir / "ro/dropped.ini", "dropped");
  where.Probe = [this](const std::string& f) { return f != dir / "ro"; };
  EXPECT_EQ(ChooseWritableSettingsPath(dir / "ro/dropped.ini", where),
            dir / "config/fixcaster/dropped.ini");
  EXPECT_EQ(ReadBytes(dir / "config/fixcaster/dropped.ini"), "dropped");
}

TEST_F(SettingsPathTest, PerUserFolderThatCannotBeMadeRaisesCannotCreate) {
  MakeExeFolderReadOnly();
  WriteBytes(dir / "config", "a file where the folder should be");
  try {
    ResolveSettingsPath({}, where);
    FAIL() << "no error";
  } catch (const SettingsLocationError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot create : " + (dir / "config/fixcaster/"));
  }
}

TEST_F(SettingsPathTest, CopyThatFailsRaisesCannotCopy) {
  MakeExeFolderReadOnly();
  WriteBytes(dir / "bin/fixcaster.ini", "x");
  SetMtime(dir / "bin/fixcaster.ini", time(nullptr) + 3600);
  // A folder in the target's place cannot be replaced by a file.
  ASSERT_EQ(::mkdir((dir / "config").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / "config/fixcaster").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / "config/fixcaster/fixcaster.ini").c_str(), 0755), 0);
  try {
    ResolveSettingsPath({}, where);
    FAIL() << "no error";
  } catch (const SettingsLocationError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot Copy : " + (dir / "config/fixcaster/fixcaster.ini"));
  }
}

TEST(SettingsUserFolder, FromTheEnvironment) {
  struct Case {
    const char* xdg;
    const char* home;
    const char* expected;
  };
  const Case cases[] = {
      {"/x/cfg", "/home/u", "/x/cfg/fixcaster/"},
      {"/x/cfg/", "/home/u", "/x/cfg/fixcaster/"},
      {nullptr, "/home/u", "/home/u/.config/fixcaster/"},
      {"", "/home/u", "/home/u/.config/fixcaster/"},
      {"relative", "/home/u", "/home/u/.config/fixcaster/"},
  };
  for (const Case& c : cases) {
    std::map<std::string, const char*> env = {{"XDG_CONFIG_HOME", c.xdg}, {"HOME", c.home}};
    auto lookup = [&env](const char* name) -> const char* {
      auto it = env.find(name);
      return it == env.end() ? nullptr : it->second;
    };
    EXPECT_EQ(UserSettingsFolder(lookup), c.expected) << (c.xdg ? c.xdg : "(unset)");
  }
}

TEST(SettingsUserFolder, CurrentProcessUsesItsExecutableFolder) {
  SettingsLocation here = CurrentSettingsLocation();
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
  ASSERT_GT(n, 0);
  std::string exe(buf, static_cast<size_t>(n));
  EXPECT_EQ(here.ExeFolder + "/" + exe.substr(exe.rfind('/') + 1), exe);
  EXPECT_EQ(here.UserFolder.substr(here.UserFolder.size() - 11), "/fixcaster/");
}

}  // namespace
}  // namespace fixcaster
