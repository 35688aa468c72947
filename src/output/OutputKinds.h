#pragma once

// The builders of each kind of extra output (not for use outside src/output).

#include <memory>

#include "output/ExtraOutput.h"

namespace fixcaster::detail {

std::unique_ptr<ExtraOutput> MakePtyOutput(const OutputSpec& spec, OutputReporter reporter,
                                           const OutputOptions& options);
std::unique_ptr<ExtraOutput> MakeUdpOutput(const OutputSpec& spec, OutputReporter reporter,
                                           const OutputOptions& options);
std::unique_ptr<ExtraOutput> MakeFileOutput(const OutputSpec& spec, OutputReporter reporter,
                                            const OutputOptions& options);
std::unique_ptr<ExtraOutput> MakeStdoutOutput(const OutputSpec& spec, OutputReporter reporter,
                                              const OutputOptions& options);
std::unique_ptr<ExtraOutput> MakeTcpClientOutput(const OutputSpec& spec, OutputReporter reporter,
                                                 const OutputOptions& options);

}  // namespace fixcaster::detail
