#include "output/PortList.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "output/CommX.h"

namespace fixcaster {

namespace fs = std::filesystem;

namespace {

std::string ReadFirstLine(const fs::path& p) {
  std::ifstream in(p);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.rfind(prefix, 0) == 0;
}

// ttyUSB2 before ttyUSB10: the name without its trailing number, then the number.
std::tuple<std::string, uint64_t, std::string> NaturalKey(const std::string& name) {
  size_t digits = name.size();
  while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
  uint64_t number = 0;
  std::string tail = name.substr(digits);
  if (tail.size() > 18) tail.resize(18);
  for (char c : tail) number = number * 10 + static_cast<uint64_t>(c - '0');
  return {name.substr(0, digits), number, name};
}

bool IsBluetoothName(const std::string& name) {
  return StartsWith(name, "rfcomm");
}

// A tty that is a real serial port: it has a device behind it, and a plain 8250
// port only when the driver found a UART there (type 0 means none).
bool IsSerialPort(const fs::path& entry, const std::string& name) {
  if (IsBluetoothName(name)) return true;
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(entry / "device", ec))) return false;
  if (StartsWith(name, "ttyS")) {
    std::string type = ReadFirstLine(entry / "type");
    return !type.empty() && type != "0";
  }
  return true;
}

std::string UdevProperty(const PortDiscovery& where, const std::string& devNumbers,
                         const std::string& key) {
  if (devNumbers.empty()) return {};
  std::ifstream in(fs::path(where.UdevDataRoot) / ("c" + devNumbers));
  std::string line;
  std::string prefix = "E:" + key + "=";
  while (std::getline(in, line)) {
    if (StartsWith(line, prefix.c_str())) return line.substr(prefix.size());
  }
  return {};
}

std::string FriendlyName(const PortDiscovery& where, const std::string& name) {
  fs::path entry = fs::path(where.SysRoot) / "class" / "tty" / name;
  std::error_code ec;
  fs::path dev = fs::canonical(entry / "device", ec);
  if (!ec) {
    // The USB device that carries the port sits a level or two above it.
    for (int up = 0; up < 4 && !dev.empty() && dev != dev.root_path(); ++up) {
      std::string product = ReadFirstLine(dev / "product");
      if (!product.empty()) {
        std::string maker = ReadFirstLine(dev / "manufacturer");
        return maker.empty() ? product : maker + " " + product;
      }
      dev = dev.parent_path();
    }
  }
  std::string numbers = ReadFirstLine(entry / "dev");
  for (const char* key : {"ID_MODEL_FROM_DATABASE", "ID_MODEL"}) {
    std::string model = UdevProperty(where, numbers, key);
    if (!model.empty()) return model;
  }
  if (IsBluetoothName(name)) return "Bluetooth serial port";
  return {};
}

}  // namespace

std::string PortLineDevice(const std::string& line) {
  size_t sep = line.find(kPortNameSeparator);
  return sep == std::string::npos ? line : line.substr(0, sep);
}

std::vector<std::string> BuildPortLines(const PortDiscovery& where, bool* ok) {
  if (ok) *ok = false;
  fs::path dir = fs::path(where.SysRoot) / "class" / "tty";
  std::error_code ec;
  fs::directory_iterator it(dir, ec);
  if (ec) return {};
  std::vector<std::string> names;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    if (ec) break;
    std::string name = it->path().filename().string();
    if (IsSerialPort(it->path(), name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return NaturalKey(a) < NaturalKey(b);
  });
  names.erase(std::unique(names.begin(), names.end()), names.end());
  std::vector<std::string> lines;
  for (const std::string& name : names) lines.push_back((fs::path(where.DevRoot) / name).string());
  AddFriendlyNames(lines, where);
  DropUnopenablePorts(lines);
  // The limit applies to what is offered, after the unusable ports are gone.
  if (lines.size() > kMaxPortListLines) lines.resize(kMaxPortListLines);
  if (ok) *ok = true;
  return lines;
}

bool BuildPortList(const PortDiscovery& where, std::string& text) {
  bool ok;
  std::vector<std::string> lines = BuildPortLines(where, &ok);
  text.clear();
  for (const std::string& line : lines) text += line + "\r\n";
  return ok;
}

void AddFriendlyNames(std::vector<std::string>& lines, const PortDiscovery& where) {
  for (std::string& line : lines) {
    if (line.find(kPortNameSeparator) != std::string::npos) continue;  // named already
    std::string name = fs::path(line).filename().string();
    std::string friendly = FriendlyName(where, name);
    if (!friendly.empty()) line += kPortNameSeparator + friendly;
  }
}

void DropUnopenablePorts(std::vector<std::string>& lines) {
  lines.erase(std::remove_if(lines.begin(), lines.end(),
                             [](const std::string& line) {
                               std::string device = PortLineDevice(line);
                               if (line.find("Bluetooth") != std::string::npos ||
                                   IsBluetoothName(fs::path(device).filename().string()))
                                 return false;
                               return !ProbeComPort(device);
                             }),
              lines.end());
}

bool ProbeComPort(const std::string& device) {
  int fd = OpenSerialDevice(device);
  if (fd < 0) return false;
  CloseSerialDevice(fd);
  return true;
}

bool ProbeComPort(int32_t portNo) {
  return ProbeComPort(ComPortDevice(portNo));
}

}  // namespace fixcaster
