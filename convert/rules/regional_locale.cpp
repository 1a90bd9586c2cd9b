#include "regional_locale.h"

#include <QByteArray>
#include <QString>
#include <QTimeZone>
#include <QtGlobal>

#include <algorithm>

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
  const auto add = [](std::vector<std::string>& names, QString name) {
    while (name.endsWith(u'.')) name.chop(1);
    const std::string bytes = name.toUtf8().toStdString();
    if (!bytes.empty() && std::find(names.begin(), names.end(), bytes) == names.end()) {
      names.push_back(bytes);
    }
  };
  for (int m = 1; m <= 12; ++m) {
    for (QLocale::FormatType f : {QLocale::LongFormat, QLocale::ShortFormat}) {
      add(s.monthNames[static_cast<size_t>(m - 1)], locale.monthName(m, f));
      add(s.monthNames[static_cast<size_t>(m - 1)], locale.standaloneMonthName(m, f));
    }
  }
  for (int d = 1; d <= 7; ++d) {
    for (QLocale::FormatType f : {QLocale::LongFormat, QLocale::ShortFormat}) {
      add(s.dayNames, locale.dayName(d, f));
      add(s.dayNames, locale.standaloneDayName(d, f));
    }
  }
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
