#include "ui/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace fixcaster::ui {

namespace {
constexpr const char* kContext = "FormMain";

// One translator for the program's texts and one for Qt's own (the buttons of the
// message boxes, the file dialogs), installed while Japanese is active.
QTranslator* g_translator = nullptr;
QTranslator* g_qtTranslator = nullptr;
bool g_localeOverridden = false;
QLocale g_localeOverride;
}  // namespace

QLocale UserLocale() {
  return g_localeOverridden ? g_localeOverride : QLocale::system();
}

void SetUserLocaleForTesting(const QLocale* locale) {
  g_localeOverridden = locale != nullptr;
  if (locale) g_localeOverride = *locale;
}

bool IsJapaneseLocale(const QLocale& locale) {
  return locale.language() == QLocale::Japanese && locale.territory() == QLocale::Japan;
}

bool InstallLanguage(const QLocale& locale) {
  const bool japanese = IsJapaneseLocale(locale);
  if (!g_translator) g_translator = new QTranslator(QCoreApplication::instance());
  if (!g_qtTranslator) g_qtTranslator = new QTranslator(QCoreApplication::instance());
  QCoreApplication::removeTranslator(g_translator);
  QCoreApplication::removeTranslator(g_qtTranslator);
  if (!japanese) return false;
  if (!g_translator->load(QStringLiteral(":/i18n/fixcaster_ja.qm"))) return false;
  // Qt's translations come with the system (qt6-translations-l10n); without them
  // Qt's dialogs stay English and the rest of the window is Japanese all the same.
  if (g_qtTranslator->load(QStringLiteral("qtbase_ja"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
    QCoreApplication::installTranslator(g_qtTranslator);
  return QCoreApplication::installTranslator(g_translator);
}

const LanguageEntry kCaptionTexts[] = {
    {"GroupBoxOutput", QT_TRANSLATE_NOOP("FormMain", " NMEA Output ")},
    {"GroupBoxData", QT_TRANSLATE_NOOP("FormMain", " Track setting ")},
    {"GroupBoxCondition", QT_TRANSLATE_NOOP("FormMain", " Output condition ")},
    {"GroupBoxSerial", QT_TRANSLATE_NOOP("FormMain", " Output ")},
    {"LabelCnt", QT_TRANSLATE_NOOP("FormMain", "Point")},
    {"LabelTime1", QT_TRANSLATE_NOOP("FormMain", "Time(UTC)")},
    {"LabelLat1", QT_TRANSLATE_NOOP("FormMain", "Latitude")},
    {"LabelLon1", QT_TRANSLATE_NOOP("FormMain", "Longitude")},
    {"LabelAlt1", QT_TRANSLATE_NOOP("FormMain", "Altitude(m)")},
    {"LabelSpeed1", QT_TRANSLATE_NOOP("FormMain", "Speed(km/h)")},
    {"StringGrid1.1", QT_TRANSLATE_NOOP("FormMain", " Latitude")},
    {"StringGrid1.2", QT_TRANSLATE_NOOP("FormMain", " Longitude")},
    {"StringGrid1.3", QT_TRANSLATE_NOOP("FormMain", " Altitude")},
    {"StringGrid1.4", QT_TRANSLATE_NOOP("FormMain", " Speed")},
    {"LabelPeriod", QT_TRANSLATE_NOOP("FormMain", "Period")},
    {"LabelOut", QT_TRANSLATE_NOOP("FormMain", "Output")},
    {"LabelInt", QT_TRANSLATE_NOOP("FormMain", "Interval")},
    {"LabelPrefix", QT_TRANSLATE_NOOP("FormMain", "Prefix")},
    {"LabelPort", QT_TRANSLATE_NOOP("FormMain", "Output port")},
    {"LabelTCPport", QT_TRANSLATE_NOOP("FormMain", "TCP port")},
    {"LabelBaud", QT_TRANSLATE_NOOP("FormMain", "Speed(bps)")},
    {"LabelGeoid", QT_TRANSLATE_NOOP("FormMain", "Geoid")},
    {"LabelQuality", QT_TRANSLATE_NOOP("FormMain", "GPS Quality/Mode Indicator")},
    {"LabelDegDec", QT_TRANSLATE_NOOP("FormMain", "Lat/Lon dec.")},
    {"LabelDegDig", QT_TRANSLATE_NOOP("FormMain", "digit")},
    {"LabelTimeDec", QT_TRANSLATE_NOOP("FormMain", "Second dec.")},
    {"LabelTimeDig", QT_TRANSLATE_NOOP("FormMain", "digit")},
    {"CheckBoxRMCprec", QT_TRANSLATE_NOOP("FormMain", "RMC precede")},
};
const int kCaptionTextCount = int(std::size(kCaptionTexts));

const LanguageEntry kHintTexts[] = {
    {"ComboBoxNMEA",
     QT_TRANSLATE_NOOP(
         "FormMain", "NMEA Version\r\n  2.3: With MODE\r\n  4.1: With MODE and Navigation Status")},
    {"ComboBoxNavSt", QT_TRANSLATE_NOOP("FormMain", "Navigation Status")},
    {"LabelSpeed1", QT_TRANSLATE_NOOP("FormMain", "Change to km/h -> mph -> knot")},
    {"LabelMonitor", QT_TRANSLATE_NOOP("FormMain", "Monitor display of NMEA sentence")},
    {"ComboBoxDegDec",
     QT_TRANSLATE_NOOP("FormMain", "Digits of decimal parts in the Latitude and Longitude")},
    {"ComboBoxTimeDec", QT_TRANSLATE_NOOP("FormMain", "Digit number at less than second of time")},
    {"LabelReport",
     QT_TRANSLATE_NOOP("FormMain", "Distance and Time required (current span/total)")},
    {"CheckBoxRep", QT_TRANSLATE_NOOP("FormMain", "Repetition output")},
    {"CheckBoxRMCprec", QT_TRANSLATE_NOOP("FormMain", "RMC precedes GGA")},
    {"LabelCHG", QT_TRANSLATE_NOOP("FormMain", "Change the prefix string")},
};
const int kHintTextCount = int(std::size(kHintTexts));

namespace {
// Indexed by Text.
const char* const kMessageTexts[] = {
    QT_TRANSLATE_NOOP("FormMain", "Please open RS-232C or TCP"),
    QT_TRANSLATE_NOOP("FormMain", "More than 2 tracks with speed greater than zero are required"),
    QT_TRANSLATE_NOOP("FormMain", "Baud rate is too low"),
    QT_TRANSLATE_NOOP("FormMain", "Remaining of Send buffer: "),
    QT_TRANSLATE_NOOP("FormMain", "Bytes"),
    QT_TRANSLATE_NOOP("FormMain", "Lack of CPU power"),
    QT_TRANSLATE_NOOP("FormMain", "Please lengthen an output period"),
    QT_TRANSLATE_NOOP("FormMain", "Communication speed of the RS-232C is invalid"),
    QT_TRANSLATE_NOOP("FormMain", "Cannot open serial port: "),
    QT_TRANSLATE_NOOP("FormMain", "TCP server can not be opened"),
    QT_TRANSLATE_NOOP("FormMain", "Latitude exceeds +-90˚"),
    QT_TRANSLATE_NOOP("FormMain", "Longitude exceeds +-180˚"),
    QT_TRANSLATE_NOOP("FormMain", "Format of the numerical value is illegal"),
    QT_TRANSLATE_NOOP("FormMain", "File not Found: "),
    QT_TRANSLATE_NOOP("FormMain", "File could not be created"),
    QT_TRANSLATE_NOOP("FormMain", "Settings file is read-only: "),
    QT_TRANSLATE_NOOP("FormMain", "Settings could not be saved: "),
    QT_TRANSLATE_NOOP("FormMain",
                      "Settings file is larger than 1 GiB; it is neither read nor written: "),
    QT_TRANSLATE_NOOP("FormMain", "Settings file is a loop of symbolic links: "),
    QT_TRANSLATE_NOOP("FormMain", "Speed(km/h)"),
    QT_TRANSLATE_NOOP("FormMain", "Speed(mph)"),
    QT_TRANSLATE_NOOP("FormMain", "Speed(knot)"),
};
static_assert(std::size(kMessageTexts) == size_t(Text::SpeedKnot) + 1);
}  // namespace

QString Translate(const char* englishText) {
  return QCoreApplication::translate(kContext, englishText);
}

QString LanguageText(Text id) {
  return Translate(kMessageTexts[int(id)]);
}

QString SpeedHeading(int speedUnit) {
  switch (speedUnit) {
    case 0:
      return LanguageText(Text::SpeedKmh);
    case 1:
      return LanguageText(Text::SpeedMph);
    case 2:
      return LanguageText(Text::SpeedKnot);
    default:
      return {};
  }
}

}  // namespace fixcaster::ui
