#include "app/login_item_sync.hpp"

#include <utility>

#include "app/helper_setup_worker.hpp"
#include "app/login_item_autostart.hpp"

namespace nubrik {

LoginItemSync::LoginItemSync(LoginItemSyncDependencies dependencies)
    : dependencies_(std::make_shared<const LoginItemSyncDependencies>(std::move(dependencies))) {}

LoginItemSync LoginItemSync::production(MainQueue& mainQueue, SessionClient client) {
  auto worker = std::make_shared<SerialWorker>();
  auto sharedClient = std::make_shared<const SessionClient>(std::move(client));
  LoginItemSyncDependencies deps;
  deps.mainQueue = &mainQueue;
  deps.runSerially = [worker](std::function<void()> job) { worker->post(std::move(job)); };
  deps.loginItem = productionLoginItem();
  deps.fetchSchedules = [sharedClient](std::function<void(ScheduleLoadOutcome)> completion) {
    sharedClient->fetchSchedules(SessionClient::xpcRequestTimeout, std::move(completion));
  };
  return LoginItemSync(std::move(deps));
}

void LoginItemSync::sync(std::vector<RecurringSchedule> schedules, Applied applied) const {
  // The job holds the operations, not the worker, so the last owner is never the worker itself.
  dependencies_->runSerially(
      [queue = dependencies_->mainQueue, loginItem = dependencies_->loginItem,
       schedules = std::move(schedules), applied = std::move(applied)]() mutable {
        const LoginItemAction action = applyLoginItem(schedules, loginItem);
        if (!applied) return;
        queue->post([applied = std::move(applied), action] { applied(action); });
      });
}

void LoginItemSync::syncFromHelper(bool helperStatusAvailable, Applied applied) const {
  if (!helperStatusAvailable) return;
  dependencies_->fetchSchedules(
      [self = *this, applied = std::move(applied)](ScheduleLoadOutcome outcome) mutable {
        if (outcome.kind != ScheduleLoadOutcome::Kind::loaded) return;
        self.sync(std::move(outcome.schedules), std::move(applied));
      });
}

}  // namespace nubrik
