#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "SettingsTestSupport.h"
#include "settings/IniFile.h"

namespace fixcaster {
namespace {

using test::ReadBytes;
using test::TempDir;
using test::WriteBytes;

// The same profile in the encodings and line ends that occur in the wild.
struct EncodingCase {
  const char* name;
  std::string bytes;
};

std::string Utf16Le(const std::string& s) {
  std::string out;
  AppendUtf16Le(out, s);
  return out;
}

std::string Utf16Be(const std::string& s) {
  std::string le = Utf16Le(s);
  for (size_t i = 0; i + 1 < le.size(); i += 2) std::swap(le[i], le[i + 1]);
  return le;
}

const std::string kProfile = "[Option]\r\nTrackMax=120\r\nJpFontName=\xE3\x83\xA1\xE3\x82\xA4\r\n";

class IniEncoding : public ::testing::TestWithParam<EncodingCase> {};

TEST_P(IniEncoding, ReadsTheSameValues) {
  TempDir dir;
  WriteBytes(dir / "a.ini", GetParam().bytes);
  IniFile ini;
  ASSERT_TRUE(ini.Load(dir / "a.ini"));
  EXPECT_EQ(ini.ReadInteger("Option", "TrackMax", 0), 120);
  EXPECT_EQ(ini.ReadString("Option", "JpFontName", ""), "\xE3\x83\xA1\xE3\x82\xA4");
}

std::string LfOnly(std::string s) {
  std::string out;
  for (char c : s)
    if (c != '\r') out.push_back(c);
  return out;
}

std::string CrOnly(std::string s) {
  std::string out;
  for (char c : s)
    if (c != '\n') out.push_back(c);
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniEncoding,
    ::testing::Values(EncodingCase{"Utf16LeBom", "\xFF\xFE" + Utf16Le(kProfile)},
                      EncodingCase{"Utf16LeNoBom", Utf16Le(kProfile)},
                      EncodingCase{"Utf16BeBom", "\xFE\xFF" + Utf16Be(kProfile)},
                      EncodingCase{"Utf8Bom", "\xEF\xBB\xBF" + kProfile},
                      EncodingCase{"Utf8", kProfile}, EncodingCase{"Utf8Lf", LfOnly(kProfile)},
                      EncodingCase{"Utf16LeLf", "\xFF\xFE" + Utf16Le(LfOnly(kProfile))},
                      EncodingCase{"Utf8CrOnly", CrOnly(kProfile)}),
    [](const auto& info) { return std::string(info.param.name); });

// What the reader makes of the lines people write by hand.
struct LookupCase {
  const char* name;
  std::string text;
  const char* section;
  const char* key;
  std::optional<std::string> expected;  // nullopt: the key is missing
};

class IniLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(IniLookup, FindsValue) {
  const LookupCase& c = GetParam();
  IniFile ini;
  ini.Parse(c.text);
  auto v = ini.Find(c.section, c.key);
  if (c.expected) {
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(*v, *c.expected);
  } else {
    EXPECT_FALSE(v.has_value());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IniLookup,
    ::testing::Values(
        LookupCase{"BlanksAroundEquals", "[S]\n  Key  =  a value  \n", "S", "Key", "a value"},
        LookupCase{"TabsTrimmed", "[S]\n\tKey\t=\tv\t\n", "S", "Key", "v"},
        LookupCase{"SectionCaseInsensitive", "[option]\nk=1\n", "OPTION", "k", "1"},
        LookupCase{"KeyCaseInsensitive", "[S]\nTrackMax=7\n", "S", "trackmax", "7"},
        LookupCase{"BlanksInSectionHeader", "[ S ]\nk=1\n", "S", "k", "1"},
        LookupCase{"FirstDuplicateWins", "[S]\nk=first\nk=second\n", "S", "k", "first"},
        LookupCase{"CommentIsNoKey", "[S]\n;k=commented\n", "S", ";k", std::nullopt},
        LookupCase{"KeyBeforeSectionIgnored", "k=1\n[S]\n", "S", "k", std::nullopt},
        LookupCase{"EmptyValue", "[S]\nk=\n", "S", "k", ""},
        LookupCase{"EqualsInValue", "[S]\nk=a=b\n", "S", "k", "a=b"},
        LookupCase{"RepeatedSectionContinues", "[S]\na=1\n[T]\n[S]\nb=2\n", "S", "b", "2"},
        LookupCase{"LineWithoutEquals", "[S]\njunk\n", "S", "junk", std::nullopt},
        LookupCase{"OtherSection", "[S]\nk=1\n[T]\n", "T", "k", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

struct IntegerCase {
  const char* text;
  int32_t expected;  // -777 = the default came back
};

TEST(IniFile, IntegersDecimalAndHexNonIntegersMissing) {
  const IntegerCase cases[] = {
      {"12", 12},
      {"-5", -5},
      {"+5", 5},
      {"0x1F", 31},
      {"0X1f", 31},
      {"0x7FFFFFFF", 2147483647},
      {"0xFFFFFFFF", -1},
      {"2147483647", 2147483647},
      {"-2147483648", INT32_MIN},
      {"2147483648", -777},
      {"0x100000000", -777},
      {"12abc", -777},
      {"abc", -777},
      {"", -777},
      {"0x", -777},
      {"1.5", -777},
      {"-", -777},
      {" 42 ", 42},
  };
  for (const IntegerCase& c : cases) {
    IniFile ini;
    ini.Parse(std::string("[S]\nk=") + c.text + "\n");
    EXPECT_EQ(ini.ReadInteger("S", "k", -777), c.expected) << "value '" << c.text << "'";
  }
}

TEST(IniFile, BooleansAnyNonZeroIntegerIsTrue) {
  const std::pair<const char*, int> cases[] = {{"1", 1},   {"0", 0},    {"7", 1}, {"-1", 1},
                                               {"0x0", 0}, {"yes", -1}, {"", -1}};
  for (auto [text, expected] : cases) {
    IniFile ini;
    ini.Parse(std::string("[S]\nk=") + text + "\n");
    // A non-integer is missing: both defaults come back unchanged.
    bool withTrue = ini.ReadBool("S", "k", true);
    bool withFalse = ini.ReadBool("S", "k", false);
    if (expected < 0) {
      EXPECT_TRUE(withTrue && !withFalse) << text;
    } else {
      EXPECT_EQ(withTrue, expected == 1) << text;
      EXPECT_EQ(withFalse, expected == 1) << text;
    }
  }
}

TEST(IniFile, WritesUtf16LeWithBomAndCrLf) {
  IniFile ini;
  ini.WriteString("Option", "Name", "Ab\xE3\x83\xA1");
  std::string expected = "\xFF\xFE";
  for (const char* line : {"[Option]", "Name=Ab\xE3\x83\xA1"}) {
    AppendUtf16Le(expected, line);
    expected.append("\r\0\n\0", 4);
  }
  EXPECT_EQ(ini.Serialize(), expected);
  // U+30E1 is the two bytes E1 30 in little-endian order.
  EXPECT_NE(expected.find(std::string("\xE1\x30", 2)), std::string::npos);
}

TEST(IniFile, CharactersOutsideTheBmpSurviveAsSurrogatePairs) {
  IniFile ini;
  ini.WriteString("S", "k", "\xF0\x9F\x9B\xB0");  // U+1F6F0
  std::string image = ini.Serialize();
  EXPECT_NE(image.find(std::string("\x3D\xD8\xF0\xDE", 4)), std::string::npos);
  IniFile back;
  back.Parse(image);
  EXPECT_EQ(back.ReadString("S", "k", ""), "\xF0\x9F\x9B\xB0");
}

TEST(IniFile, InvalidUtf8BytesReadAsLatin1) {
  IniFile ini;
  ini.Parse("[S]\nk=caf\xE9\n");
  EXPECT_EQ(ini.ReadString("S", "k", ""), "caf\xC3\xA9");
}

TEST(IniFile, UnknownSectionsKeysAndCommentsKeptInOrder) {
  IniFile ini;
  ini.Parse("stray=1\n[Zeta]\n; note\nb=2\na=1\n[Option]\nTrackMax=9\nOther=x\n[Alpha]\nq=3\n");
  ini.WriteString("Option", "TrackMax", "10");
  ini.WriteString("Option", "New", "n");
  ini.WriteString("Beta", "k", "v");
  IniFile back;
  back.Parse(ini.Serialize());
  EXPECT_EQ(back.Serialize(), ini.Serialize());
  std::string expected =
      "stray=1\r\n[Zeta]\r\n; note\r\nb=2\r\na=1\r\n[Option]\r\nTrackMax=10\r\nOther=x\r\n"
      "New=n\r\n[Alpha]\r\nq=3\r\n[Beta]\r\nk=v\r\n";
  EXPECT_EQ(ini.Serialize(), test::Utf16File(expected));
}

TEST(IniFile, DeleteRemovesEveryOccurrenceAndEraseRemovesTheSection) {
  IniFile ini;
  ini.Parse("[S]\nk=1\nx=2\nK=3\n[T]\ny=1\n");
  ini.DeleteKey("s", "K");
  EXPECT_FALSE(ini.KeyExists("S", "k"));
  EXPECT_EQ(ini.ReadString("S", "x", ""), "2");
  ini.EraseSection("t");
  EXPECT_FALSE(ini.SectionExists("T"));
  EXPECT_EQ(ini.Serialize(), test::Utf16File("[S]\r\nx=2\r\n"));
  ini.WriteString("T", "z", "9");  // an erased section comes back empty
  EXPECT_EQ(ini.Serialize(), test::Utf16File("[S]\r\nx=2\r\n[T]\r\nz=9\r\n"));
}

// Values are rewritten in place when they fit and moved when they grow; neither may
// leave old text behind or touch the neighbouring line.
TEST(IniFile, RewrittenValuesReadBackExactly) {
  IniFile ini;
  ini.Parse("[S]\na=abcdef\nb=next\n");
  for (const char* v : {"xy", "a much longer value than before", "", "z", "abcdefgh"}) {
    ini.WriteString("S", "a", v);
    EXPECT_EQ(ini.ReadString("S", "a", "?"), v);
    EXPECT_EQ(ini.ReadString("S", "b", "?"), "next");
    EXPECT_EQ(ini.Serialize(), test::Utf16File(std::string("[S]\r\na=") + v + "\r\nb=next\r\n"));
  }
}

TEST(IniFile, LineBreaksInValuesCannotSplitTheFile) {
  IniFile ini;
  ini.WriteString("S", "k", "a\r\n[Evil]\nb=c");
  IniFile back;
  back.Parse(ini.Serialize());
  EXPECT_FALSE(back.SectionExists("Evil"));
  EXPECT_EQ(back.ReadString("S", "k", ""), "a  [Evil] b=c");
}

TEST(IniFile, MissingFileIsAnEmptyProfile) {
  TempDir dir;
  IniFile ini;
  EXPECT_FALSE(ini.Load(dir / "none.ini"));
  EXPECT_EQ(ini.ReadString("S", "k", "def"), "def");
}

TEST(IniFile, SaveReplacesTheFileAndLeavesNoTemporaryFile) {
  TempDir dir;
  WriteBytes(dir / "a.ini", "old");
  ASSERT_EQ(::chmod((dir / "a.ini").c_str(), 0600), 0);
  IniFile ini;
  ini.WriteString("S", "k", "v");
  ASSERT_TRUE(ini.Save(dir / "a.ini"));
  EXPECT_EQ(ReadBytes(dir / "a.ini"), ini.Serialize());
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a.ini"});
  struct stat st {};
  ASSERT_EQ(::stat((dir / "a.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // the replacement keeps the mode
  // Through a link the file it points to is replaced, the link stays.
  ASSERT_EQ(::symlink("a.ini", (dir / "link.ini").c_str()), 0);
  ini.WriteString("S", "k", "via link");
  ASSERT_TRUE(ini.Save(dir / "link.ini"));
  struct stat lst {};
  ASSERT_EQ(::lstat((dir / "link.ini").c_str(), &lst), 0);
  EXPECT_TRUE(S_ISLNK(lst.st_mode));
  EXPECT_EQ(ReadBytes(dir / "a.ini"), ini.Serialize());
}

TEST(IniFile, SaveIntoMissingFolderFailsWithoutTrace) {
  TempDir dir;
  IniFile ini;
  ini.WriteString("S", "k", "v");
  EXPECT_FALSE(ini.Save(dir / "missing/a.ini"));
  EXPECT_TRUE(dir.List().empty());
}

TEST(IniFile, SaveOverADirectoryFailsAndLeavesIt) {
  TempDir dir;
  ASSERT_EQ(::mkdir((dir / "a.ini").c_str(), 0755), 0);
  IniFile ini;
  ini.WriteString("S", "k", "v");
  EXPECT_FALSE(ini.Save(dir / "a.ini"));
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a.ini"});
}

// A write that fails half-way (here: the file size limit, which also binds root)
// must leave the old file as it was.
TEST(IniFile, FailedWriteLeavesOldFileIntact) {
  TempDir dir;
  const std::string path = dir / "a.ini";
  WriteBytes(path, test::Utf16File("[S]\r\nk=old\r\n"));
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim {
      4096, 4096
    };
    ::setrlimit(RLIMIT_FSIZE, &lim);
    IniFile ini;
    ini.WriteString("S", "k", std::string(100000, 'x'));
    ::_exit(ini.Save(path) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save reported success";
  EXPECT_EQ(ReadBytes(path), test::Utf16File("[S]\r\nk=old\r\n"));
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a.ini"});
}

// A process killed at any moment of a save leaves the old or the new file whole.
TEST(IniFile, KillDuringSaveNeverLeavesATruncatedFile) {
  TempDir dir;
  const std::string path = dir / "a.ini";
  IniFile a, b;
  a.WriteString("S", "v", std::string(300000, 'a'));
  b.WriteString("S", "v", std::string(400000, 'b'));
  const std::string imageA = a.Serialize(), imageB = b.Serialize();
  ASSERT_TRUE(a.Save(path));
  for (int round = 0; round < 12; ++round) {
    int pipefd[2];
    ASSERT_EQ(::pipe(pipefd), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(pipefd[0]);
      for (int i = 0;; ++i) {
        (i % 2 ? a : b).Save(path);
        if (::write(pipefd[1], "x", 1) != 1) ::_exit(0);
      }
    }
    ::close(pipefd[1]);
    // Let a few saves complete (a different number each round), then kill the
    // child during the next one.
    char c;
    for (int i = 0; i < 1 + round % 4; ++i) ASSERT_EQ(::read(pipefd[0], &c, 1), 1);
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    ::close(pipefd[0]);
    std::string now = ReadBytes(path);
    ASSERT_TRUE(now == imageA || now == imageB) << "round " << round << ": " << now.size();
  }
  // What the killed saves left behind goes with the next save.
  ASSERT_TRUE(a.Save(path));
  EXPECT_EQ(dir.List(), std::vector<std::string>{"a.ini"});
}

}  // namespace
}  // namespace fixcaster
