#include "output/ExtraOutput.h"

#include "output/OutputKinds.h"

namespace fixcaster {

std::unique_ptr<ExtraOutput> MakeExtraOutput(const OutputSpec& spec, OutputReporter reporter,
                                             const OutputOptions& options) {
  switch (spec.kind) {
    case OutputKind::Pty:
      return detail::MakePtyOutput(spec, std::move(reporter), options);
    case OutputKind::Udp:
      return detail::MakeUdpOutput(spec, std::move(reporter), options);
    case OutputKind::File:
      return detail::MakeFileOutput(spec, std::move(reporter), options);
    case OutputKind::Stdout:
      return detail::MakeStdoutOutput(spec, std::move(reporter), options);
    case OutputKind::TcpClient:
      return detail::MakeTcpClientOutput(spec, std::move(reporter), options);
    case OutputKind::Tcp:
      break;
  }
  return options.makeOther ? options.makeOther(spec, std::move(reporter)) : nullptr;
}

std::vector<std::string_view> SplitIntoDatagrams(std::string_view tick, size_t max) {
  std::vector<std::string_view> out;
  size_t start = 0;  // first byte of the datagram being filled
  size_t end = 0;    // end of its last whole sentence
  while (end < tick.size()) {
    size_t lf = tick.find('\n', end);
    size_t next = lf == std::string_view::npos ? tick.size() : lf + 1;
    if (next - start > max && end > start) {
      out.push_back(tick.substr(start, end - start));
      start = end;
    }
    end = next;
  }
  if (end > start) out.push_back(tick.substr(start, end - start));
  return out;
}

const char* OutputKindName(OutputKind kind) {
  switch (kind) {
    case OutputKind::Pty:
      return "pty";
    case OutputKind::Udp:
      return "udp";
    case OutputKind::File:
      return "file";
    case OutputKind::Stdout:
      return "stdout";
    case OutputKind::Tcp:
      return "tcp";
    case OutputKind::TcpClient:
      return "tcpclient";
  }
  return "?";
}

const char* OutputStateName(OutputState state) {
  switch (state) {
    case OutputState::Closed:
      return "closed";
    case OutputState::Connecting:
      return "connecting";
    case OutputState::Open:
      return "open";
    case OutputState::Failed:
      return "failed";
  }
  return "?";
}

}  // namespace fixcaster
