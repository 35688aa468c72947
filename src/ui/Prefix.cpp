#include "ui/Prefix.h"

#include <cctype>

namespace fixcaster::ui {

namespace {
std::string Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return std::string(s.substr(b, e - b));
}
}  // namespace

int PrefixButtonCount(int sentence) {
  if (sentence < 0 || sentence >= PrefixSentenceCount) return 0;
  return sentence == sHDT ? int(kHdtPrefixCaptions.size()) : int(kPrefixCaptions.size());
}

std::string PrefixCaption(const AppState& state, int sentence, int index) {
  if (index < 1 || index > PrefixButtonCount(sentence)) return {};
  if (sentence == sHDT) return kHdtPrefixCaptions[index - 1];
  if (index == 6) return state.CustomPrefixCaption;
  return kPrefixCaptions[index - 1];
}

void CheckPrefixButton(AppState& state, int sentence, std::string_view buttonName) {
  if (sentence < 0 || sentence >= PrefixSentenceCount) return;
  int index = 1;
  if (!buttonName.empty() && std::isdigit(static_cast<unsigned char>(buttonName.back())))
    index = buttonName.back() - '0';
  if (index == 0) index = 1;
  // A name ending in a digit beyond the panel's buttons has no caption to take.
  if (index > PrefixButtonCount(sentence)) index = 1;
  state.PrefixButtonChecked[sentence] = index;
  state.TalkerPrefixIndex[sentence] = index;
  state.TalkerPrefixText[sentence] = "$" + PrefixCaption(state, sentence, index);
}

void SplitChgPrefix(AppState& state) {
  state.ChgPrefixList.clear();
  const std::string& text = state.ChgPrefix;
  if (text.empty()) return;
  size_t start = 0;
  while (int(state.ChgPrefixList.size()) < kMaxChgPrefixes) {
    const size_t comma = text.find(',', start);
    state.ChgPrefixList.push_back(Trim(std::string_view(text).substr(
        start, comma == std::string::npos ? std::string::npos : comma - start)));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
}

void CycleCustomPrefix(AppState& state) {
  const int count = int(state.ChgPrefixList.size());
  if (state.ChgIndex >= count || state.ChgIndex < 0)
    state.ChgIndex = 1;
  else
    ++state.ChgIndex;
  std::string prefix;
  if (state.ChgIndex >= 1 && state.ChgIndex <= count) {
    prefix = Trim(std::string_view(state.ChgPrefixList[state.ChgIndex - 1]).substr(0, 2));
    for (char& c : prefix) c = char(std::toupper(static_cast<unsigned char>(c)));
  }
  state.CustomPrefixCaption = prefix;
  for (int s = 0; s < PrefixSentenceCount; ++s) {
    if (s == sHDT) continue;
    if (state.PrefixButtonChecked[s] == 6) state.TalkerPrefixText[s] = "$" + prefix;
  }
}

}  // namespace fixcaster::ui
