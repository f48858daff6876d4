#include "app/ui/desktop_app.hpp"

#include <QApplication>
#include <QDateTime>
#include <QLocale>
#include <QMessageBox>
#include <chrono>
#include <iostream>

#include "app/desktop_notifications.hpp"
#include "app/event_loop.hpp"
#include "app/helper_notification_subscriber.hpp"
#include "app/helper_setup.hpp"
#include "app/helper_setup_production.hpp"
#include "app/login_item_sync.hpp"
#include "app/schedule_editing_availability.hpp"
#include "app/schedule_editor.hpp"
#include "app/session_client.hpp"
#include "app/session_completion.hpp"
#include "app/status_monitor.hpp"
#include "app/status_reading.hpp"
#include "app/ui/help_sheet.hpp"
#include "app/ui/main_window.hpp"
#include "app/ui/onboarding_sheet.hpp"
#include "app/ui/qt_main_queue.hpp"
#include "app/ui/qt_repeating_timer.hpp"
#include "app/ui/qt_sound_player.hpp"
#include "app/ui/schedules_sheet.hpp"
#include "app/ui/screen_parts.hpp"
#include "app/ui/settings_onboarding_store.hpp"
#include "app/ui/setup_sheet.hpp"
#include "app/ui/tray_icon.hpp"
#include "app/ui/update_dialogs.hpp"
#include "app/update_control.hpp"
#include "app/update_control_package_manager.hpp"

namespace nubrik {

namespace {

// Posts on the bus thread: a notification service that does not answer must not hold up the
// window, and whether it showed changes nothing else.
class QueuedNotificationPoster final : public NotificationPoster {
 public:
  QueuedNotificationPoster(std::shared_ptr<NotificationPoster> poster, MainQueue& queue)
      : poster_(std::move(poster)), queue_(queue) {}
  bool post(const std::string& title, const std::string& body,
            const std::string& identifier) override {
    queue_.post(
        [poster = poster_, title, body, identifier] { poster->post(title, body, identifier); });
    return true;
  }

 private:
  std::shared_ptr<NotificationPoster> poster_;
  MainQueue& queue_;
};

}  // namespace

std::string DesktopApp::shortTime(Date date) {
  const auto milliseconds =
      std::chrono::duration_cast<std::chrono::milliseconds>(date.time_since_epoch()).count();
  const QTime time = QDateTime::fromMSecsSinceEpoch(milliseconds).time();
  return shortTimeText(QLocale(), time).toStdString();
}

DesktopApp::DesktopApp(BusOpener helperBus)
    : mainQueue_(std::make_unique<QtMainQueue>()), busLoop_(std::make_unique<EventLoop>()) {
  busThread_ = std::thread([loop = busLoop_.get()] {
    try {
      loop->run();
    } catch (const std::exception& error) {
      std::cerr << "tamsel: the bus thread stopped: " << error.what() << "\n";
    }
  });
  client_ = std::make_unique<SessionClient>(
      SessionClient::production(*mainQueue_, *busLoop_, std::move(helperBus)));

  // 1. The status monitor, with the alert for a session that has ended.
  auto poster = std::make_shared<QueuedNotificationPoster>(
      std::make_shared<DesktopNotificationPoster>(), *busLoop_);
  completionAlert_ =
      std::make_unique<SessionCompletionAlert>(std::make_shared<QtSoundPlayer>(), poster);
  monitor_ = std::make_unique<StatusMonitor>(StatusMonitor::Dependencies{
      mainQueue_.get(), qtRepeatingTimers(), {}, {}, StatusMonitor::defaultInterval});
  monitor_->setOnSessionCompleted([this] { completionAlert_->fire(); });
  monitor_->setOnChange([this] { updateTray(); });

  // 2. The update controller, reading the monitor's status. Its boxes stand over the window when
  // it is open, on their own otherwise (a check from the tray).
  auto updateBoxParent = [this]() -> QWidget* {
    return window_ ? static_cast<QWidget*>(window_) : nullptr;
  };
  updates_ = std::make_unique<UpdateController>(UpdateControllerDependencies{
      [this] { return monitor_->status(); },
      [this, updateBoxParent](UpdaterDelegate& delegate) {
        return packageManagerUpdater(
            delegate,
            PackageManagerUpdaterDependencies::production(
                *mainQueue_,
                [updateBoxParent](const UpdateCheckNotice& notice) {
                  makeUpdateNoticeBox(updateBoxParent(), notice)->open();
                },
                [updateBoxParent](const std::string& version, std::function<void()> install) {
                  makeUpdateOfferBox(updateBoxParent(), version, std::move(install))->open();
                }));
      },
      qtRepeatingTimers(),
  });

  setup_ = std::make_unique<HelperSetup>(productionHelperSetupDependencies(
      *mainQueue_, *client_, [this] { return monitor_->status(); }));
  setup_->setOnChange([this] { setupChanged(); });
  loginItems_ = std::make_unique<LoginItemSync>(LoginItemSync::production(*mainQueue_, *client_));
  subscriber_ = std::make_unique<HelperNotificationSubscriber>(poster);
  onboarding_ = std::make_unique<SettingsOnboardingStore>();

  tray_ = new TrayIcon(this);
  connect(tray_, &TrayIcon::openRequested, this, [this] { openWindow(); });
  connect(tray_, &TrayIcon::helpRequested, this, [this] { openWindow()->showHelp(); });
  connect(tray_, &TrayIcon::checkForUpdatesRequested, this, &DesktopApp::checkForUpdates);
  connect(tray_, &TrayIcon::quitRequested, qApp, &QApplication::quit);
}

DesktopApp::~DesktopApp() {
  delete window_.data();
  // The subscriber's connection belongs to the bus thread: it is closed there, then the thread
  // ends and the connections still open close with the loop.
  busLoop_->post([this] { subscriber_->stop(); });
  busLoop_->stop();
  if (busThread_.joinable()) busThread_.join();
  subscriber_.reset();
}

void DesktopApp::start(bool openWindowNow) {
  monitor_->start();
  busLoop_->post([this] {
    try {
      subscriber_->start(busLoop_->event());
    } catch (const std::exception& error) {
      std::cerr << "tamsel: the helper's notifications will not be shown: " << error.what() << "\n";
    }
  });
  // 3. Once the first readings are in: the updater and the login item.
  mainQueue_->postAfter(updateStartDelaySeconds, [this] { startDeferredWork(); });

  hasTray_ = TrayIcon::isAvailable();
  if (hasTray_) {
    updateTray();
    tray_->show();
  } else {
    std::cerr << "tamsel: the desktop shows no system tray; Tamsel runs in its window, and "
                 "closing the window quits it (a session goes on without it)\n";
  }
  QApplication::setQuitOnLastWindowClosed(!hasTray_);
  if (openWindowNow || !hasTray_) openWindow();
}

void DesktopApp::startDeferredWork() {
  updates_->start();
  loginItems_->syncFromHelper(!monitor_->status().isUnavailable());
}

void DesktopApp::updateTray() {
  tray_->setPresentation(menuBarPresentation(monitor_->status(), monitor_->earlyUnlockPending(),
                                             monitor_->now(), &DesktopApp::shortTime));
  tray_->setCheckForUpdatesEnabled(updates_->checkForUpdatesIsEnabled());
}

void DesktopApp::setupChanged() {
  if (window_) window_->setupChanged();
  if (setupSheet_) setupSheet_->refresh();
}

void DesktopApp::checkForUpdates() {
  if (updates_->checkForUpdatesIsEnabled()) updates_->checkForUpdates();
}

MainWindow* DesktopApp::openWindow() {
  if (!window_) {
    MainWindowContext context;
    context.view.mainQueue = mainQueue_.get();
    context.view.client = client_.get();
    context.view.setup = setup_.get();
    context.view.readStatus = [queue = mainQueue_.get()](auto completion) {
      refreshStatusDetail(std::nullopt, *queue, std::move(completion));
    };
    context.view.now = [] { return std::chrono::system_clock::now(); };
    context.timeString = &DesktopApp::shortTime;
    context.onboardingSeen = [this] { return onboarding_->hasSeenOnboarding(); };
    context.makeSetupSheet = [this](QWidget* parent) -> QDialog* {
      auto* sheet = new SetupSheet(parent, *setup_, [this] { return monitor_->status(); });
      setupSheet_ = sheet;
      setup_->refresh();
      return sheet;
    };
    context.makeSchedulesSheet = [this](QWidget* parent) -> QDialog* {
      const LoginItemSync* loginItems = loginItems_.get();
      auto editor = std::make_unique<ScheduleEditor>(ScheduleEditorDependencies::production(
          *client_, [loginItems](const std::vector<RecurringSchedule>& schedules) {
            loginItems->sync(schedules);
          }));
      return new ScheduleEditorSheet(parent, std::move(editor),
                                     scheduleEditingIsAvailable(setup_->state()));
    };
    context.makeOnboardingSheet = [this](QWidget* parent) -> QDialog* {
      return new OnboardingSheet(parent, *onboarding_);
    };
    context.makeHelpSheet = [](QWidget* parent) -> QDialog* { return new HelpSheet(parent); };
    window_ = new MainWindow(std::move(context));
  }
  window_->show();
  window_->raise();
  window_->activateWindow();
  return window_;
}

}  // namespace nubrik
