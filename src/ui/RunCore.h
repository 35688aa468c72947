#pragma once

#include <QString>
#include <memory>
#include <string>

#include "output/CommX.h"
#include "output/EngineInterfaces.h"
#include "output/OutputPort.h"
#include "output/QtTickTimer.h"
#include "output/RunEngine.h"
#include "settings/SettingsHost.h"

namespace fixcaster::ui {

class TFormMain;

// The window's side of the core. It owns the run engine, the output port (serial
// component and TCP server) and the timer, turns the main window's handlers into
// their calls, and is the window they all report to: the engine's display, message
// and idle sinks, the output port's message sink and the settings code's window.
class RunCore : public DisplaySink,
                public MessageSink,
                public IdleScheduler,
                public OutputMessageSink,
                public SettingsWindow {
 public:
  explicit RunCore(TFormMain& form);
  ~RunCore() override;

  RunEngine& Engine() { return *engine_; }
  OutputPort& Port() { return *port_; }

  // Run control.
  bool IsOutputOpen() const { return port_->IsOutputOpen(); }
  void ButtonStartClick(bool fromStartButton);
  void ButtonIdlingClick();
  void ButtonStopClick();
  void RequestStop();
  void ButtonJ1Click(int row);
  void FrequencyChanged();
  void IntervalsChanged();
  void FixIndicatorsChanged();
  // ComboBoxNMEAChange: Nav. status from 4.1 on, GNS from 2.3 on.
  void SentenceFormatChanged();
  void TrackEdited() {}

  // Output port.
  void PortTextChanged();
  void PortListDropDown();
  void PortListClosed();
  void ButtonOpenClick();
  void ButtonCloseClick();
  void OpenOutputPort();
  void CloseOutputPort();

  // Presets.
  void RadioButtonGSA1Click();
  void StorePreset(const std::string& editorText);

  // Files.
  void LoadSettings();
  void ButtonLoadClick();
  void ButtonLoadCSVClick();
  void ButtonSaveCSVClick();
  void DroppedFile(const QString& path);
  void FormCloseQuery();

  // DisplaySink
  void SetLabelCount(const std::string& text) override;
  void SetLabelLat(const std::string& text) override;
  void SetLabelLon(const std::string& text) override;
  void SetLabelAlt(const std::string& text) override;
  void SetLabelSpeed(const std::string& text) override;
  void SetLabelTime(const std::string& text) override;
  void SetLabelReport(const std::string& text) override;
  void SetProgress(int position) override;
  int TaskbarProgressMax() const override;
  void ShowTaskbarProgress(int32_t span, int value) override;
  void SetTaskbarState(TaskbarState state) override;
  void ShowWarning(LoadWarning kind, int32_t bytes) override;
  void HideWarning() override;
  void SetSendStatus(const std::string& text) override;
  void SetSendOverload(bool overloaded) override;
  bool MonitorVisible() const override;
  void SetMonitorText(const std::string& text) override;
  void SelectGridRow(int32_t row) override;
  void RunControlsChanged() override;
  void TrackTableChanged() override;

  // MessageSink
  void ShowMessage(EngineMessageId id) override;
  void ShowRouteMessage(const RouteMessage& message) override;
  // IdleScheduler
  void ScheduleIdle() override;
  // OutputMessageSink
  void ShowOutputMessage(OutputMessageId id, const std::vector<std::string>& args) override;

  // SettingsWindow
  void ApplyLanguage(AppState&) override;
  void ShowSpeedUnit(AppState&) override;
  void PlaceMainWindow(int32_t& top, int32_t& left) override;
  void SelectGridCell(int64_t row, int col) override;
  void ShowMessage(SettingsMessage id, const std::string& arg) override;
  bool AskYesNo(SettingsMessage id, const std::string& arg) override;
  std::optional<std::string> OpenFileDialog(const FileDialogRequest& request) override;
  std::optional<std::string> SaveFileDialog(const FileDialogRequest& request) override;
  void CloseOutput() override { CloseOutputPort(); }
  void UpdateTitle() override;

 private:
  SettingsHooks Hooks();
  // After the state changed behind the widgets: show it all again.
  void Refresh();

  TFormMain& form_;
  QtPoster poster_;
  SystemUtcClock clock_;
  QtTickTimer timer_;
  std::unique_ptr<OutputPort> port_;
  std::unique_ptr<RunEngine> engine_;
  bool idleScheduled_ = false;
};

}  // namespace fixcaster::ui
