#pragma once

#include <QWidget>
#include <array>
#include <memory>

#include "state/AppState.h"
#include "ui/Taskbar.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableView;
class QFrame;

namespace fixcaster::ui {

class ClickLabel;
class DropDownComboBox;
class TrackTableModel;
class TFormNmeamon;
class TFormGSAGSV;
class RunCore;

// TFormMain, the single main window FormMain. Every setting is one of its controls,
// each control's objectName its name; the values live in the AppState and the
// controls show them (SyncFromState) and write them back as the user edits.
class TFormMain : public QWidget {
  Q_OBJECT
 public:
  // FormCreate: builds the window with its design values; `arguments` is the command
  // line without the program name (for "/A" and "/C").
  TFormMain(AppState& state, QStringList arguments, QWidget* parent = nullptr);
  ~TFormMain() override;

  AppState& State() { return state_; }
  RunCore& Core() { return *core_; }
  TFormNmeamon* FormNmeamon() const { return monitor_; }
  TFormGSAGSV* FormGSAGSV() const { return editor_; }
  Taskbar& Taskbar1() { return taskbar_; }
  bool StartupDone() const { return startupDone_; }

  // Pushes every field of the state into its control.
  void SyncFromState();
  // Re-reads the track table into the grid (row count and cells).
  void ReloadGrid();

  // Language, fonts, captions, hints (called at every settings load).
  void ApplyLanguage();
  bool Japanese() const { return japanese_; }
  void ShowSpeedUnit();
  void LabelSpeed1Click();
  void LabelCHGClick();
  void UpdateTitle();
  void RunStartup();
  void ApplyCommandSwitches();
  void LabelMonitorClick();
  void ButtonEditClick();
  void ButtonExitClick() { close(); }
  // First visible data row of the grid (1-based).
  int TopRow() const;
  // The nine Jump buttons: button `tag` (1..9) stands beside grid row tag + TopRow - 1.
  int JumpTarget(int tag) const { return tag + TopRow() - 1; }
  void HandleDroppedFiles(const QStringList& paths);

  // Run displays (written by the run engine through RunCore).
  void ShowRunControls();
  // Makes row `row`, column 1 the current cell; `atTop` also makes it the first
  // visible row.
  void SelectGridRow(int row, bool atTop = false);

 protected:
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  friend class RunCore;
  QGroupBox* BuildOutputGroup();
  QGroupBox* BuildDataGroup();
  QGroupBox* BuildConditionGroup();
  QGroupBox* BuildSerialGroup();
  QGroupBox* BuildGsaGroup();
  QWidget* BuildSideColumn();
  void BindControls();
  void SyncCombo(QComboBox* box, const ComboState& combo);
  void SyncPrefixPanel(int sentence);
  void UpdateJumpButtons();
  void SizeWarningPanel();
  // Widens the grid's columns (design widths at least) so that every heading fits.
  void FitGridColumns();
  void FormActivate();

  AppState& state_;
  QStringList arguments_;
  std::unique_ptr<RunCore> core_;
  bool japanese_ = false;
  bool startupDone_ = false;
  bool syncing_ = false;  // widgets are being set from the state: do not write back
  Taskbar taskbar_;

  // GroupBoxOutput
  QGroupBox* GroupBoxOutput = nullptr;
  ClickLabel* LabelSpeed1 = nullptr;
  QLabel *LabelCnt = nullptr, *LabelLat1 = nullptr, *LabelLon1 = nullptr, *LabelAlt1 = nullptr,
         *LabelTime1 = nullptr;
  QLabel *LabelCount = nullptr, *LabelLat = nullptr, *LabelLon = nullptr, *LabelAlt = nullptr,
         *LabelSpeed = nullptr, *LabelTime = nullptr;
  QLabel *LbelSendBytes = nullptr, *LabelReport = nullptr, *LabelIni = nullptr;
  QPushButton *ButtonStart = nullptr, *ButtonIdling = nullptr, *ButtonStop = nullptr;
  // GroupBoxData
  QGroupBox* GroupBoxData = nullptr;
  QTableView* StringGrid1 = nullptr;
  TrackTableModel* gridModel_ = nullptr;
  QCheckBox* CheckBoxRep = nullptr;
  std::array<QPushButton*, 9> ButtonJ{};
  QProgressBar* ProgressBar1 = nullptr;
  // GroupBoxCondition
  QGroupBox* GroupBoxCondition = nullptr;
  QComboBox *ComboBoxHz = nullptr, *ComboBoxNMEA = nullptr, *ComboBoxNavSt = nullptr;
  ClickLabel* LabelCHG = nullptr;
  std::array<QCheckBox*, SentenceCount> CheckBoxSentence{};
  std::array<QComboBox*, SentenceCount> ComboBoxInterval{};
  std::array<std::array<QRadioButton*, 6>, PrefixSentenceCount> RadioButtonPrefix{};
  QComboBox *ComboBoxStatus = nullptr, *ComboBoxRMCst = nullptr, *ComboBoxDegDec = nullptr,
            *ComboBoxTimeDec = nullptr, *ComboBoxGeoid = nullptr;
  QCheckBox* CheckBoxRMCprec = nullptr;
  // GroupBoxSerial
  QGroupBox* GroupBoxSerial = nullptr;
  DropDownComboBox* ComboBoxPort = nullptr;
  QComboBox* ComboBoxBaud = nullptr;
  QLabel *LabelBaud = nullptr, *LabelTCPport = nullptr;
  QLineEdit* EditTCPport = nullptr;
  QPushButton *ButtonOpen = nullptr, *ButtonClose = nullptr;
  // GroupBoxGSAGSV
  QGroupBox* GroupBoxGSAGSV = nullptr;
  std::array<QRadioButton*, 4> RadioButtonGSA{};
  QPushButton* ButtonEdit = nullptr;
  // outside the group boxes
  QPushButton *ButtonLoadCSV = nullptr, *ButtonSaveCSV = nullptr, *ButtonLoad = nullptr,
              *ButtonExit = nullptr;
  ClickLabel* LabelMonitor = nullptr;
  QFrame* Panel1 = nullptr;
  QLabel *LabelAlm1 = nullptr, *LabelAlm2 = nullptr;

  TFormNmeamon* monitor_ = nullptr;
  TFormGSAGSV* editor_ = nullptr;
};

}  // namespace fixcaster::ui
