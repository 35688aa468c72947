#pragma once

#include <QLocale>
#include <QString>

class QTranslator;
class QWidget;

namespace fixcaster::ui {

// The interface is Japanese for Japanese in Japan and English everywhere else; there is
// no language setting. English is the source language of the translation files.
bool IsJapaneseLocale(const QLocale& locale);

// The locale the language is chosen from: the user's (QLocale::system()) unless a
// test has put another in its place.
QLocale UserLocale();
void SetUserLocaleForTesting(const QLocale* locale);

// Loads (Japanese) or removes (English) the compiled translation for `locale`.
// Returns true when Japanese texts are active afterwards.
bool InstallLanguage(const QLocale& locale);

// One text of the language table: the control (or message) it belongs to and its
// English text, which is also the translation key.
struct LanguageEntry {
  const char* name;
  const char* text;
};

// Captions set at every load; "StringGrid1.1" .. "StringGrid1.4" are the grid headings.
extern const LanguageEntry kCaptionTexts[];
extern const int kCaptionTextCount;
// Tooltips; "\r\n" in a text is a line break.
extern const LanguageEntry kHintTexts[];
extern const int kHintTextCount;

// Texts shown by the messages and labels of the run, the port and the files.
enum class Text {
  PleaseOpenPort,
  TooFewMovingPoints,
  BaudTooLow,
  SendBufferBefore,
  SendBufferAfter,
  LackOfCpuPower,
  LengthenPeriod,
  BadSerialSpeed,
  CannotOpenSerial,
  CannotOpenTcp,
  LatitudeRange,
  LongitudeRange,
  BadNumber,
  FileNotFound,
  FileNotCreated,
  SettingsReadOnly,
  SettingsNotSaved,
  SettingsTooLarge,
  SettingsLinkLoop,
  SpeedKmh,
  SpeedMph,
  SpeedKnot,
};
// The text in the active language.
QString LanguageText(Text id);
QString Translate(const char* englishText);

// The heading of the speed unit (0 km/h, 1 mph, 2 knot); empty for another unit.
QString SpeedHeading(int speedUnit);

}  // namespace fixcaster::ui
