#include "ui/RunCore.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QThread>

#include "settings/Settings.h"
#include "settings/SettingsPath.h"
#include "settings/TrackCsv.h"
#include "track/TrackGrammar.h"
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
QString Q(const std::string& s) {
  return QString::fromStdString(s);
}

// "Ini file|*.ini|All file|*.*" as Qt writes it: "Ini file (*.ini);;All file (*.*)".
QString QtFilter(const std::string& filter) {
  const QStringList parts = Q(filter).split(QLatin1Char('|'));
  QStringList out;
  for (int i = 0; i + 1 < parts.size(); i += 2)
    out << QStringLiteral("%1 (%2)").arg(parts[i], QString(parts[i + 1]).replace(';', ' '));
  return out.join(QStringLiteral(";;"));
}

std::optional<std::string> RunFileDialog(QFileDialog::AcceptMode mode,
                                         const FileDialogRequest& request) {
  Placed<QFileDialog> dialog(MainWindow(), MainWindow());
  dialog.setObjectName(mode == QFileDialog::AcceptOpen ? QStringLiteral("OpenDialog1")
                                                       : QStringLiteral("SaveDialog1"));
  // Qt's own dialog: the platform's would not let itself be placed.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.setAcceptMode(mode);
  dialog.setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile
                                                     : QFileDialog::AnyFile);
  // Overwriting is asked by the caller, in its own words.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setNameFilter(QtFilter(request.Filter));
  if (!request.InitialDir.empty()) dialog.setDirectory(Q(request.InitialDir));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front().toStdString();
}
}  // namespace

RunCore::RunCore(TFormMain& form) : form_(form) {}
RunCore::~RunCore() = default;

SettingsHooks RunCore::Hooks() {
  SettingsHooks h;
  h.ParseMagVariation = [](const std::string& text) { return fixcaster::ParseMagVariation(text); };
  h.FormatMagVariation = [](double value) { return fixcaster::FormatMagVariation(value); };
  h.SelectPreset = [this](AppState&) { RadioButtonGSA1Click(); };
  h.CopyBuiltInPreset = [](AppState& s, int p) {
    s.PresetGsa[p] = DefaultPresetGsa()[p];
    s.PresetGsv[p] = DefaultPresetGsv()[p];
  };
  h.ComboBoxPortChange = [this](AppState&) { PortTextChanged(); };
  h.PrepareRoute = [this](AppState&) { PrepareRoute(); };
  return h;
}

void RunCore::Refresh() {
  form_.ReloadGrid();
  form_.SyncFromState();
}

bool RunCore::IsOutputOpen() const {
  return false;
}

void RunCore::ButtonStartClick(bool) {
  if (!IsOutputOpen()) {
    ui::ShowMessage(LanguageText(Text::PleaseOpenPort), MessageKind::Warning);
    return;
  }
}

void RunCore::ButtonIdlingClick() {
  if (!IsOutputOpen()) {
    ui::ShowMessage(LanguageText(Text::PleaseOpenPort), MessageKind::Warning);
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

bool RunCore::PrepareRoute() {
  AppState& s = form_.State();
  const RouteResult result = fixcaster::PrepareRoute(s.StringGrid1, s.ComboBoxHz.Text,
                                                     s.ComboBoxGeoid.Text, s.SpeedUnit, model_);
  if (result.HzText) s.ComboBoxHz.Text = *result.HzText;
  // Marked cells ("NG ") and cleared rows show at once.
  Refresh();
  for (const RouteMessage& m : result.Messages) {
    switch (m.Id) {
      case RouteMessageId::LatitudeOutOfRange:
        ui::ShowMessage(LanguageText(Text::LatitudeRange), MessageKind::Warning);
        break;
      case RouteMessageId::LongitudeOutOfRange:
        ui::ShowMessage(LanguageText(Text::LongitudeRange), MessageKind::Warning);
        break;
      case RouteMessageId::IllegalNumberFormat:
        ui::ShowMessage(LanguageText(Text::BadNumber), MessageKind::Error);
        break;
    }
  }
  return result.Accepted;
}

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
  st.Satellites = SelectPreset(st.RadioButtonGSAChecked, st.CurrentPreset, st.PresetGsa,
                               st.PresetGsv, st.PresetEditorText);
  form_.FormGSAGSV()->SetText(Q(st.PresetEditorText));
}

void RunCore::StorePreset(const std::string& editorText) {
  AppState& st = form_.State();
  st.PresetEditorText = editorText;
  st.Satellites = StorePresetFromEditor(st.RadioButtonGSAChecked, editorText, st.CurrentPreset,
                                        st.PresetGsa, st.PresetGsv);
}

void RunCore::LoadSettings() {
  fixcaster::LoadSettings(form_.State(), *this, Hooks());
  Refresh();
}

void RunCore::ButtonLoadClick() {
  fixcaster::ButtonLoadClick(form_.State(), *this, Hooks());
  Refresh();
}

void RunCore::ButtonLoadCSVClick() {
  if (form_.State().ButtonStop.Enabled) return;
  fixcaster::ButtonLoadCSVClick(form_.State(), *this, Hooks());
  Refresh();
}

void RunCore::ButtonSaveCSVClick() {
  if (form_.State().ButtonStop.Enabled) return;
  // The export ends at the last point of a fresh plan of the table as it stands.
  PrepareRoute();
  SaveTrackCsv(form_.State(), *this, model_.LastPoint);
}

void RunCore::DroppedFile(const QString& path) {
  AppState& s = form_.State();
  const QString suffix = QFileInfo(path).suffix().toLower();
  // Nothing is loaded while the output runs; the settings file and its path stay as
  // they are, so the dropped file is never overwritten with settings it never held.
  if (s.ButtonStop.Enabled) return;
  if (suffix == QLatin1String("ini")) {
    SaveSettings(s);
    std::string newPath;
    try {
      newPath = ChooseWritableSettingsPath(path.toStdString(), CurrentSettingsLocation());
    } catch (const SettingsLocationError& e) {
      ui::ShowMessage(Q(e.what()), MessageKind::Error);
      return;
    }
    s.SettingsPath = newPath;
    SelectGridCell(1, 1);
    const std::string port = s.ComboBoxPort.Text, baud = s.ComboBoxBaud.Text;
    fixcaster::LoadSettings(s, *this, Hooks());
    UpdateTitle();
    if (s.ComboBoxBaud.Text.empty()) s.ComboBoxBaud.Text = baud;
    if (s.ComboBoxPort.Text.empty()) s.ComboBoxPort.Text = port;
    Refresh();
    QCoreApplication::processEvents();
    if (IsOutputOpen() && (s.ComboBoxPort.Text != port || s.ComboBoxBaud.Text != baud)) {
      CloseOutputPort();
      if (!Trim(s.ComboBoxPort.Text).empty()) {
        QThread::msleep(100);
        OpenOutputPort();
      }
    }
  } else if (suffix == QLatin1String("csv")) {
    LoadTrackCsv(s, path.toStdString(), *this, Hooks());
    Refresh();
  }
}

void RunCore::FormCloseQuery() {
  fixcaster::FormCloseQuery(form_.State(), *this);
}

void RunCore::ApplyLanguage(AppState&) {
  form_.ApplyLanguage();
}
void RunCore::ShowSpeedUnit(AppState&) {
  form_.ShowSpeedUnit();
}
void RunCore::UpdateTitle() {
  form_.UpdateTitle();
}

void RunCore::PlaceMainWindow(int32_t& top, int32_t& left) {
  int t = top, l = left;
  ui::PlaceMainWindow(form_, t, l);
  top = t;
  left = l;
}

void RunCore::SelectGridCell(int64_t row, int) {
  form_.ReloadGrid();
  form_.SelectGridRow(int(row));
}

void RunCore::ShowMessage(SettingsMessage id, const std::string& arg) {
  switch (id) {
    case SettingsMessage::MemoryOver:
      ui::ShowMessage(QStringLiteral("Memory over."), MessageKind::Error);
      break;
    case SettingsMessage::FileNotFound:
      ui::ShowMessage(LanguageText(Text::FileNotFound) + QStringLiteral("\n") + Q(arg),
                      MessageKind::Error);
      break;
    case SettingsMessage::FileNotCreated:
      ui::ShowMessage(QStringLiteral("\n") + LanguageText(Text::FileNotCreated),
                      MessageKind::Error);
      break;
    case SettingsMessage::FileExistsOverwrite:
      AskYesNo(id, arg);
      break;
  }
}

bool RunCore::AskYesNo(SettingsMessage, const std::string& arg) {
  return ui::ShowMessage(Q(arg) + QStringLiteral(" exists.\n\nOverwrite?"),
                         MessageKind::Information,
                         QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

std::optional<std::string> RunCore::OpenFileDialog(const FileDialogRequest& request) {
  return RunFileDialog(QFileDialog::AcceptOpen, request);
}

std::optional<std::string> RunCore::SaveFileDialog(const FileDialogRequest& request) {
  return RunFileDialog(QFileDialog::AcceptSave, request);
}

}  // namespace fixcaster::ui
