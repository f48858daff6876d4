#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/gui_status.hpp"
#include "app/repeating_timer.hpp"

namespace nubrik {

// Updates are checked for, downloaded and installed only while the helper is confirmed idle:
// never during a session, and never while its state is uncertain.
bool updateCheckIsAllowed(const GuiStatus& status);

// Why an updater must not go on; it abandons the check or update.
struct UpdateRefusal {
  std::string domain = "Nubrik.Update";
  int code = 1;
  std::string description = "Updates are only checked while no session is active.";

  friend bool operator==(const UpdateRefusal&, const UpdateRefusal&) = default;
};

// Holds back the install (and relaunch) of a downloaded update until the helper is idle.
class IdleInstallGate {
 public:
  // False when the status is idle: install now. Otherwise keeps `install` in place of any held
  // action and returns true.
  bool hold(const GuiStatus& status, std::function<void()> install);
  // Runs the held action once the status is idle. It is cleared before it runs, so it runs once
  // even if it reports a status change itself.
  void statusChanged(const GuiStatus& status);
  bool isHolding() const { return static_cast<bool>(pending_); }

 private:
  std::function<void()> pending_;
};

// The questions an updater asks before it goes on; answered by UpdateController.
class UpdaterDelegate {
 public:
  virtual ~UpdaterDelegate() = default;
  // May an update check run? None when it may.
  virtual std::optional<UpdateRefusal> mayPerformUpdateCheck() = 0;
  // May an update that was found proceed? None when it may.
  virtual std::optional<UpdateRefusal> mayProceedWithUpdate() = 0;
  // Whether to postpone installing (and relaunching) now; when postponed, the delegate runs
  // `install` later, at most once.
  virtual bool shouldPostponeRelaunch(std::function<void()> install) = 0;
};

// Whatever finds and installs updates for the app.
class Updater {
 public:
  virtual ~Updater() = default;
  // Starts automatic checking; false when it could not start.
  virtual bool start() = 0;
  // A check the user asked for, with the updater's own user interface.
  virtual void checkForUpdates() = 0;
};

struct UpdateControllerDependencies {
  // The helper's current status, as the status monitor last read it.
  std::function<GuiStatus()> statusProvider;
  // Makes the updater, reporting to the given delegate; called once, on first use.
  std::function<std::unique_ptr<Updater>(UpdaterDelegate&)> makeUpdater;
  // Polls for idleness while an install is held.
  RepeatingTimerFactory timers;
};

// How often a held install looks for an idle helper.
inline constexpr double updateInstallPollSeconds = 5.0;
// The app starts its updater this long after launch, once the first status poll has happened.
inline constexpr double updateStartDelaySeconds = 5.0;

// Keeps the app's updater away from sessions: every check and update must find the helper
// confirmed idle, and an install that comes due during a session waits for the idle status.
// Everything runs on the main queue.
class UpdateController final : public UpdaterDelegate {
 public:
  explicit UpdateController(UpdateControllerDependencies dependencies);
  ~UpdateController() override;

  UpdateController(const UpdateController&) = delete;
  UpdateController& operator=(const UpdateController&) = delete;

  // Starts the updater on the first call (a failure to start is ignored); later calls do nothing.
  void start();
  // The menu's "Check for Updates…": starts the updater if needed, then checks.
  void checkForUpdates();
  // Whether the menu item is enabled now.
  bool checkForUpdatesIsEnabled() const;
  bool hasStarted() const { return hasStarted_; }
  bool isHoldingInstall() const { return installGate_.isHolding(); }

  std::optional<UpdateRefusal> mayPerformUpdateCheck() override;
  std::optional<UpdateRefusal> mayProceedWithUpdate() override;
  bool shouldPostponeRelaunch(std::function<void()> install) override;

 private:
  Updater& updater();
  std::optional<UpdateRefusal> requireIdle() const;
  void pollHeldInstall();

  UpdateControllerDependencies dependencies_;
  bool hasStarted_ = false;
  IdleInstallGate installGate_;
  std::unique_ptr<RepeatingTimer> installTimer_;
  std::unique_ptr<Updater> updater_;
};

}  // namespace nubrik
