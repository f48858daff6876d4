#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>

#include "core/date.hpp"
#include "core/recurring_schedule.hpp"
#include "core/state_paths.hpp"
#include "helper/log/log.hpp"

namespace nubrik {

// Why a schedule state was refused. what() is the default textual form (the case name).
class ScheduleStoreError : public std::runtime_error {
 public:
  enum class Kind { invalidSchedule, duplicateID, tooManySchedules };
  explicit ScheduleStoreError(Kind kind);
  Kind kind() const { return kind_; }
  bool operator==(const ScheduleStoreError& other) const { return kind_ == other.kind_; }

 private:
  Kind kind_;
};

// The user's schedules and the windows already taken up, in "schedules.json" beside the session
// file (mode 0600). Every operation runs inside a helper transaction; none takes a lock itself.
class ScheduleStore {
 public:
  static constexpr std::size_t maxSchedules = 20;

  // The clock names quarantined files.
  ScheduleStore(StatePaths paths, Clock clock, LogOperation log);

  // Never fails. A missing or unreadable file gives no schedules; an undecodable one is moved
  // aside as "schedules.corrupt.<unix seconds>[-<n>]". Invalid, duplicate and surplus schedules
  // are dropped (the file keeps them until the next save), and so are fired windows of schedules
  // that are not kept.
  ScheduleState load() const;

  // Refuses invalid schedules, repeated ids and more than maxSchedules (ScheduleStoreError, in
  // that order of checks), then replaces the file atomically; throws std::system_error when the
  // file cannot be written, and the previous file then stays in force.
  void save(const ScheduleState& state) const;

  // Records the start of the window that schedule `id` has taken up. Throws invalidSchedule
  // when no stored schedule has that id, or the errors of save().
  void recordFired(const std::string& id, Date windowStart) const;

 private:
  void quarantine() const;
  ScheduleState cleaned(ScheduleState state) const;

  StatePaths paths_;
  Clock clock_;
  LogOperation log_;
};

}  // namespace nubrik
