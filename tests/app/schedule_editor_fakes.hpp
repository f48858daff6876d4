#pragma once

#include <cctz/time_zone.h>

#include <memory>
#include <string>
#include <vector>

#include "app/schedule_editor.hpp"
#include "core/calendar.hpp"

namespace nubrik::test {

// Sunday 2026-03-01, 03:00 UTC: no window of the tests' schedules is open.
inline const Date quietTime = dateFromUnixSeconds(1772334000);
// Monday 2026-03-02, 09:20 UTC: a Monday window from 09:00 for an hour is open.
inline const Date mondayMorning = dateFromUnixSeconds(1772443200);

// The schedule editor's helper as a test sees it, on the UTC calendar with a clock the test
// sets. Loads and saves wait until the test answers them; every list sent to the helper and every
// login-item synchronisation is recorded, and new schedules are numbered NEW-1, NEW-2, ...
// The dependencies point back at this object, so it stays where it was made.
struct ScheduleEditorFakes {
  using List = std::vector<RecurringSchedule>;

  ScheduleEditorFakes() = default;
  ScheduleEditorFakes(const ScheduleEditorFakes&) = delete;
  ScheduleEditorFakes& operator=(const ScheduleEditorFakes&) = delete;

  Date now = quietTime;
  int ids = 0;
  std::vector<ScheduleEditorDependencies::LoadCompletion> loads;
  std::vector<ScheduleEditorDependencies::SaveCompletion> saves;
  std::vector<List> sent;
  std::vector<List> synced;

  ScheduleEditorDependencies dependencies() {
    ScheduleEditorDependencies deps;
    deps.fetchSchedules = [this](ScheduleEditorDependencies::LoadCompletion completion) {
      loads.push_back(std::move(completion));
    };
    deps.saveSchedules = [this](const List& list,
                                ScheduleEditorDependencies::SaveCompletion completion) {
      sent.push_back(list);
      saves.push_back(std::move(completion));
    };
    deps.now = [this] { return now; };
    deps.calendar = std::make_shared<ZoneCalendar>(cctz::utc_time_zone());
    deps.newID = [this] { return "NEW-" + std::to_string(++ids); };
    deps.syncLoginItem = [this](const List& list) { synced.push_back(list); };
    return deps;
  }
};

}  // namespace nubrik::test
