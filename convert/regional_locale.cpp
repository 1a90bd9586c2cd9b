#include "regional_locale.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace vantrelix {

namespace {

bool IsPatternLetter(QChar c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The text between the first two fields of a Qt date or time pattern, as one
// byte: a longer or missing separator gives the fallback, an empty one NUL.
char SeparatorBetweenFirstFields(const QString& pattern, char fallback) {
  qsizetype i = 0;
  while (i < pattern.size() && !IsPatternLetter(pattern[i])) ++i;
  if (i == pattern.size()) return fallback;
  const QChar field = pattern[i];
  while (i < pattern.size() && pattern[i] == field) ++i;
  const qsizetype start = i;
  while (i < pattern.size() && !IsPatternLetter(pattern[i])) ++i;
  if (i == pattern.size()) return fallback;  // only one field
  const QByteArray separator = pattern.mid(start, i - start).toLocal8Bit();
  if (separator.isEmpty()) return '\0';
  return separator.size() == 1 && separator[0] != '\'' ? separator[0] : fallback;
}

char SingleByte(const QString& text, char fallback) {
  const QByteArray bytes = text.toLocal8Bit();
  return bytes.size() == 1 ? bytes[0] : fallback;
}

}  // namespace

RegionalSettings RegionalSettingsFromLocale(const QLocale& locale) {
  return RegionalSettingsFromLocales(locale, locale);
}

RegionalSettings RegionalSettingsFromLocales(const QLocale& locale, const QLocale& numeric) {
  RegionalSettings s;
  if (numeric.language() != QLocale::C) {
    s.decimalSeparatorChar = SingleByte(numeric.decimalPoint(), s.decimalSeparatorChar);
  }
  if (locale.language() == QLocale::C) return s;
  s.localeName = locale.name().toStdString();

  const QString datePattern = locale.dateFormat(QLocale::ShortFormat);
  if (!datePattern.isEmpty()) s.shortDatePattern = datePattern.toLocal8Bit().toStdString();
  s.dateSeparatorChar = SeparatorBetweenFirstFields(datePattern, s.dateSeparatorChar);
  s.timeSeparatorChar =
      SeparatorBetweenFirstFields(locale.timeFormat(QLocale::ShortFormat), s.timeSeparatorChar);
  s.amText = locale.amText().toLocal8Bit().toStdString();
  s.pmText = locale.pmText().toLocal8Bit().toStdString();
  s.koreanLocale = locale.language() == QLocale::Korean;
  return s;
}

QLocale LocaleOfCategory(const char* categoryVariable) {
  for (const char* variable : {"LC_ALL", categoryVariable, "LANG"}) {
    const QByteArray value = qgetenv(variable);
    if (value.isEmpty()) continue;
    if (value == "C" || value == "POSIX" || value.startsWith("C.")) return QLocale::c();
    return QLocale(QString::fromLocal8Bit(value));
  }
  return QLocale::c();
}

RegionalSettings RegionalSettingsFromSystem() {
  return RegionalSettingsFromLocales(LocaleOfCategory("LC_TIME"), LocaleOfCategory("LC_NUMERIC"));
}

}  // namespace vantrelix
