#pragma once

#include <array>
#include <string>

namespace fixcaster {

// GSA/GSV preset lines, indexed [preset 1..4][line 1..7 or 1..30]; index 0 of
// each dimension is unused so the numbers read as in the settings file.
// An empty text means no line.
constexpr int PresetCount = 4;
constexpr int PresetGsaLines = 7;
constexpr int PresetGsvLines = 30;
using PresetGsaTable = std::array<std::array<std::string, PresetGsaLines + 1>, PresetCount + 1>;
using PresetGsvTable = std::array<std::array<std::string, PresetGsvLines + 1>, PresetCount + 1>;

}  // namespace fixcaster
