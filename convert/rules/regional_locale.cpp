#include "regional_locale.h"

#include <QByteArray>
#include <QString>
#include <QTimeZone>
#include <QtGlobal>

namespace vantrelix {

namespace {

bool IsPatternLetter(QChar c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

// The literal text between the first two of the fields `fields` in a Qt date
// or time pattern, as one byte: a longer or missing separator gives the
// fallback, an empty one NUL. Other fields (designators "AP", "B", era and
// day names) are no part of it: taking them for a field of the number would
// give an empty separator, and no time would ever be read.
char SeparatorBetweenFields(const QString& pattern, QStringView fields, char fallback) {
  QString literal;
  bool quoted = false;
  bool afterFirst = false;
  qsizetype i = 0;
  while (i < pattern.size()) {
    const QChar c = pattern[i];
    if (c == u'\'') {  // quoted text is words ("HH 'h' mm"), never a separator
      qsizetype end = i + 1;
      while (end < pattern.size() && pattern[end] != u'\'') ++end;
      quoted = true;
      i = end + 1;
      continue;
    }
    if (!IsPatternLetter(c)) {
      literal += c;
      ++i;
      continue;
    }
    qsizetype end = i;
    while (end < pattern.size() && pattern[end] == c) ++end;
    i = end;
    const bool wanted = fields.contains(c);
    if (afterFirst) {
      if (!wanted || quoted) return fallback;  // words or another field between the numbers
      const QByteArray separator = literal.toLocal8Bit();
      if (separator.isEmpty()) return '\0';
      return separator.size() == 1 ? separator[0] : fallback;
    }
    if (wanted) afterFirst = true;
    literal.clear();
    quoted = false;
  }
  return fallback;  // fewer than two of the fields
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
  s.dateSeparatorChar = SeparatorBetweenFields(datePattern, u"dMy", s.dateSeparatorChar);
  s.timeSeparatorChar =
      SeparatorBetweenFields(locale.timeFormat(QLocale::ShortFormat), u"hHm", s.timeSeparatorChar);
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
  RegionalSettings settings =
      RegionalSettingsFromLocales(LocaleOfCategory("LC_TIME"), LocaleOfCategory("LC_NUMERIC"));
  settings.timeZone = QTimeZone::systemTimeZoneId().toStdString();
  return settings;
}

}  // namespace vantrelix
