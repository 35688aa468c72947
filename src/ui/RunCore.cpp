#include "ui/RunCore.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include "nmea/Sentences.h"
#include "settings/Settings.h"
#include "settings/SettingsPath.h"
#include "settings/TrackCsv.h"
#include "ui/AuxWindows.h"
#include "ui/Language.h"
#include "ui/MainWindow.h"
#include "ui/Placement.h"
#include "ui/Widgets.h"

namespace fixcaster::ui {

namespace {
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

RunCore::RunCore(TFormMain& form)
    : form_(form),
      poster_(&form),
      port_(std::make_unique<OutputPort>(form.State(), *this, &poster_)),
      engine_(
          std::make_unique<RunEngine>(form.State(), *port_, *this, *this, clock_, timer_, *this)) {
  port_->OnStopRequest = [this] { engine_->RequestStop(); };
  port_->OnStopRun = [this] { engine_->ButtonStopClick(); };
  // A serial reopen waits for the queued output in the event loop, not in a sleep.
  port_->Later = [this](int ms, std::function<void()> step) {
    QTimer::singleShot(ms, &form_, [this, step = std::move(step)] {
      step();
      form_.SyncFromState();
    });
  };
  // The port list: "TCP" and the serial ports found now.
  port_->RebuildPortList();
}

RunCore::~RunCore() {
  timer_.Stop();
  engine_.reset();
  port_.reset();
}

SettingsHooks RunCore::Hooks() {
  // Variation, factory presets from the core; the rest needs the window's parts.
  SettingsHooks h = CoreSettingsHooks();
  h.SelectPreset = [this](AppState&) { RadioButtonGSA1Click(); };
  h.UpdateFixIndicators = [this](AppState&) { FixIndicatorsChanged(); };
  h.ComboBoxNMEAChange = [this](AppState&) { SentenceFormatChanged(); };
  h.ParseComPortNo = [](const std::string& text) { return fixcaster::ParseComPortNo(text); };
  h.ComboBoxPortChange = [this](AppState&) { port_->ComboBoxPortChange(); };
  h.ResetCurrentSpan = [this] { engine_->CurrentSpan = 1; };
  h.PrepareRoute = [this](AppState&) { engine_->PrepareRoute(); };
  return h;
}

void RunCore::Refresh() {
  form_.ReloadGrid();
  form_.SyncFromState();
}

void RunCore::ButtonStartClick(bool fromStartButton) {
  engine_->ButtonStartClick(fromStartButton);
  form_.SyncFromState();
}

void RunCore::ButtonIdlingClick() {
  engine_->ButtonIdlingClick();
  form_.SyncFromState();
}

void RunCore::ButtonStopClick() {
  engine_->ButtonStopClick();
  form_.SyncFromState();
}

void RunCore::RequestStop() {
  engine_->RequestStop();
}

void RunCore::ButtonJ1Click(int row) {
  engine_->ButtonJ1Click(row);
  form_.SyncFromState();
}

void RunCore::FrequencyChanged() {
  engine_->ComboBoxHzChange();
}
void RunCore::IntervalsChanged() {
  engine_->ComboBoxGGAChange();
}

void RunCore::FixIndicatorsChanged() {
  AppState& s = form_.State();
  UpdateFixIndicators(s.ComboBoxStatus.ItemIndex, s.ComboBoxRMCst.ItemIndex, s.Fix);
}

void RunCore::SentenceFormatChanged() {
  AppState& s = form_.State();
  // Version texts compare as text, as they are stored.
  const std::string& version = s.ComboBoxNMEA.Text;
  s.ComboBoxNavSt.Enabled = version >= "4.1";
  s.CheckBoxSentence[sGNS].Enabled = version >= "2.3";
  s.ComboBoxInterval[sGNS].Enabled = version >= "2.3";
  form_.SyncFromState();
}

void RunCore::PortTextChanged() {
  port_->ComboBoxPortChange();
  form_.SyncFromState();
}

void RunCore::PortListDropDown() {
  port_->ComboBoxPortDropDown();
  form_.SyncFromState();
}

void RunCore::PortListClosed() {
  port_->ComboBoxPortCloseUp();
  port_->ApplyPortDropDownClosed();
  form_.SyncFromState();
}

void RunCore::ButtonOpenClick() {
  OpenOutputPort();
}

void RunCore::ButtonCloseClick() {
  port_->ButtonCloseClick();
  form_.SyncFromState();
}

void RunCore::OpenOutputPort() {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  port_->OpenOutputPort();
  QApplication::restoreOverrideCursor();
  form_.SyncFromState();
}

void RunCore::CloseOutputPort() {
  port_->CloseOutputPort();
  form_.SyncFromState();
}

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
  engine_->PrepareRoute();
  SaveTrackCsv(form_.State(), *this, engine_->Track.LastPoint);
}

void RunCore::DroppedFile(const QString& path) {
  AppState& s = form_.State();
  const QString suffix = QFileInfo(path).suffix().toLower();
  // Nothing is loaded while the output runs; the settings file and its path stay as
  // they are, so the dropped file is never overwritten with settings it never held.
  if (s.ButtonStop.Enabled) return;
  if (suffix == QLatin1String("ini")) {
    ReportSettingsFile(s, *this, s.SettingsPath, SaveSettings(s));
    std::string newPath;
    try {
      newPath = ChooseWritableSettingsPath(path.toStdString(), CurrentSettingsLocation());
    } catch (const SettingsLocationError& e) {
      ShowMessage(SettingsMessage::SettingsLocation, e.what());
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
      // The device gets a moment before it is opened again; the window stays live.
      if (!Trim(s.ComboBoxPort.Text).empty())
        QTimer::singleShot(100, &form_, [this] { OpenOutputPort(); });
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
  form_.SelectGridRow(int(row), true);
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
    case SettingsMessage::SettingsReadOnly:
      ui::ShowMessage(LanguageText(Text::SettingsReadOnly) + Q(arg), MessageKind::Warning);
      break;
    case SettingsMessage::SettingsNotSaved:
      ui::ShowMessage(LanguageText(Text::SettingsNotSaved) +
                          Q(arg).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                      MessageKind::Error);
      break;
    case SettingsMessage::SettingsTooLarge:
      ui::ShowMessage(LanguageText(Text::SettingsTooLarge) + Q(arg), MessageKind::Warning);
      break;
    case SettingsMessage::SettingsLinkLoop:
      ui::ShowMessage(LanguageText(Text::SettingsLinkLoop) + Q(arg), MessageKind::Error);
      break;
    case SettingsMessage::SettingsLocation:
      ui::ShowMessage(Q(arg), MessageKind::Error);
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

// --- what the engine shows ------------------------------------------------------------

void RunCore::SetLabelCount(const std::string& text) {
  form_.LabelCount->setText(Q(text));
}
void RunCore::SetLabelLat(const std::string& text) {
  form_.LabelLat->setText(Q(text));
}
void RunCore::SetLabelLon(const std::string& text) {
  form_.LabelLon->setText(Q(text));
}
void RunCore::SetLabelAlt(const std::string& text) {
  form_.LabelAlt->setText(Q(text));
}
void RunCore::SetLabelSpeed(const std::string& text) {
  form_.LabelSpeed->setText(Q(text));
}
void RunCore::SetLabelTime(const std::string& text) {
  form_.LabelTime->setText(Q(text));
}
void RunCore::SetLabelReport(const std::string& text) {
  form_.LabelReport->setText(Q(text));
}
void RunCore::SetProgress(int position) {
  form_.ProgressBar1->setValue(position);
}

int RunCore::TaskbarProgressMax() const {
  return form_.Taskbar1().ProgressMax();
}

void RunCore::ShowTaskbarProgress(int32_t span, int value) {
  form_.Taskbar1().ShowProgress(span, value);
}

void RunCore::SetTaskbarState(TaskbarState state) {
  if (state == TaskbarState::None)
    form_.Taskbar1().Clear();
  else
    form_.Taskbar1().SetRunning();
}

void RunCore::ShowWarning(LoadWarning kind, int32_t bytes) {
  if (kind == LoadWarning::Backlog) {
    form_.LabelAlm1->setText(LanguageText(Text::BaudTooLow));
    form_.LabelAlm2->setText(LanguageText(Text::SendBufferBefore) + QString::number(bytes) +
                             LanguageText(Text::SendBufferAfter));
  } else {
    form_.LabelAlm1->setText(LanguageText(Text::LackOfCpuPower));
    form_.LabelAlm2->setText(LanguageText(Text::LengthenPeriod));
  }
  form_.Panel1->show();
}

void RunCore::HideWarning() {
  form_.Panel1->hide();
}

void RunCore::SetSendStatus(const std::string& text) {
  form_.LbelSendBytes->setText(Q(text));
}

void RunCore::SetSendOverload(bool overloaded) {
  QPalette p = form_.LbelSendBytes->palette();
  p.setColor(QPalette::Window,
             overloaded ? QColor(Qt::yellow) : QApplication::palette().color(QPalette::Button));
  form_.LbelSendBytes->setPalette(p);
}

bool RunCore::MonitorVisible() const {
  return form_.FormNmeamon()->isVisible();
}

void RunCore::SetMonitorText(const std::string& text) {
  form_.FormNmeamon()->ShowTick(Q(text));
}

void RunCore::SelectGridRow(int32_t row) {
  form_.SelectGridRow(row);
}

void RunCore::RunControlsChanged() {
  form_.ShowRunControls();
}

void RunCore::TrackTableChanged() {
  Refresh();
}

void RunCore::ShowMessage(EngineMessageId id) {
  switch (id) {
    case EngineMessageId::OpenOutputFirst:
      ui::ShowMessage(LanguageText(Text::PleaseOpenPort), MessageKind::Warning);
      break;
    case EngineMessageId::NeedTwoTracks:
      ui::ShowMessage(LanguageText(Text::TooFewMovingPoints), MessageKind::Warning);
      break;
  }
}

void RunCore::ShowRouteMessage(const RouteMessage& m) {
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

void RunCore::ScheduleIdle() {
  // One pending idle pass is enough; it runs once the queued events are handled.
  if (idleScheduled_) return;
  idleScheduled_ = true;
  QTimer::singleShot(0, &form_, [this] {
    idleScheduled_ = false;
    engine_->ApplicationEvents1Idle();
    form_.SyncFromState();
  });
}

void RunCore::ShowOutputMessage(OutputMessageId id, const std::vector<std::string>& args) {
  const QString arg = args.empty() ? QString() : Q(args.front());
  switch (id) {
    case OutputMessageId::PleaseOpenOutput:
      ui::ShowMessage(LanguageText(Text::PleaseOpenPort), MessageKind::Warning);
      break;
    case OutputMessageId::TcpServerCannotOpen:
      ui::ShowMessage(QStringLiteral("\n[Output port]\n") + LanguageText(Text::CannotOpenTcp),
                      MessageKind::Error);
      break;
    case OutputMessageId::SerialSpeedInvalid:
      ui::ShowMessage(LanguageText(Text::BadSerialSpeed), MessageKind::Error);
      break;
    case OutputMessageId::SerialCannotOpen:
      ui::ShowMessage(LanguageText(Text::CannotOpenSerial) + arg, MessageKind::Error);
      break;
    case OutputMessageId::SerialPortLost:
      ui::ShowMessage(QStringLiteral("Serial port was lost: ") + arg, MessageKind::Error);
      break;
  }
  form_.SyncFromState();
}

}  // namespace fixcaster::ui
