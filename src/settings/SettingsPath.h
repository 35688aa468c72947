#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace fixcaster {

// Where the settings file may live. Everything the choice depends on is a field, so
// tests can point it at temporary folders; CurrentSettingsLocation() fills it from
// the running process.
struct SettingsLocation {
  std::string ExeFolder;      // folder of the executable, no trailing "/"
  std::string CurrentFolder;  // working folder, for relative command-line paths
  std::string UserFolder;     // per-user settings folder, with trailing "/"
  // Whether a new file can be created in a folder. Defaults to ProbeFolderWritable.
  std::function<bool(const std::string& folder)> Probe;
};

inline constexpr const char* SettingsFileName = "fixcaster.ini";

// The error raised when the per-user folder cannot be made or the file not copied.
class SettingsLocationError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// $XDG_CONFIG_HOME/fixcaster/, or $HOME/.config/fixcaster/ when that is unset, empty
// or relative. `getenv` is the environment lookup (std::getenv in the program).
std::string UserSettingsFolder(const std::function<const char*(const char*)>& getenv);
// The location of this process: the folder of /proc/self/exe, the working folder
// and the per-user folder from the environment.
SettingsLocation CurrentSettingsLocation();

// Creates and removes a uniquely named "$$$" file in the folder; false when the
// folder does not exist or cannot be written.
bool ProbeFolderWritable(const std::string& folder);

// SettingsPath at start: fixcaster.ini beside the executable, unless an argument
// ending in ".ini" names another file (the first such argument; with a "/" it is
// taken against the working folder, a bare name in the executable's folder).
// Throws SettingsLocationError.
std::string ResolveSettingsPath(const std::vector<std::string>& args,
                                const SettingsLocation& where);

// The path at which the file named by `path` is used: `path` itself when its folder
// is writable, otherwise the same name in the per-user folder, into which the file
// is copied when it is newer there than the copy. Throws SettingsLocationError with
// "Cannot create : " + folder or "Cannot Copy : " + file.
std::string ChooseWritableSettingsPath(const std::string& path, const SettingsLocation& where);

}  // namespace fixcaster
