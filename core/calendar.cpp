#include "core/calendar.hpp"

#include <cctz/civil_time.h>

#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <utility>

namespace nubrik {

namespace {

using SysSeconds = cctz::time_point<cctz::seconds>;

// A Date counts nanoseconds in 64 bits (up to about 9.22e9 seconds either side of 1970). Results
// stay a few days inside that, so that a window of up to a day can be added to them safely.
constexpr std::int64_t representableSeconds = 9'223'000'000;
// Far more days than any caller asks for, and few enough that civil arithmetic cannot overflow.
constexpr std::int64_t maximumDayOffset = 1'000'000;

std::optional<Date> toDate(SysSeconds instant) {
  const std::int64_t seconds = instant.time_since_epoch().count();
  if (seconds < -representableSeconds || seconds > representableSeconds) return std::nullopt;
  return Date(std::chrono::duration_cast<Date::duration>(instant.time_since_epoch()));
}

// Skipped local times take the first instant after the gap, repeated ones the earlier of the
// two instants.
SysSeconds resolve(const cctz::time_zone& zone, const cctz::civil_second& local) {
  const cctz::time_zone::civil_lookup found = zone.lookup(local);
  return found.kind == cctz::time_zone::civil_lookup::SKIPPED ? found.trans : found.pre;
}

cctz::civil_second localTime(const cctz::time_zone& zone, Date instant) {
  return cctz::convert(instant, zone);
}

cctz::time_zone loadOrUTC(const std::string& name) {
  cctz::time_zone zone;
  if (!cctz::load_time_zone(name, &zone)) return cctz::utc_time_zone();
  return zone;
}

}  // namespace

ZoneCalendar::ZoneCalendar(cctz::time_zone zone) : zone_(zone) {}

std::optional<ZoneCalendar> ZoneCalendar::named(const std::string& name) {
  cctz::time_zone zone;
  if (!cctz::load_time_zone(name, &zone)) return std::nullopt;
  return ZoneCalendar(zone);
}

Date ZoneCalendar::startOfDay(Date instant) const {
  const cctz::civil_day day(localTime(zone_, instant));
  if (const std::optional<Date> start = toDate(resolve(zone_, cctz::civil_second(day)))) {
    return *start;
  }
  // Only at the very ends of the representable range.
  return instant;
}

std::optional<Date> ZoneCalendar::addingDays(std::int64_t days, Date dayStart) const {
  if (days < -maximumDayOffset || days > maximumDayOffset) return std::nullopt;
  const cctz::civil_second local = localTime(zone_, dayStart);
  const cctz::civil_day day = cctz::civil_day(local) + days;
  return toDate(resolve(zone_, cctz::civil_second(day.year(), day.month(), day.day(), local.hour(),
                                                  local.minute(), local.second())));
}

int ZoneCalendar::weekday(Date instant) const {
  // cctz counts from Monday (0) to Sunday (6); the schedules count from Sunday (1).
  const auto fromMonday =
      static_cast<int>(cctz::get_weekday(cctz::civil_day(localTime(zone_, instant))));
  return (fromMonday + 1) % 7 + 1;
}

std::optional<Date> ZoneCalendar::dateBySettingTime(int hour, int minute, int second,
                                                    Date day) const {
  // No wrapping: 24:00 is not the next midnight here.
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return std::nullopt;
  }
  const cctz::civil_day local(localTime(zone_, day));
  return toDate(resolve(
      zone_, cctz::civil_second(local.year(), local.month(), local.day(), hour, minute, second)));
}

SystemCalendar::SystemCalendar(std::string zoneLink) : zoneLink_(std::move(zoneLink)) {}

cctz::time_zone SystemCalendar::currentZone() const {
  // Read on every call rather than once: an administrator may change the zone while the daemon
  // runs, and a schedule is meant to follow the wall clock the user sees.
  if (const char* variable = std::getenv("TZ"); variable != nullptr) {
    std::string_view name(variable);
    if (!name.empty() && name.front() == ':') name.remove_prefix(1);
    if (name != "localtime") return loadOrUTC(std::string(name));
  }
  // cctz keeps every zone it has loaded under the name it was asked for, so loading
  // "/etc/localtime" again would keep answering with the first zone it found there. The link's
  // target names the zone itself, and a new target is a new name. (A copied file instead of the
  // link, which neither systemd nor tzdata installs, is therefore read once per process.)
  std::error_code error;
  const std::filesystem::path target = std::filesystem::canonical(zoneLink_, error);
  if (!error) return loadOrUTC(target.string());
  return loadOrUTC(zoneLink_);
}

Date SystemCalendar::startOfDay(Date instant) const {
  return ZoneCalendar(currentZone()).startOfDay(instant);
}

std::optional<Date> SystemCalendar::addingDays(std::int64_t days, Date dayStart) const {
  return ZoneCalendar(currentZone()).addingDays(days, dayStart);
}

int SystemCalendar::weekday(Date instant) const {
  return ZoneCalendar(currentZone()).weekday(instant);
}

std::optional<Date> SystemCalendar::dateBySettingTime(int hour, int minute, int second,
                                                      Date day) const {
  return ZoneCalendar(currentZone()).dateBySettingTime(hour, minute, second, day);
}

std::shared_ptr<const Calendar> systemCalendar() {
  return std::make_shared<SystemCalendar>();
}

}  // namespace nubrik
