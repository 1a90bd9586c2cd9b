#pragma once

#include <QLocale>

#include "regional.h"

namespace vantrelix {

// The regional settings a locale gives. The C and POSIX locales mean that no
// regional settings were chosen and give the defaults ("m/d/yy", "/", ":",
// ".", "am", "pm"). A separator that is not exactly one byte gives the default.
RegionalSettings RegionalSettingsFromLocale(const QLocale& locale);
// Dates and times from one locale, the decimal separator from another, as the
// LC_TIME and LC_NUMERIC categories may differ.
RegionalSettings RegionalSettingsFromLocales(const QLocale& timeLocale,
                                             const QLocale& numericLocale);

// The locale a category follows: LC_ALL, then the category's own variable,
// then LANG; unset, empty, "C" and "POSIX" give the C locale.
QLocale LocaleOfCategory(const char* categoryVariable);

// From the user's locale (LC_ALL, then LC_TIME / LC_NUMERIC, then LANG).
// Linux broadcasts no change of these; the application reads them again when
// Qt reports QEvent::LocaleChange.
RegionalSettings RegionalSettingsFromSystem();

}  // namespace vantrelix
