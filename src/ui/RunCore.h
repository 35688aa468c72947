#pragma once

#include <QString>
#include <string>

#include "nmea/Presets.h"

namespace fixcaster::ui {

class TFormMain;

// The window's side of the core: turns the handlers of the main window into calls of
// the run engine, the output port and the settings, and shows what they report.
class RunCore {
 public:
  explicit RunCore(TFormMain& form);
  ~RunCore();

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
  const PresetSummary& Summary() const { return summary_; }

  // Files.
  void LoadSettings();
  bool SaveSettings();
  void ButtonLoadClick();
  void ButtonLoadCSVClick();
  void ButtonSaveCSVClick();
  void DroppedFile(const QString& path);
  void FormCloseQuery();

 private:
  void AfterLoad();

  TFormMain& form_;
  PresetSummary summary_;
};

}  // namespace fixcaster::ui
