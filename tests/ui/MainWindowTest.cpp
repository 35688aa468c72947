#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyleOptionHeader>
#include <QTableView>

#include "UiFixture.h"
#include "ui/AuxWindows.h"
#include "ui/Placement.h"
#include "ui/RunCore.h"
#include "ui/Widgets.h"

namespace fixcaster::ui::test {
namespace {

using MainWindowTest = UiFixture;

QString Caption(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  return {};
}

TEST_F(MainWindowTest, StartsWithoutSettingsFileOnDefaults) {
  ASSERT_FALSE(QFile::exists(IniPath()));
  Start();
  EXPECT_TRUE(QFile::exists(IniPath())) << "the start-up load creates the settings file";
  EXPECT_EQ(form_->windowTitle(), QStringLiteral("Fixcaster Ver3.00"));
  EXPECT_EQ(Find<QLabel>("LabelIni")->text(), QStringLiteral("fixcaster.ini"));

  // The two default points, in the grid as typed.
  auto* grid = Find<QTableView>("StringGrid1");
  ASSERT_NE(grid, nullptr);
  QAbstractItemModel* m = grid->model();
  EXPECT_EQ(m->data(m->index(0, 0)).toString(), QStringLiteral("35 40 49.448"));
  EXPECT_EQ(m->data(m->index(0, 1)).toString(), QStringLiteral("139 46 8.793"));
  EXPECT_EQ(m->data(m->index(0, 3)).toString(), QStringLiteral("30"));
  EXPECT_EQ(m->data(m->index(1, 0)).toString(), QStringLiteral("35 41 0.977"));
  EXPECT_EQ(m->data(m->index(2, 0)).toString(), QString());
  EXPECT_EQ(m->rowCount(), 50);
  EXPECT_EQ(m->headerData(0, Qt::Vertical).toString(), QStringLiteral("1"));
  EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral(" Longitude"));

  // Centred in the work area, and no larger than it started.
  const QRect work = MonitorWorkArea(form_.get());
  const QRect frame = form_->frameGeometry();
  EXPECT_LE(std::abs(frame.center().x() - work.center().x()), 1);
  EXPECT_LE(std::abs(frame.center().y() - work.center().y()), 1);
  EXPECT_EQ(form_->maximumSize(), form_->size());
  form_->resize(form_->width() + 100, form_->height() + 100);
  EXPECT_EQ(form_->size(), form_->maximumSize());
  form_->resize(200, 150);
  EXPECT_EQ(form_->size(), QSize(200, 150)) << "the window may be made smaller";
}

// Every control of the window with its name and its design caption or value.
struct ControlRow {
  const char* name;
  const char* caption;  // text shown after the start-up (English)
  bool enabled;
};
const ControlRow kControls[] = {
    {"GroupBoxOutput", " NMEA Output ", true},
    {"LabelCnt", "Point", true},
    {"LabelLat1", "Latitude", true},
    {"LabelLon1", "Longitude", true},
    {"LabelAlt1", "Altitude(m)", true},
    {"LabelSpeed1", "Speed(km/h)", true},
    {"LabelTime1", "Time(UTC)", true},
    {"LabelCount", "", true},
    {"LabelLat", "", true},
    {"LabelLon", "", true},
    {"LabelAlt", "", true},
    {"LabelSpeed", "", true},
    {"LabelTime", "", true},
    {"LbelSendBytes", "", true},
    {"LabelReport", "", true},
    {"ButtonStart", "Start", true},
    {"ButtonIdling", "Idling", true},
    {"ButtonStop", "Stop", false},
    {"GroupBoxData", " Track setting ", true},
    {"CheckBoxRep", "Rep.", true},
    {"ButtonJ1", "Jump", true},
    {"ButtonJ9", "Jump", true},
    {"GroupBoxCondition", " Output condition ", true},
    {"LabelPeriod", "Period", true},
    {"LabelHz", "Hz", true},
    {"LabelNMEA", "NMEA", true},
    {"ComboBoxNMEA", "2.3", true},
    {"LabelNavSt", "Nav. Status", false},  // NMEA 2.3 has no navigational status
    {"ComboBoxNavSt", "V", false},
    {"LabelOut", "Output", true},
    {"LabelInt", "Interval", true},
    {"LabelPrefix", "Prefix", true},
    {"LabelCHG", "CHG", true},
    {"CheckBoxGGA", "GGA", true},
    {"ComboBoxGGA", "1", true},
    {"RadioButtonGGA_1", "GP", true},
    {"RadioButtonGGA_5", "GB", true},
    {"RadioButtonGNS_6", "BD", true},
    {"RadioButtonHDT_2", "HC", true},
    {"CheckBoxGSV", "GSV", true},
    {"ComboBoxGSA", "3", true},
    {"ComboBoxGSV", "3", true},
    {"LabelQuality", "GPS Quality/Mode Indicator", true},
    {"LabelStatus", "GGA", true},
    {"ComboBoxStatus", "GPS fix (SPS)", true},
    {"LabelRMCst", "RMC", true},
    {"ComboBoxRMCst", "Same as GGA", true},
    {"LabelDegDec", "Lat/Lon dec.", true},
    {"ComboBoxDegDec", "6", true},
    {"LabelDegDig", "digit", true},
    {"LabelTimeDec", "Second dec.", true},
    {"ComboBoxTimeDec", "0", true},
    {"LabelTimeDig", "digit", true},
    {"LabelGeoid", "Geoid", true},
    {"ComboBoxGeoid", "0", true},
    {"Label_m", "ｍ", true},
    {"CheckBoxRMCprec", "RMC precede", true},
    {"GroupBoxSerial", " Output ", true},
    {"LabelPort", "Output port", true},
    {"ComboBoxPort", "", true},
    {"LabelBaud", "Speed(bps)", true},
    {"ComboBoxBaud", "4800", true},
    {"LabelTCPport", "TCP port", true},
    {"EditTCPport", "5555", true},
    {"ButtonOpen", "Open", true},
    {"ButtonClose", "Close", false},
    {"GroupBoxGSAGSV", " GSA,GSV ", true},
    {"RadioButtonGSA1", "Preset1", true},
    {"RadioButtonGSA4", "Preset4", true},
    {"ButtonEdit", "Edit", true},
    {"ButtonLoadCSV", "Load CSV", true},
    {"ButtonSaveCSV", "Save CSV", true},
    {"ButtonLoad", "Load ini", true},
    {"LabelMonitor", "Monitor", true},
    {"ButtonExit", "Exit", true},
};

TEST_F(MainWindowTest, EveryControlHasItsNameCaptionAndState) {
  Start();
  for (const ControlRow& row : kControls) {
    SCOPED_TRACE(row.name);
    QWidget* w = Find(row.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Caption(w), QString::fromUtf8(row.caption));
    EXPECT_EQ(w->isEnabled(), row.enabled);
  }
  EXPECT_TRUE(Find<QRadioButton>("RadioButtonGSA1")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>("CheckBoxGGA")->isChecked());
  EXPECT_FALSE(Find<QCheckBox>("CheckBoxGLL")->isChecked());
  EXPECT_TRUE(Find<QCheckBox>("CheckBoxRMCprec")->isChecked());
  EXPECT_FALSE(Find("Panel1")->isVisible());
  EXPECT_FALSE(Find("EditTCPport")->isVisible()) << "shown only for the port TCP";
  EXPECT_EQ(Find<QComboBox>("ComboBoxHz")->count(), 16);
  EXPECT_EQ(Find<QComboBox>("ComboBoxBaud")->count(), 12);
  EXPECT_EQ(Find<QComboBox>("ComboBoxPort")->itemText(0), QStringLiteral("TCP"));
  EXPECT_EQ(Find<QComboBox>("ComboBoxStatus")->count(), 9);
  EXPECT_EQ(Find<QComboBox>("ComboBoxGeoid")->itemText(0), QStringLiteral("-50"));
  EXPECT_EQ(Find<QProgressBar>("ProgressBar1")->maximum(), 310);
  // The version decides which fields exist: Nav. status from 4.1, GNS from 2.3.
  auto* version = Find<QComboBox>("ComboBoxNMEA");
  version->setCurrentIndex(version->findText(QStringLiteral("4.1")));
  EXPECT_TRUE(Find("ComboBoxNavSt")->isEnabled());
  EXPECT_TRUE(Find("LabelNavSt")->isEnabled());
  version->setCurrentIndex(version->findText(QStringLiteral("2.1")));
  EXPECT_FALSE(Find("ComboBoxNavSt")->isEnabled());
  EXPECT_FALSE(Find("CheckBoxGNS")->isEnabled());
  EXPECT_FALSE(Find("RadioButtonGNS_3")->isEnabled());
  EXPECT_TRUE(Find("CheckBoxGLL")->isEnabled());
  EXPECT_EQ(Find<QLabel>("LabelSpeed1")->toolTip(),
            QStringLiteral("Change to km/h -> mph -> knot"));
  EXPECT_EQ(
      Find<QComboBox>("ComboBoxNMEA")->toolTip(),
      QStringLiteral("NMEA Version\n  2.3: With MODE\n  4.1: With MODE and Navigation Status"));
}

TEST_F(MainWindowTest, WidgetsWriteTheStateAndShowItBack) {
  Start();
  auto* hz = Find<QComboBox>("ComboBoxHz");
  hz->setCurrentIndex(hz->findText(QStringLiteral("5")));
  EXPECT_EQ(state_->ComboBoxHz.Text, "5");
  Find<QCheckBox>("CheckBoxVTG")->setChecked(true);
  EXPECT_TRUE(state_->CheckBoxSentence[sVTG].Checked);
  Find<QRadioButton>("RadioButtonRMC_4")->click();
  EXPECT_EQ(state_->TalkerPrefixIndex[sRMC], 4);
  EXPECT_EQ(state_->TalkerPrefixText[sRMC], "$GA");
  Find<QRadioButton>("RadioButtonHDT_2")->click();
  EXPECT_EQ(state_->TalkerPrefixText[sHDT], "$HC");

  state_->ComboBoxInterval[sGSV].Text = "7";
  state_->CheckBoxRep.Checked = true;
  state_->PrefixButtonChecked[sGGA] = 3;
  form_->SyncFromState();
  EXPECT_EQ(Find<QComboBox>("ComboBoxGSV")->currentText(), QStringLiteral("7"));
  EXPECT_TRUE(Find<QCheckBox>("CheckBoxRep")->isChecked());
  EXPECT_TRUE(Find<QRadioButton>("RadioButtonGGA_3")->isChecked());

  // A chosen navigational status keeps its letter only.
  auto* navSt = Find<QComboBox>("ComboBoxNavSt");
  navSt->setEnabled(true);
  navSt->setCurrentIndex(navSt->findText(QStringLiteral("U: Unsafe")));
  EXPECT_TRUE(QTest::qWaitFor([&] { return navSt->currentText() == QStringLiteral("U"); }, 2000));
  EXPECT_EQ(state_->ComboBoxNavSt.Text, "U");

  // Typing in the middle of a box is not disturbed by the state echoing the text.
  auto* portBox = Find<QComboBox>("ComboBoxPort");
  portBox->setEditText(QStringLiteral("/dev/tty0"));
  portBox->lineEdit()->setCursorPosition(8);
  QTest::keyClicks(portBox->lineEdit(), QStringLiteral("US"));
  EXPECT_EQ(portBox->currentText(), QStringLiteral("/dev/ttyUS0"));
  EXPECT_EQ(state_->ComboBoxPort.Text, "/dev/ttyUS0");

  // The port text decides between the serial speed and the TCP port.
  auto* port = Find<QComboBox>("ComboBoxPort");
  port->setEditText(QStringLiteral(" tcp"));
  EXPECT_TRUE(Find("EditTCPport")->isVisible());
  EXPECT_FALSE(Find("ComboBoxBaud")->isVisible());
  port->setEditText(QStringLiteral("/dev/ttyUSB0"));
  EXPECT_FALSE(Find("EditTCPport")->isVisible());
  EXPECT_TRUE(Find("ComboBoxBaud")->isVisible());
}

TEST_F(MainWindowTest, StartWithoutOpenPortWarnsAndChangesNothing) {
  Start();
  for (const char* button : {"ButtonStart", "ButtonIdling"}) {
    SCOPED_TRACE(button);
    ModalAnswerer answer;
    Find<QPushButton>(button)->click();
    ASSERT_EQ(answer.Boxes().size(), 1u);
    EXPECT_EQ(answer.Boxes()[0].text, QStringLiteral("Please open RS-232C or TCP"));
    EXPECT_EQ(answer.Boxes()[0].icon, QMessageBox::Warning);
    EXPECT_TRUE(Find("ButtonStart")->isEnabled());
    EXPECT_TRUE(Find("ButtonIdling")->isEnabled());
    EXPECT_FALSE(Find("ButtonStop")->isEnabled());
    EXPECT_TRUE(Find("ButtonLoad")->isEnabled());
  }
}

TEST_F(MainWindowTest, SpeedHeadingCyclesOnlyWhileStopped) {
  Start();
  auto* heading = Find<ClickLabel>("LabelSpeed1");
  const char* expected[] = {"Speed(mph)", "Speed(knot)", "Speed(km/h)"};
  for (int i = 0; i < 3; ++i) {
    QTest::mouseClick(heading, Qt::LeftButton);
    EXPECT_EQ(heading->text(), QLatin1String(expected[i]));
    EXPECT_EQ(state_->SpeedUnit, (i + 1) % 3);
  }
  state_->ButtonStop.Enabled = true;  // the output runs
  QTest::mouseClick(heading, Qt::LeftButton);
  EXPECT_EQ(state_->SpeedUnit, 0);
  EXPECT_EQ(heading->text(), QStringLiteral("Speed(km/h)"));
  state_->ButtonStop.Enabled = false;
}

// The custom prefix as stored, what the sixth buttons show at start-up and after
// each click on CHG.
struct ChgRow {
  const char* chgPrefix;
  int chgIndex;
  std::vector<const char*> captions;  // at start, then after each click
};
const ChgRow kChgRows[] = {
    {"BD,GQ,GI", 1, {"BD", "GQ", "GI", "BD"}},
    {"gpx,ab", 1, {"GP", "AB", "GP"}},
    {" BD , GQ", 1, {"BD", "GQ", "BD"}},
    {"BD,GQ,GI", 2, {"GQ", "GI"}},
    {"BD,GQ,GI", 7, {"BD", "GQ"}},
    {"", 1, {"", ""}},
    // Ten entries are kept; the eleventh and twelfth never show.
    {"P0,P1,P2,P3,P4,P5,P6,P7,P8,P9,QA,QB", 10, {"P9", "P0", "P1"}},
};

TEST_F(MainWindowTest, ChgCyclesTheCustomPrefix) {
  for (const ChgRow& row : kChgRows) {
    SCOPED_TRACE(std::string(row.chgPrefix) + " / " + std::to_string(row.chgIndex));
    WriteIni(IniPath(),
             QStringLiteral("[Option]\nChgPrefix=%1\nChgIndex=%2\n[Output]\nGGAprefix=6\n")
                 .arg(QLatin1String(row.chgPrefix))
                 .arg(row.chgIndex));
    Start();
    auto* chg = Find<ClickLabel>("LabelCHG");
    for (size_t i = 0; i < row.captions.size(); ++i) {
      if (i > 0) QTest::mouseClick(chg, Qt::LeftButton);
      const QString want = QLatin1String(row.captions[i]);
      for (const char* name : {"RadioButtonGGA_6", "RadioButtonRMC_6", "RadioButtonGNS_6"})
        EXPECT_EQ(Find<QRadioButton>(name)->text(), want) << name << " step " << i;
      EXPECT_TRUE(Find<QRadioButton>("RadioButtonGGA_6")->isChecked());
      EXPECT_EQ(QString::fromStdString(state_->TalkerPrefixText[sGGA]), QStringLiteral("$") + want);
    }
    form_.reset();
    QFile::remove(IniPath());
  }
}

TEST_F(MainWindowTest, CommandSwitchesPutTheFileInTheCaption) {
  const struct {
    QStringList args;
    const char* title;
  } rows[] = {
      {{}, "Fixcaster Ver3.00"},
      {{QStringLiteral("/C")}, "Fixcaster Ver3.00 (fixcaster.ini)"},
      {{QStringLiteral("/c")}, "Fixcaster Ver3.00 (fixcaster.ini)"},
      {{QStringLiteral("/CX")}, "Fixcaster Ver3.00"},
      {{QStringLiteral("C")}, "Fixcaster Ver3.00"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args.join(' ').toStdString());
    Start(row.args);
    EXPECT_EQ(form_->windowTitle(), QLatin1String(row.title));
    form_.reset();
  }
}

TEST_F(MainWindowTest, JumpButtonsFollowTheFirstVisibleRowOfAMillionRows) {
  WriteIni(IniPath(), QStringLiteral("[Option]\nTrackMax=1000000\n"));
  Start();
  auto* grid = Find<QTableView>("StringGrid1");
  EXPECT_EQ(grid->model()->rowCount(), 1000000);
  EXPECT_EQ(form_->TopRow(), 1);
  EXPECT_EQ(form_->JumpTarget(1), 1);
  EXPECT_EQ(form_->JumpTarget(9), 9);
  grid->verticalScrollBar()->setValue(4);
  EXPECT_EQ(form_->TopRow(), 5);
  EXPECT_EQ(form_->JumpTarget(1), 5);
  grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
  EXPECT_GT(form_->TopRow(), 999980);
  EXPECT_EQ(grid->model()->headerData(999999, Qt::Vertical).toString(), QStringLiteral("1000000"));
  // A cell typed far down lands in the core table.
  grid->model()->setData(grid->model()->index(999999, 3), QStringLiteral("12"));
  EXPECT_EQ(state_->StringGrid1.Cell(1000000, 4), "12");
}

TEST_F(MainWindowTest, ExitSavesTheSettings) {
  Start();
  Find<QCheckBox>("CheckBoxGLL")->setChecked(true);
  Find<QComboBox>("ComboBoxGSA")->setEditText(QStringLiteral("5"));
  Find<QPushButton>("ButtonExit")->click();
  EXPECT_FALSE(form_->isVisible());
  const QString ini = ReadIniText(IniPath());
  EXPECT_TRUE(ini.contains(QStringLiteral("GLLOut=1"))) << ini.toStdString();
  EXPECT_TRUE(ini.contains(QStringLiteral("GSAinter=5"))) << ini.toStdString();
}

// A settings file the user made read-only is not replaced; closing says so, in the
// interface language, and the window closes all the same.
TEST_F(MainWindowTest, ClosingOverAReadOnlySettingsFileSaysSoAndCloses) {
  const struct {
    QLocale locale;
    const char* text;
  } rows[] = {
      {QLocale(QLocale::English, QLocale::UnitedStates), "Settings file is read-only: "},
      {QLocale(QLocale::Japanese, QLocale::Japan), "設定ファイルは読み取り専用です: "},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.text);
    SetUserLocaleForTesting(&row.locale);
    WriteIni(IniPath(), QStringLiteral("[Output]\nGLLOut=0\n"));
    QFile::setPermissions(IniPath(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
    const QByteArray before = ReadAll(IniPath());
    Start();
    Find<QCheckBox>("CheckBoxGLL")->setChecked(true);
    ModalAnswerer answer;
    Find<QPushButton>("ButtonExit")->click();
    EXPECT_FALSE(form_->isVisible());
    EXPECT_EQ(answer.Texts().join(QLatin1Char('|')).toStdString(),
              (QString::fromUtf8(row.text) + IniPath()).toStdString());
    EXPECT_EQ(ReadAll(IniPath()), before);
    form_.reset();
    QFile::remove(IniPath());
  }
}

// The warning panel appears and goes in the right-hand column; nothing else may move
// or change size, while it shows or after it hid, in either language, at the design
// font size and a larger one, with the longest texts it carries.
TEST_F(MainWindowTest, WarningPanelMovesNothing) {
  const char* widgets[] = {"GroupBoxOutput", "GroupBoxData",  "GroupBoxCondition", "GroupBoxSerial",
                           "GroupBoxGSAGSV", "ButtonLoadCSV", "ButtonSaveCSV",     "ButtonLoad",
                           "LabelMonitor",   "ButtonExit"};
  auto layout = [&] {
    QCoreApplication::processEvents();
    form_->layout()->activate();
    std::string out;
    for (const char* name : widgets) {
      const QRect r = Find(name)->geometry();
      out += std::string(name) + " " + std::to_string(r.x()) + "," + std::to_string(r.y()) + " " +
             std::to_string(r.width()) + "x" + std::to_string(r.height()) + "\n";
    }
    return out;
  };
  const struct {
    QLocale locale;
    int fontSize;
  } rows[] = {
      {QLocale(QLocale::English, QLocale::UnitedStates), 8},
      {QLocale(QLocale::English, QLocale::UnitedStates), 11},
      {QLocale(QLocale::Japanese, QLocale::Japan), 8},
      {QLocale(QLocale::Japanese, QLocale::Japan), 11},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.locale.name().toStdString() + " " + std::to_string(row.fontSize));
    SetUserLocaleForTesting(&row.locale);
    WriteIni(IniPath(), QStringLiteral("[Option]\nEngFontName=DejaVu Sans\nEngFontSize=%1\n"
                                       "JpFontName=DejaVu Sans\nJpFontSize=%1\n")
                            .arg(row.fontSize));
    Start();
    const std::string before = layout();
    for (LoadWarning kind : {LoadWarning::Backlog, LoadWarning::CpuTooSlow}) {
      form_->Core().ShowWarning(kind, 2147483647);
      ASSERT_TRUE(Find("Panel1")->isVisible());
      EXPECT_EQ(layout(), before) << "while the panel shows";
      form_->Core().ShowWarning(kind, 5);  // a shorter text in the shown panel
      EXPECT_EQ(layout(), before) << "when its text changes";
      form_->Core().HideWarning();
      EXPECT_EQ(layout(), before) << "after the panel hid";
    }
    form_.reset();
  }
}

// Every grid heading fits its column, in either language and the window's font.
TEST_F(MainWindowTest, GridHeadingsFitTheirColumns) {
  const QLocale japan(QLocale::Japanese, QLocale::Japan);
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  for (const QLocale* locale : {&us, &japan}) {
    SCOPED_TRACE(locale->name().toStdString());
    SetUserLocaleForTesting(locale);
    Start();
    QHeaderView* header = Find<QTableView>("StringGrid1")->horizontalHeader();
    for (int c = 0; c < 4; ++c) {
      const QString text = header->model()->headerData(c, Qt::Horizontal).toString();
      SCOPED_TRACE(text.toStdString());
      QStyleOptionHeader option;
      option.initFrom(header);
      option.text = text;
      option.section = c;
      // What the style draws inside the section: the text within its margins.
      const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, &option, header);
      EXPECT_LE(header->fontMetrics().horizontalAdvance(text) + 2 * margin, header->sectionSize(c));
    }
    form_.reset();
  }
}

TEST_F(MainWindowTest, MonitorLabelShowsAndClosesTheMonitor) {
  Start();
  TFormNmeamon* monitor = form_->FormNmeamon();
  EXPECT_FALSE(monitor->isVisible());
  monitor->ShowTick(QStringLiteral("$GPGGA,hidden*00\r\n"));
  EXPECT_EQ(monitor->Text(), QString()) << "a hidden monitor is not written";
  auto* label = Find<ClickLabel>("LabelMonitor");
  QTest::mouseClick(label, Qt::LeftButton);
  EXPECT_TRUE(monitor->isVisible());
  EXPECT_EQ(monitor->windowTitle(), QStringLiteral("NMEA sentence"));
  monitor->ShowTick(QStringLiteral("$GPRMC,a*00\r\n$GPGGA,b*00\r\n"));
  monitor->ShowTick(QStringLiteral("$GPRMC,c*00\r\n$GPGGA,d*00\r\n"));
  EXPECT_EQ(monitor->Text(), QStringLiteral("$GPRMC,c*00\n$GPGGA,d*00\n")) << "one tick only";
  QTest::mouseClick(label, Qt::LeftButton);
  EXPECT_FALSE(monitor->isVisible());
  monitor->showMinimized();
  QTest::mouseClick(label, Qt::LeftButton);
  EXPECT_TRUE(monitor->isVisible());
  EXPECT_FALSE(monitor->isMinimized());
}

TEST_F(MainWindowTest, PresetEditorStoresOnClose) {
  Start();
  TFormGSAGSV* editor = form_->FormGSAGSV();
  auto* edit = Find<QPushButton>("ButtonEdit");
  edit->click();
  ASSERT_TRUE(editor->isVisible());
  EXPECT_EQ(editor->windowTitle(), QStringLiteral("GSA,GSV"));
  const QString factory = editor->Text();
  EXPECT_TRUE(factory.startsWith(QStringLiteral("$GPGSA"))) << factory.toStdString();
  // Preset 2 replaces the text while the window is open.
  Find<QRadioButton>("RadioButtonGSA2")->click();
  EXPECT_EQ(state_->CurrentPreset, 2);
  EXPECT_NE(editor->Text(), factory);

  const QString mine = QStringLiteral(
      "$GPGSA,A,3,01,02,03,,,,,,,,,,2.0,1.0,1.5\n"
      "$GPGSV,1,1,03,01,40,083,46,02,17,308,41,03,07,344,39,,,,");
  editor->Memo1()->setPlainText(mine);
  editor->resize(120, 300);  // wrapping on screen splits no line
  edit->click();
  EXPECT_FALSE(editor->isVisible());
  EXPECT_EQ(state_->PresetGsa[2][1], "$GPGSA,A,3,01,02,03,,,,,,,,,,2.0,1.0,1.5");
  EXPECT_EQ(state_->PresetGsa[2][2], "");
  EXPECT_EQ(state_->PresetGsv[2][1], "$GPGSV,1,1,03,01,40,083,46,02,17,308,41,03,07,344,39,,,,");
  EXPECT_EQ(state_->PresetGsv[2][2], "");
  EXPECT_EQ(state_->Satellites.SatsUsed1, 3);

  // Edits still open in the editor when the program ends are not stored.
  edit->click();
  editor->Memo1()->setPlainText(QStringLiteral("$GPGSA,A,3,09,,,,,,,,,,,,1.0,1.0,1.0"));
  Find<QPushButton>("ButtonExit")->click();
  EXPECT_EQ(state_->PresetGsa[2][1], "$GPGSA,A,3,01,02,03,,,,,,,,,,2.0,1.0,1.5");
  EXPECT_FALSE(ReadIniText(IniPath()).contains(QStringLiteral("A,3,09,")));
}

}  // namespace
}  // namespace fixcaster::ui::test
