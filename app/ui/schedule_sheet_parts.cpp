#include "app/ui/schedule_sheet_parts.hpp"

#include <QLabel>
#include <QTime>

#include "app/ui/screen_parts.hpp"

namespace nubrik {

namespace {

// Qt counts Monday = 1 ... Sunday = 7; a schedule counts Sunday = 1 ... Saturday = 7.
int qtDayOfWeek(std::int64_t weekday) {
  return weekday == 1 ? 7 : static_cast<int>(weekday - 1);
}

}  // namespace

CalendarLocale calendarLocale(const QLocale& locale) {
  CalendarLocale result;
  for (int weekday = 1; weekday <= 7; ++weekday) {
    result.shortWeekdayNames[static_cast<std::size_t>(weekday - 1)] =
        locale.dayName(qtDayOfWeek(weekday), QLocale::ShortFormat).toStdString();
  }
  result.firstWeekday = static_cast<int>(locale.firstDayOfWeek()) % 7 + 1;
  return result;
}

MinuteString localeMinuteString(const QLocale& locale) {
  return [locale](std::int64_t minute) {
    const TimeOfDay time = scheduleTimeOfDay(minute);
    return shortTimeText(locale, QTime(time.hour, time.minute)).toStdString();
  };
}

void showAsError(QLabel* label, bool error) {
  if (!error) {
    // A palette that sets nothing inherits everything again.
    label->setPalette(QPalette());
    return;
  }
  QPalette palette = label->palette();
  palette.setColor(QPalette::WindowText, QColor(0xD7, 0x30, 0x2A));
  label->setPalette(palette);
}

QString longWeekdayName(const QLocale& locale, std::int64_t weekday) {
  if (weekday < 1 || weekday > 7) return {};
  return locale.dayName(qtDayOfWeek(weekday), QLocale::LongFormat);
}

}  // namespace nubrik
