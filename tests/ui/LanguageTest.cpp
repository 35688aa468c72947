#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTableView>

#include "UiFixture.h"
#include "ui/AuxWindows.h"
#include "ui/Placement.h"
#include "ui/RunCore.h"
#include "ui/Widgets.h"

namespace fixcaster::ui::test {
namespace {

TEST(LanguageChoice, JapaneseOnlyForJapaneseInJapan) {
  const struct {
    const char* locale;
    bool japanese;
  } rows[] = {
      {"ja_JP", true},  {"ja", true},     {"en_JP", false}, {"en_US", false},
      {"de_DE", false}, {"zh_CN", false}, {"C", false},
  };
  for (const auto& row : rows)
    EXPECT_EQ(IsJapaneseLocale(QLocale(QLatin1String(row.locale))), row.japanese) << row.locale;
}

// Every caption of the language table, in Japanese as the window must show it.
const struct {
  const char* control;
  const char* japanese;
} kJapaneseCaptions[] = {
    {"GroupBoxOutput", " NMEA出力 "},
    {"GroupBoxData", " コース設定 "},
    {"GroupBoxCondition", " 出力条件 "},
    {"GroupBoxSerial", " 出力 "},
    {"LabelCnt", "ポイント"},
    {"LabelTime1", "時刻(UTC)"},
    {"LabelLat1", "緯度"},
    {"LabelLon1", "経度"},
    {"LabelAlt1", "標高(m)"},
    {"LabelSpeed1", "速度(km/h)"},
    {"LabelPeriod", "出力周期"},
    {"LabelOut", "出力"},
    {"LabelInt", "インターバル"},
    {"LabelPrefix", "プリフィックス"},
    {"LabelPort", "出力ポート"},
    {"LabelTCPport", "TCPポート"},
    {"LabelBaud", "速度(bps)"},
    {"LabelGeoid", "ジオイド高"},
    {"LabelQuality", "GPS品質/モード表示"},
    {"LabelDegDec", "緯度経度小数"},
    {"LabelDegDig", "桁"},
    {"LabelTimeDec", "秒小数"},
    {"LabelTimeDig", "桁"},
    {"CheckBoxRMCprec", "RMC先行"},
};
const struct {
  const char* control;
  const char* japanese;
} kJapaneseHints[] = {
    {"ComboBoxNMEA", "NMEA Version\n  2.3: MODE付加\n  4.1: MODEとNavigation Status付加"},
    {"ComboBoxNavSt", "Navigation Status"},
    {"LabelSpeed1", "単位変更 km/h → mph → knot"},
    {"LabelMonitor", "NMEAセンテンスのモニタ表示"},
    {"ComboBoxDegDec", "緯度経度の分小数部分の桁数を指定"},
    {"ComboBoxTimeDec", "時刻の秒小数部分の桁数を指定"},
    {"LabelReport", "距離と所要時間（現スパン／総合計）"},
    {"CheckBoxRep", "繰り返し出力"},
    {"CheckBoxRMCprec", "RMCがGGAに先行する"},
    {"LabelCHG", "プリフィックス文字列を変更する"},
};

QString Caption(QWidget* w) {
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  return {};
}

using LanguageTest = UiFixture;

TEST_F(LanguageTest, JapaneseLocaleShowsEveryTextInJapanese) {
  const QLocale japan(QLocale::Japanese, QLocale::Japan);
  SetUserLocaleForTesting(&japan);
  Start();
  EXPECT_TRUE(form_->Japanese());
  for (const auto& row : kJapaneseCaptions)
    EXPECT_EQ(Caption(Find(row.control)), QString::fromUtf8(row.japanese)) << row.control;
  for (const auto& row : kJapaneseHints)
    EXPECT_EQ(Find(row.control)->toolTip(), QString::fromUtf8(row.japanese)) << row.control;
  QAbstractItemModel* grid = Find<QTableView>("StringGrid1")->model();
  const char* headings[] = {" 緯度", " 経度", " 標高", " 速度"};
  for (int c = 0; c < 4; ++c)
    EXPECT_EQ(grid->headerData(c, Qt::Horizontal).toString(), QString::fromUtf8(headings[c]));
  // Captions outside the table stay as designed.
  EXPECT_EQ(Caption(Find("ButtonStart")), QStringLiteral("Start"));
  EXPECT_EQ(Caption(Find("LabelCHG")), QStringLiteral("CHG"));
  EXPECT_EQ(form_->FormNmeamon()->windowTitle(), QStringLiteral("NMEA sentence"));

  // Messages and the speed headings too.
  ModalAnswerer answer;
  Find<QPushButton>("ButtonStart")->click();
  EXPECT_EQ(answer.Texts(),
            QStringList{QString::fromUtf8("RS-232CまたはTCPをオープンしてください")});
  QTest::mouseClick(Find<ClickLabel>("LabelSpeed1"), Qt::LeftButton);
  EXPECT_EQ(Caption(Find("LabelSpeed1")), QString::fromUtf8("速度(mph)"));

  // The language is chosen again at every load.
  SetUserLocaleForTesting(nullptr);
  const QLocale us(QLocale::English, QLocale::UnitedStates);
  SetUserLocaleForTesting(&us);
  form_->Core().LoadSettings();
  EXPECT_FALSE(form_->Japanese());
  EXPECT_EQ(Caption(Find("GroupBoxData")), QStringLiteral(" Track setting "));
  EXPECT_EQ(Caption(Find("LabelSpeed1")), QStringLiteral("Speed(mph)"));
}

// Qt's own texts follow the interface language: the buttons of a message box and
// the labels of the file dialog.
TEST_F(LanguageTest, QtsOwnDialogsFollowTheLanguage) {
  const struct {
    QLocale locale;
    QStringList buttons;  // sorted
    const char* lookIn;   // the file dialog's label over the folder box
  } rows[] = {
      {QLocale(QLocale::Japanese, QLocale::Japan),
       {QString::fromUtf8("いいえ(&N)"), QString::fromUtf8("はい(&Y)")},
       "アドレス:"},
      {QLocale(QLocale::English, QLocale::UnitedStates),
       {QStringLiteral("&No"), QStringLiteral("&Yes")},
       "Look in:"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.locale.name().toStdString());
    SetUserLocaleForTesting(&row.locale);
    Start();
    QString lookIn;
    ModalAnswerer answer(QMessageBox::No, [&](QDialog* dialog) {
      if (auto* label = dialog->findChild<QLabel*>(QStringLiteral("lookInLabel")))
        lookIn = label->text();
      dialog->reject();
    });
    ShowMessage(QStringLiteral("?"), MessageKind::Confirmation, QMessageBox::Yes | QMessageBox::No);
    ASSERT_EQ(answer.Boxes().size(), 1u);
    QStringList buttons = answer.Boxes()[0].buttons;
    buttons.sort();
    EXPECT_EQ(buttons.join(QLatin1Char('|')).toStdString(),
              row.buttons.join(QLatin1Char('|')).toStdString());
    Find<QPushButton>("ButtonLoad")->click();
    EXPECT_EQ(lookIn.toStdString(), row.lookIn);
    form_.reset();
  }
}

TEST_F(LanguageTest, FontsComeFromTheSettingsWithAFallback) {
  const struct {
    const char* name;
    int size;
    bool installed;
  } rows[] = {
      {"DejaVu Serif", 11, true},
      {"Tahoma", 8, false},  // not on this system: the platform's sans-serif
      {"No Such Font", 9, false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    // fonts-dejavu-core is among the build's packages.
    ASSERT_EQ(QFontDatabase::families().contains(QLatin1String(row.name)), row.installed);
    WriteIni(IniPath(), QStringLiteral("[Option]\nEngFontName=%1\nEngFontSize=%2\n")
                            .arg(QLatin1String(row.name))
                            .arg(row.size));
    Start();
    const QFont font = form_->font();
    EXPECT_EQ(font.pointSize(), row.size);
    if (row.installed)
      EXPECT_EQ(font.family(), QLatin1String(row.name));
    else
      EXPECT_TRUE(QFontDatabase::families().contains(font.family())) << font.family().toStdString();
    EXPECT_EQ(form_->FormNmeamon()->font().family(), font.family());
    // The stored name is kept for the next save, installed or not.
    EXPECT_EQ(state_->EngFontName, row.name);
    form_.reset();
  }
}

}  // namespace
}  // namespace fixcaster::ui::test
