#include "app/update_control.hpp"

#include <utility>

namespace nubrik {

bool updateCheckIsAllowed(const GuiStatus& status) {
  return status.isConfirmedIdle();
}

bool IdleInstallGate::hold(const GuiStatus& status, std::function<void()> install) {
  if (updateCheckIsAllowed(status)) return false;
  pending_ = std::move(install);
  return true;
}

void IdleInstallGate::statusChanged(const GuiStatus& status) {
  if (!updateCheckIsAllowed(status) || !pending_) return;
  const std::function<void()> install = std::exchange(pending_, nullptr);
  install();
}

UpdateController::UpdateController(UpdateControllerDependencies dependencies)
    : dependencies_(std::move(dependencies)) {}

// The updater goes first: it may still hold install actions that refer to this controller.
UpdateController::~UpdateController() {
  updater_.reset();
  installTimer_.reset();
}

Updater& UpdateController::updater() {
  if (!updater_) updater_ = dependencies_.makeUpdater(*this);
  return *updater_;
}

void UpdateController::start() {
  if (hasStarted_) return;
  hasStarted_ = true;
  // An updater that cannot start leaves the app as it is; the user can still check by hand.
  (void)updater().start();
}

void UpdateController::checkForUpdates() {
  start();
  updater().checkForUpdates();
}

bool UpdateController::checkForUpdatesIsEnabled() const {
  return updateCheckIsAllowed(dependencies_.statusProvider());
}

std::optional<UpdateRefusal> UpdateController::requireIdle() const {
  if (updateCheckIsAllowed(dependencies_.statusProvider())) return std::nullopt;
  return UpdateRefusal{};
}

std::optional<UpdateRefusal> UpdateController::mayPerformUpdateCheck() {
  return requireIdle();
}

std::optional<UpdateRefusal> UpdateController::mayProceedWithUpdate() {
  return requireIdle();
}

bool UpdateController::shouldPostponeRelaunch(std::function<void()> install) {
  if (!installGate_.hold(dependencies_.statusProvider(), std::move(install))) return false;
  // One poll at a time: a newer postponement replaces the timer along with the action.
  installTimer_.reset();
  installTimer_ = dependencies_.timers(updateInstallPollSeconds, [this] { pollHeldInstall(); });
  return true;
}

// The timer belongs to this controller, so no firing outlives it.
void UpdateController::pollHeldInstall() {
  const GuiStatus status = dependencies_.statusProvider();
  // Cancelled, not destroyed: this runs inside the timer's own firing.
  if (updateCheckIsAllowed(status) && installTimer_) installTimer_->cancel();
  installGate_.statusChanged(status);
}

}  // namespace nubrik
