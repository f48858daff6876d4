#pragma once

#include <cctz/time_zone.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/date.hpp"

namespace nubrik {

// The four calendar operations that decide when a weekly window starts. Local times that a
// transition skips resolve to the first instant after the gap; local times that occur twice
// resolve to the earlier occurrence.
class Calendar {
 public:
  virtual ~Calendar() = default;

  // The first instant of the local day that contains `instant` (local midnight, or the
  // transition instant when midnight is skipped).
  virtual Date startOfDay(Date instant) const = 0;
  // The same wall-clock time `days` calendar days from `dayStart`, without wrapping; none when
  // it cannot be represented.
  virtual std::optional<Date> addingDays(std::int64_t days, Date dayStart) const = 0;
  // The local weekday of `instant`: 1 = Sunday, 2 = Monday, ... 7 = Saturday.
  virtual int weekday(Date instant) const = 0;
  // The instant on the local day of `day` whose wall-clock time is hour:minute:second; none for
  // components out of range or an instant that cannot be represented.
  virtual std::optional<Date> dateBySettingTime(int hour, int minute, int second,
                                                Date day) const = 0;
};

// A calendar fixed to one time zone.
class ZoneCalendar final : public Calendar {
 public:
  explicit ZoneCalendar(cctz::time_zone zone);

  // The zone of that name from the time-zone database ($TZDIR or /usr/share/zoneinfo), or a
  // path to a zone file; none when it cannot be loaded.
  static std::optional<ZoneCalendar> named(const std::string& name);

  const cctz::time_zone& zone() const { return zone_; }

  Date startOfDay(Date instant) const override;
  std::optional<Date> addingDays(std::int64_t days, Date dayStart) const override;
  int weekday(Date instant) const override;
  std::optional<Date> dateBySettingTime(int hour, int minute, int second, Date day) const override;

 private:
  cctz::time_zone zone_;
};

// A calendar in the system's current time zone, looked up afresh by every operation, so that a
// change of zone (TZ, or /etc/localtime) takes effect at the next call without a restart.
class SystemCalendar final : public Calendar {
 public:
  static constexpr const char* systemZoneLink = "/etc/localtime";

  // The system's zone is the one the link at zoneLink points at.
  explicit SystemCalendar(std::string zoneLink = systemZoneLink);

  // The zone in force now: TZ when set (a leading ':' ignored; "localtime" means the system
  // setting), else the zone the zone link points at; UTC when neither can be loaded.
  cctz::time_zone currentZone() const;

  Date startOfDay(Date instant) const override;
  std::optional<Date> addingDays(std::int64_t days, Date dayStart) const override;
  int weekday(Date instant) const override;
  std::optional<Date> dateBySettingTime(int hour, int minute, int second, Date day) const override;

 private:
  std::string zoneLink_;
};

// The production calendar: the system's, following its time zone.
std::shared_ptr<const Calendar> systemCalendar();

}  // namespace nubrik
