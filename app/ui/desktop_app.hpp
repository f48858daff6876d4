#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <thread>

#include "app/bus_opener.hpp"
#include "app/menu_bar_presentation.hpp"

namespace nubrik {

class EventLoop;
class HelperNotificationSubscriber;
class HelperSetup;
class LoginItemSync;
class MainWindow;
class QtMainQueue;
class SessionClient;
class SessionCompletionAlert;
class SettingsOnboardingStore;
class SetupSheet;
class StatusMonitor;
class TrayIcon;
class UpdateController;

// The running app: the status monitor with the completion alert, the update controller, the
// helper setup, the login item, the helper's notifications, the tray item and the window. Made
// once on the GUI thread after the QApplication.
class DesktopApp final : public QObject {
  Q_OBJECT

 public:
  // Requests to the helper go over connections from `helperBus` (the broker's); empty: the
  // system bus directly.
  explicit DesktopApp(BusOpener helperBus);
  ~DesktopApp() override;
  DesktopApp(const DesktopApp&) = delete;
  DesktopApp& operator=(const DesktopApp&) = delete;

  // Starts everything in order, shows the tray item where there is a tray, and opens the window
  // (unless `openWindowNow` is false and there is a tray to open it from).
  void start(bool openWindowNow = true);

  // Opens the window (a new one when none is open) and brings it to the front.
  MainWindow* openWindow();
  MainWindow* window() const { return window_; }
  TrayIcon* tray() const { return tray_; }
  StatusMonitor& monitor() const { return *monitor_; }
  HelperSetup& setup() const { return *setup_; }

  // Times of day as the app shows them: the locale's short time.
  static std::string shortTime(Date date);

 private:
  void updateTray();
  void setupChanged();
  void checkForUpdates();
  void startDeferredWork();

  std::unique_ptr<QtMainQueue> mainQueue_;
  std::unique_ptr<EventLoop> busLoop_;
  std::thread busThread_;
  std::unique_ptr<SessionClient> client_;
  std::unique_ptr<StatusMonitor> monitor_;
  std::unique_ptr<SessionCompletionAlert> completionAlert_;
  std::unique_ptr<UpdateController> updates_;
  std::unique_ptr<HelperSetup> setup_;
  std::unique_ptr<LoginItemSync> loginItems_;
  std::unique_ptr<HelperNotificationSubscriber> subscriber_;
  std::unique_ptr<SettingsOnboardingStore> onboarding_;
  TrayIcon* tray_ = nullptr;
  bool hasTray_ = false;
  QPointer<MainWindow> window_;
  QPointer<SetupSheet> setupSheet_;
};

}  // namespace nubrik
