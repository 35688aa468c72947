#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fixcaster {

// Where the serial ports are found. The defaults are the running system; tests
// point them at a small tree in a temporary folder.
struct PortDiscovery {
  std::string SysRoot = "/sys";                 // <SysRoot>/class/tty/<name>
  std::string DevRoot = "/dev";                 // device paths <DevRoot>/<name>
  std::string UdevDataRoot = "/run/udev/data";  // c<major>:<minor> property files
};

constexpr int kMaxPortListLines = 99;
// Between a device path and its friendly name in a list line.
constexpr const char* kPortNameSeparator = "  ";

// The serial ports that are present and can be opened now, one line each ("device
// path" or "device path, two spaces, friendly name"), in natural order of the
// path, without duplicates, at most 99. text gets the lines each ended by CR LF.
// False, with empty text, when the system's list of ttys cannot be read at all.
bool BuildPortList(const PortDiscovery& where, std::string& text);
// The same as lines.
std::vector<std::string> BuildPortLines(const PortDiscovery& where, bool* ok = nullptr);

// Appends the friendly name to every line that has none yet and whose device has
// one (USB manufacturer and product, else the hardware database's model name).
// Bluetooth (rfcomm) ports without a name are called "Bluetooth serial port".
void AddFriendlyNames(std::vector<std::string>& lines, const PortDiscovery& where);
// Removes the lines whose port cannot be opened now; Bluetooth lines stay unprobed
// (opening one can start a slow connection attempt).
void DropUnopenablePorts(std::vector<std::string>& lines);
// True when the device can be opened exclusively now (closed again at once). A port
// held open by this or another program cannot.
bool ProbeComPort(const std::string& device);
bool ProbeComPort(int32_t portNo);

// The device path of a list line: the text before the friendly name.
std::string PortLineDevice(const std::string& line);

}  // namespace fixcaster
