#pragma once

#include <QString>
#include <string>

#include "nmea/Presets.h"
#include "settings/SettingsHost.h"
#include "track/Route.h"

namespace fixcaster::ui {

class TFormMain;

// The window's side of the core: turns the handlers of the main window into calls of
// the run engine, the output port and the settings, and shows what they report
// (it is the settings code's window).
class RunCore : public SettingsWindow {
 public:
  explicit RunCore(TFormMain& form);
  ~RunCore() override;

  // Run control.
  bool IsOutputOpen() const;
  void ButtonStartClick(bool fromStartButton);
  void ButtonIdlingClick();
  void ButtonStopClick();
  void RequestStop();
  void ButtonJ1Click(int row);
  void FrequencyChanged();
  void IntervalsChanged();
  void FixIndicatorsChanged();
  void SentenceFormatChanged();
  void TrackEdited();
  // Route preparation over the grid; shows its messages. False when it failed.
  bool PrepareRoute();
  const TrackModel& Model() const { return model_; }

  // Output port.
  void PortTextChanged();
  void PortListDropDown();
  void PortListClosed();
  void ButtonOpenClick() { OpenOutputPort(); }
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
  TrackModel model_;
};

}  // namespace fixcaster::ui
