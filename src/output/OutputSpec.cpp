#include "output/OutputSpec.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace fixcaster {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// A decimal number of at most `max`, digits only.
bool ParseNumber(std::string_view s, long max, long& out) {
  if (s.empty() || s.size() > 6) return false;
  long v = 0;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    v = v * 10 + (c - '0');
  }
  if (v > max) return false;
  out = v;
  return true;
}

bool IsIpAddress(const std::string& s) {
  unsigned char buf[sizeof(in6_addr)];
  return inet_pton(AF_INET, s.c_str(), buf) == 1 || inet_pton(AF_INET6, s.c_str(), buf) == 1;
}

OutputSpecResult Fail(OutputProblemId id, std::string_view arg) {
  OutputSpecResult r;
  r.problem.id = id;
  r.problem.arg = std::string(arg);
  return r;
}

// "HOST:PORT" or "[V6]:PORT"; with hostOptional also a bare "PORT". The host comes
// back without brackets. Returns false with the problem filled in.
bool SplitHostPort(std::string_view s, bool hostOptional, long minPort, std::string& host,
                   uint16_t& port, OutputSpecResult& fail) {
  std::string_view hostPart;
  std::string_view portPart;
  if (!s.empty() && s.front() == '[') {
    size_t close = s.find(']');
    if (close == std::string_view::npos || close + 1 >= s.size() || s[close + 1] != ':') {
      fail = Fail(OutputProblemId::SpecBadHost, s);
      return false;
    }
    hostPart = s.substr(1, close - 1);
    portPart = s.substr(close + 2);
    if (hostPart.empty()) {
      fail = Fail(OutputProblemId::SpecBadHost, s);
      return false;
    }
  } else {
    size_t colon = s.rfind(':');
    if (colon == std::string_view::npos) {
      if (!hostOptional) {
        fail = Fail(OutputProblemId::SpecBadHost, s);
        return false;
      }
      portPart = s;
    } else {
      hostPart = Trim(s.substr(0, colon));
      portPart = s.substr(colon + 1);
      // An IPv6 address without brackets cannot be told from its port.
      if (hostPart.empty() || hostPart.find(':') != std::string_view::npos) {
        fail = Fail(OutputProblemId::SpecBadHost, s);
        return false;
      }
    }
  }
  portPart = Trim(portPart);
  long v = 0;
  if (!ParseNumber(portPart, 65535, v) || v < minPort) {
    fail = Fail(OutputProblemId::SpecBadPort, portPart);
    return false;
  }
  host = std::string(hostPart);
  port = static_cast<uint16_t>(v);
  return true;
}

// "ttl=N" and "if=ADDR", the first after "?", the others after "&".
bool ParseUdpOptions(std::string_view options, OutputSpec& spec, OutputSpecResult& fail) {
  while (!options.empty()) {
    size_t amp = options.find('&');
    std::string_view item = Trim(options.substr(0, amp));
    options = amp == std::string_view::npos ? std::string_view() : options.substr(amp + 1);
    size_t eq = item.find('=');
    std::string_view key = Trim(item.substr(0, eq));
    std::string_view value =
        eq == std::string_view::npos ? std::string_view() : Trim(item.substr(eq + 1));
    if (eq != std::string_view::npos && EqualsNoCase(key, "ttl")) {
      long ttl = 0;
      if (!ParseNumber(value, 255, ttl)) {
        fail = Fail(OutputProblemId::SpecBadTtl, value);
        return false;
      }
      spec.ttl = static_cast<int>(ttl);
    } else if (eq != std::string_view::npos && EqualsNoCase(key, "if") && !value.empty()) {
      spec.interface = std::string(value);
    } else {
      fail = Fail(OutputProblemId::SpecBadOption, item);
      return false;
    }
  }
  return true;
}

}  // namespace

std::string ErrnoText(int error) {
  char buf[256];
  // The GNU strerror_r returns its text, which need not be in buf.
  return strerror_r(error, buf, sizeof buf);
}

std::string ProblemText(const OutputProblem& p) {
  const std::string& a = p.arg;
  const std::string& d = p.detail;
  switch (p.id) {
    case OutputProblemId::SpecEmpty:
      return "No output given";
    case OutputProblemId::SpecUnknownKind:
      return "Unknown output \"" + a + "\" (pty:, udp:, file:, stdout, tcp:, tcpclient:)";
    case OutputProblemId::SpecMissingPath:
      return a + " needs a path";
    case OutputProblemId::SpecBadHost:
      return "Bad host \"" + a + "\" (HOST:PORT, an IPv6 address in brackets)";
    case OutputProblemId::SpecBadPort:
      return "Bad port \"" + a + "\" (a number from 1 to 65535)";
    case OutputProblemId::SpecBadAddress:
      return "\"" + a + "\" is not an IP address";
    case OutputProblemId::SpecBadTtl:
      return "Bad TTL \"" + a + "\" (a number from 0 to 255)";
    case OutputProblemId::SpecBadOption:
      return "Unknown option \"" + a + "\" (ttl=N, if=ADDR)";
    case OutputProblemId::KindNotAvailable:
      return a + " outputs are not available here";
    case OutputProblemId::StartFailed:
      return "Cannot start the output: " + d;
    case OutputProblemId::LinkTaken:
      return a + " exists and is not a link of this program";
    case OutputProblemId::LinkFolderForeign:
      return "The folder " + a + " belongs to another user";
    case OutputProblemId::LinkFailed:
      return "Cannot make the link " + a + ": " + d;
    case OutputProblemId::PtyFailed:
      return "Pseudo-terminal failed: " + d;
    case OutputProblemId::ResolveFailed:
      return "Cannot resolve " + a + ": " + d;
    case OutputProblemId::SocketFailed:
      return "Cannot open a socket for " + a + ": " + d;
    case OutputProblemId::InterfaceFailed:
      return "Cannot send multicast through " + a + ": " + d;
    case OutputProblemId::SendFailed:
      return "Cannot send to " + a + ": " + d;
    case OutputProblemId::FileOpenFailed:
      return "Cannot open " + a + ": " + d;
    case OutputProblemId::FileWriteFailed:
      return "Cannot write " + a + ": " + d;
    case OutputProblemId::StdoutClosed:
      return "Standard output was closed: " + d;
    case OutputProblemId::StdoutFailed:
      return "Cannot use standard output: " + d;
    case OutputProblemId::ConnectFailed:
      return "Cannot connect to " + a + ": " + d;
    case OutputProblemId::ConnectionLost:
      return "Lost the connection to " + a + ": " + d;
  }
  return a;
}

std::string DefaultPtyLink(const char* runtimeDir, unsigned uid) {
  if (runtimeDir && runtimeDir[0] == '/') return std::string(runtimeDir) + "/fixcaster/gps0";
  return "/tmp/fixcaster-" + std::to_string(uid) + "/gps0";
}

std::string DefaultPtyLink() {
  return DefaultPtyLink(std::getenv("XDG_RUNTIME_DIR"), getuid());
}

OutputSpecResult ParseOutputSpec(std::string_view input) {
  std::string_view text = Trim(input);
  if (text.empty()) return Fail(OutputProblemId::SpecEmpty, "");
  size_t colon = text.find(':');
  std::string_view kind = Trim(text.substr(0, colon));
  std::string_view rest =
      colon == std::string_view::npos ? std::string_view() : Trim(text.substr(colon + 1));
  bool hasRest = colon != std::string_view::npos;

  OutputSpec spec;
  spec.text = std::string(text);
  OutputSpecResult fail;
  if (EqualsNoCase(kind, "stdout") && !hasRest) {
    spec.kind = OutputKind::Stdout;
  } else if (EqualsNoCase(kind, "pty")) {
    spec.kind = OutputKind::Pty;
    spec.path = rest.empty() ? DefaultPtyLink() : std::string(rest);
  } else if (EqualsNoCase(kind, "file")) {
    spec.kind = OutputKind::File;
    if (rest.empty()) return Fail(OutputProblemId::SpecMissingPath, "file:");
    spec.path = std::string(rest);
  } else if (EqualsNoCase(kind, "udp")) {
    spec.kind = OutputKind::Udp;
    size_t q = rest.find('?');
    if (!SplitHostPort(Trim(rest.substr(0, q)), false, 1, spec.host, spec.port, fail)) return fail;
    if (q != std::string_view::npos && !ParseUdpOptions(rest.substr(q + 1), spec, fail))
      return fail;
  } else if (EqualsNoCase(kind, "tcpclient")) {
    spec.kind = OutputKind::TcpClient;
    if (!SplitHostPort(rest, false, 1, spec.host, spec.port, fail)) return fail;
  } else if (EqualsNoCase(kind, "tcp")) {
    spec.kind = OutputKind::Tcp;
    // Port 0 takes a free port, as for the primary server.
    if (!SplitHostPort(rest, true, 0, spec.host, spec.port, fail)) return fail;
    if (!spec.host.empty() && !IsIpAddress(spec.host))
      return Fail(OutputProblemId::SpecBadAddress, spec.host);
  } else {
    return Fail(OutputProblemId::SpecUnknownKind, text);
  }
  OutputSpecResult ok;
  ok.spec = std::move(spec);
  return ok;
}

}  // namespace fixcaster
