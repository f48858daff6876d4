#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>

#include "app/schedule_editing.hpp"
#include "app/ui/sheet.hpp"

class QLabel;

// Small pieces shared by the schedules sheet, its rows and its edit form.
namespace nubrik {

// What the schedules sheet takes from the user's locale: the short weekday names and the first
// day of the week, in the numbering of a schedule (1 = Sunday ... 7 = Saturday).
CalendarLocale calendarLocale(const QLocale& locale);

// A minute of the day in the locale's short time format ("9:00 AM", "09:00"); hours and minutes
// for the C locale, whose short format has seconds.
MinuteString localeMinuteString(const QLocale& locale);

// The locale's full name of a weekday 1 ... 7, for screen readers.
QString longWeekdayName(const QLocale& locale, std::int64_t weekday);

// Shows a label's text in the colour of an error, readable on light and dark windows alike;
// `error` false gives it the window's text colour back.
void showAsError(QLabel* label, bool error = true);

// Text from the logic's UTF-8 strings.
inline QString qtText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace nubrik
