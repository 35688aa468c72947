#pragma once

// A fresh folder under the system's temporary folder ($TMPDIR), removed with
// everything in it.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace fixcaster::testing {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "fixcaster-XXXXXX").string();
    // Without a folder every path below would land in the temporary folder itself.
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot create " + tmpl);
    path_ = tmpl;
  }
  ~TempDir() { RemoveTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The folder as a path and as text (both spellings are in use).
  std::filesystem::path Path() const { return path_; }
  const std::string& path() const { return path_; }
  // A name inside the folder.
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  // Names in the folder (or in a sub-folder of it), sorted.
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

  // Removes a file, a link (not its target) or a folder with its contents. Folders
  // a test made read-only are opened up first.
  static void RemoveTree(const std::string& p) {
    if (p.empty()) return;
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return;
    if (S_ISDIR(st.st_mode)) {
      ::chmod(p.c_str(), 0700);
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

}  // namespace fixcaster::testing
