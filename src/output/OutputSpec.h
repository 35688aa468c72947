#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace fixcaster {

// The kinds of extra output, beside the primary serial port or TCP server.
enum class OutputKind {
  Pty,        // "pty[:LINK]": a pseudo-terminal behind a symbolic link
  Udp,        // "udp:HOST:PORT[?ttl=N][&if=ADDR]": datagrams (unicast, broadcast, multicast)
  File,       // "file:PATH": appended to a log file
  Stdout,     // "stdout": the program's standard output
  Tcp,        // "tcp:[ADDR:]PORT": another TCP server
  TcpClient,  // "tcpclient:HOST:PORT": connects out to a server
};

// Everything that can go wrong with an extra output, from a spec that does not
// parse to a file that cannot be written. The window holds the texts of both
// languages; ProblemText gives the English one (the command-line program's).
enum class OutputProblemId {
  // Specs.
  SpecEmpty,        // "No output given"
  SpecUnknownKind,  // "Unknown output \"<arg>\" (pty:, udp:, file:, stdout, tcp:, tcpclient:)"
  SpecMissingPath,  // "<arg> needs a path"
  SpecBadHost,      // "Bad host \"<arg>\" (HOST:PORT, an IPv6 address in brackets)"
  SpecBadPort,      // "Bad port \"<arg>\" (a number from 1 to 65535)"
  SpecBadAddress,   // "\"<arg>\" is not an IP address"
  SpecBadTtl,       // "Bad TTL \"<arg>\" (a number from 0 to 255)"
  SpecBadOption,    // "Unknown option \"<arg>\" (ttl=N, if=ADDR)"
  // Opening and running.
  KindNotAvailable,   // "<arg> outputs are not available here"
  StartFailed,        // "Cannot start the output: <detail>"
  LinkTaken,          // "<arg> exists and is not a link of this program"
  LinkFolderForeign,  // "The folder <arg> belongs to another user"
  LinkFailed,         // "Cannot make the link <arg>: <detail>"
  PtyFailed,          // "Pseudo-terminal failed: <detail>"
  ResolveFailed,      // "Cannot resolve <arg>: <detail>"
  SocketFailed,       // "Cannot open a socket for <arg>: <detail>"
  InterfaceFailed,    // "Cannot send multicast through <arg>: <detail>"
  SendFailed,         // "Cannot send to <arg>: <detail>"
  FileOpenFailed,     // "Cannot open <arg>: <detail>"
  FileWriteFailed,    // "Cannot write <arg>: <detail>"
  StdoutClosed,       // "Standard output was closed: <detail>"
  StdoutFailed,       // "Cannot use standard output: <detail>"
  ConnectFailed,      // "Cannot connect to <arg>: <detail>"
  ConnectionLost,     // "Lost the connection to <arg>: <detail>"
};

struct OutputProblem {
  OutputProblemId id = OutputProblemId::SpecEmpty;
  std::string arg;     // the path, host or part of the spec the problem is about
  std::string detail;  // the system's error text, where there is one
};

// One line of English: the problem's text with its argument and detail filled in.
std::string ProblemText(const OutputProblem& problem);
// The system's text of an errno value.
std::string ErrnoText(int error);

// A parsed output spec.
struct OutputSpec {
  OutputKind kind = OutputKind::Stdout;
  std::string text;  // as given, without blanks around it
  std::string path;  // pty: the link; file: the log file
  // udp, tcpclient: the host name or address; tcp: the address to listen on (""
  // for all IPv4 addresses, the primary server's default).
  std::string host;
  uint16_t port = 0;  // tcp: 0 takes a free port
  int ttl = 1;        // udp: multicast TTL (hop limit)
  // udp: the interface multicast leaves through, an address of this machine or an
  // interface name; "" lets the system choose.
  std::string interface;
};

struct OutputSpecResult {
  std::optional<OutputSpec> spec;
  OutputProblem problem;  // when spec is empty
};

// Parses "pty[:LINK]", "udp:HOST:PORT[?ttl=N][&if=ADDR]", "file:PATH", "stdout",
// "tcp:[ADDR:]PORT" and "tcpclient:HOST:PORT". Kind names are not case-sensitive;
// IPv6 addresses go in brackets ("udp:[ff02::1]:10110"). A pty without a link gets
// DefaultPtyLink().
OutputSpecResult ParseOutputSpec(std::string_view text);

// Where "pty" puts its link: <runtimeDir>/fixcaster/gps0 for an absolute runtime
// folder, else /tmp/fixcaster-<uid>/gps0 (a folder of this user's own).
std::string DefaultPtyLink(const char* runtimeDir, unsigned uid);
// The same for this process ($XDG_RUNTIME_DIR, the real user id).
std::string DefaultPtyLink();

}  // namespace fixcaster
