#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "app/login_item.hpp"
#include "app/main_queue.hpp"
#include "app/schedule_outcomes.hpp"
#include "app/session_client.hpp"
#include "core/recurring_schedule.hpp"

namespace nubrik {

struct LoginItemSyncDependencies {
  // Where what was done is reported.
  MainQueue* mainQueue = nullptr;
  // Runs jobs one at a time, in order, away from the main queue; the login item is changed only
  // there, so two synchronisations never interleave.
  std::function<void(std::function<void()> job)> runSerially;
  LoginItemDependencies loginItem;
  // The helper's schedules; the completion runs on the main queue.
  std::function<void(std::function<void(ScheduleLoadOutcome)> completion)> fetchSchedules;
};

// Keeps the app's start at login in step with the schedules: on while any schedule is enabled,
// off when none is, and left alone otherwise.
class LoginItemSync {
 public:
  using Applied = std::function<void(LoginItemAction action)>;

  explicit LoginItemSync(LoginItemSyncDependencies dependencies);
  // The XDG autostart entry, changed on a worker thread of its own, and the schedules from the
  // helper with the request time-out. mainQueue must outlive the worker, which stops when the
  // last copy of the returned value goes.
  static LoginItemSync production(MainQueue& mainQueue, SessionClient client);

  // Applies the schedules to the login item; `applied`, when given, learns on the main queue what
  // was done (a failed change counts as done and is retried by the next synchronisation).
  void sync(std::vector<RecurringSchedule> schedules, Applied applied = {}) const;
  // Loads the schedules from the helper and syncs with them. Does nothing while the helper's
  // status is unavailable, nor when the schedules cannot be loaded.
  void syncFromHelper(bool helperStatusAvailable, Applied applied = {}) const;

 private:
  std::shared_ptr<const LoginItemSyncDependencies> dependencies_;
};

}  // namespace nubrik
