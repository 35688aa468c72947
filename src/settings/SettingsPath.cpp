#include "settings/SettingsPath.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>

#include "settings/IniFile.h"
#include "settings/Settings.h"

namespace fixcaster {

namespace {

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// mkdir -p
bool MakeFolders(const std::string& folder) {
  if (folder.empty() || IsDirectory(folder)) return true;
  std::string f = folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  if (IsDirectory(f)) return true;
  std::string parent = FolderOf(f);
  if (!parent.empty() && parent != f && !MakeFolders(parent)) return false;
  return ::mkdir(f.c_str(), 0755) == 0 || (errno == EEXIST && IsDirectory(f));
}

// The later of birth and last-write time; a time of zero counts as the earliest.
struct timespec FileStamp(const std::string& path) {
  struct timespec best {};
  auto later = [&best](struct timespec t) {
    if (t.tv_sec > best.tv_sec || (t.tv_sec == best.tv_sec && t.tv_nsec > best.tv_nsec)) best = t;
  };
  struct statx sx {};
  if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME | STATX_MTIME, &sx) == 0) {
    if (sx.stx_mask & STATX_BTIME) later({sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec});
    later({sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec});
  }
  return best;
}

bool Later(struct timespec a, struct timespec b) {
  return a.tv_sec > b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec > b.tv_nsec);
}

bool CopyFile(const std::string& from, const std::string& to) {
  // A FIFO or device is no settings file: never read (nor blocked on).
  FileStatus status;
  int fd = OpenRegularFile(from, &status);
  if (fd < 0) return false;
  std::string data;
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    data.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  // A fresh file: its birth time is now, so the copy is newer than its source.
  return WriteFileAtomically(to, data);
}

std::string AbsoluteAgainst(const std::string& folder, const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  if (folder.empty()) return path;
  return folder.back() == '/' ? folder + path : folder + "/" + path;
}

}  // namespace

bool ProbeFolderWritable(const std::string& folder) {
  std::string name = (folder.empty() ? std::string(".") : folder);
  if (name.back() != '/') name.push_back('/');
  name += "$$$XXXXXX";
  int fd = ::mkstemp(name.data());
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(name.c_str());
  return true;
}

std::string UserSettingsFolder(const std::function<const char*(const char*)>& getenv) {
  const char* xdg = getenv("XDG_CONFIG_HOME");
  std::string base;
  if (xdg && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = getenv("HOME");
    base = std::string(home && home[0] ? home : "") + "/.config";
  }
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base + "/fixcaster/";
}

SettingsLocation CurrentSettingsLocation() {
  SettingsLocation where;
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n > 0) where.ExeFolder = FolderOf(std::string(buf, static_cast<size_t>(n)));
  if (::getcwd(buf, sizeof buf)) where.CurrentFolder = buf;
  where.UserFolder = UserSettingsFolder([](const char* v) { return std::getenv(v); });
  where.Probe = ProbeFolderWritable;
  return where;
}

std::string ResolveSettingsPath(const std::vector<std::string>& args,
                                const SettingsLocation& where) {
  std::string path = AbsoluteAgainst(where.ExeFolder, SettingsFileName);
  for (const std::string& a : args) {
    std::string name = FileNameOf(a);
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || AsciiLower(name.substr(dot)) != ".ini") continue;
    // "/" stands for the backslash and colon of drive paths: a path is taken against
    // the working folder, a bare name lives beside the executable.
    path = a.find('/') != std::string::npos ? AbsoluteAgainst(where.CurrentFolder, a)
                                            : AbsoluteAgainst(where.ExeFolder, a);
    break;
  }
  return ChooseWritableSettingsPath(path, where);
}

std::string ChooseWritableSettingsPath(const std::string& path, const SettingsLocation& where) {
  const auto& probe = where.Probe ? where.Probe : ProbeFolderWritable;
  std::string folder = FolderOf(path);
  if (probe(folder.empty() ? "." : folder)) return path;
  if (!MakeFolders(where.UserFolder))
    throw SettingsLocationError("Cannot create : " + where.UserFolder);
  std::string target = where.UserFolder + FileNameOf(path);
  if (Exists(path) && (!Exists(target) || Later(FileStamp(path), FileStamp(target)))) {
    if (!CopyFile(path, target)) throw SettingsLocationError("Cannot Copy : " + target);
  }
  return target;
}

}  // namespace fixcaster
