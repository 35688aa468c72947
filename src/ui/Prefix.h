#pragma once

#include <string>
#include <string_view>

#include "state/AppState.h"

namespace fixcaster::ui {

// Captions of the talker-prefix buttons 1..6 of the six-button panels (the sixth is
// the custom prefix, replaced at run time) and of the two HDT buttons.
inline constexpr std::array<const char*, 6> kPrefixCaptions = {"GP", "GN", "GL", "GA", "GB", "BD"};
inline constexpr std::array<const char*, 2> kHdtPrefixCaptions = {"GP", "HC"};
// At most this many custom prefixes are kept; the rest of a longer list is dropped.
constexpr int kMaxChgPrefixes = 10;

// Buttons in the panel of a sentence with a prefix panel (6, or 2 for HDT).
int PrefixButtonCount(int sentence);
// Caption of button `index` (1-based) of a sentence's panel, with the current custom
// prefix for the sixth.
std::string PrefixCaption(const AppState& state, int sentence, int index);

// A prefix button was clicked or checked: the index read from the last character of
// its name (`RadioButtonRMC_4` gives 4; 0 or unreadable gives 1) becomes the
// sentence's prefix index, and "$" + its caption the start of the sentence's text.
void CheckPrefixButton(AppState& state, int sentence, std::string_view buttonName);

// Cuts ChgPrefix at its commas into ChgPrefixList, each entry trimmed of spaces.
void SplitChgPrefix(AppState& state);

// Shows the next custom prefix on the sixth buttons and applies it to every sentence
// whose sixth button is checked; wraps round, and an index out of range restarts at 1.
void CycleCustomPrefix(AppState& state);

}  // namespace fixcaster::ui
