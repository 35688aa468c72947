#include "ui/RunCore.h"

#include "ui/AuxWindows.h"
#include "ui/Language.h"
#include "ui/MainWindow.h"
#include "ui/Placement.h"

namespace fixcaster::ui {

namespace {
std::string Upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
std::string Trim(const std::string& s) {
  const auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}
}  // namespace

RunCore::RunCore(TFormMain& form) : form_(form) {}
RunCore::~RunCore() = default;

bool RunCore::IsOutputOpen() const {
  return false;
}

void RunCore::ButtonStartClick(bool) {
  if (!IsOutputOpen()) {
    ShowMessage(LanguageText(Text::PleaseOpenPort), MessageKind::Warning);
    return;
  }
}

void RunCore::ButtonIdlingClick() {
  if (!IsOutputOpen()) {
    ShowMessage(LanguageText(Text::PleaseOpenPort), MessageKind::Warning);
    return;
  }
}

void RunCore::ButtonStopClick() {}
void RunCore::RequestStop() {}
void RunCore::ButtonJ1Click(int) {}
void RunCore::FrequencyChanged() {}
void RunCore::IntervalsChanged() {}
void RunCore::FixIndicatorsChanged() {}
void RunCore::SentenceFormatChanged() {}
void RunCore::TrackEdited() {}

void RunCore::PortTextChanged() {
  AppState& st = form_.State();
  const bool tcp = Upper(Trim(st.ComboBoxPort.Text)).rfind("TCP", 0) == 0;
  st.EditTCPport.Visible = tcp;
  st.BaudControlsVisible = !tcp;
  form_.SyncFromState();
}

void RunCore::PortListDropDown() {}

void RunCore::PortListClosed() {
  // The list shows "device  friendly name"; the box keeps the device only.
  AppState& st = form_.State();
  const auto cut = st.ComboBoxPort.Text.find("  ");
  if (cut == std::string::npos) return;
  st.ComboBoxPort.Text = Trim(st.ComboBoxPort.Text.substr(0, cut));
  form_.SyncFromState();
}

void RunCore::ButtonCloseClick() {
  if (form_.State().ButtonStop.Enabled) ButtonStopClick();
  CloseOutputPort();
}

void RunCore::OpenOutputPort() {}
void RunCore::CloseOutputPort() {}

void RunCore::RadioButtonGSA1Click() {
  AppState& st = form_.State();
  summary_ = SelectPreset(st.RadioButtonGSAChecked, st.CurrentPreset, st.PresetGsa, st.PresetGsv,
                          st.PresetEditorText);
  form_.FormGSAGSV()->SetText(QString::fromStdString(st.PresetEditorText));
}

void RunCore::StorePreset(const std::string& editorText) {
  AppState& st = form_.State();
  st.PresetEditorText = editorText;
  summary_ = StorePresetFromEditor(st.RadioButtonGSAChecked, editorText, st.CurrentPreset,
                                   st.PresetGsa, st.PresetGsv);
}

void RunCore::LoadSettings() {
  AppState& st = form_.State();
  RefillEmptyPresets(st.PresetGsa, st.PresetGsv);
  AfterLoad();
}

void RunCore::AfterLoad() {
  AppState& st = form_.State();
  form_.ApplyLanguage();
  form_.ShowSpeedUnit();
  form_.ReloadGrid();
  form_.SyncFromState();
  PortTextChanged();
  RadioButtonGSA1Click();
  int top = st.MainTop, left = st.MainLeft;
  PlaceMainWindow(form_, top, left);
  st.MainTop = top;
  st.MainLeft = left;
}

bool RunCore::SaveSettings() {
  return false;
}
void RunCore::ButtonLoadClick() {}
void RunCore::ButtonLoadCSVClick() {}
void RunCore::ButtonSaveCSVClick() {}
void RunCore::DroppedFile(const QString&) {}

void RunCore::FormCloseQuery() {
  CloseOutputPort();
  SaveSettings();
}

}  // namespace fixcaster::ui
