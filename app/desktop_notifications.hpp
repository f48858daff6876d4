#pragma once

#include <systemd/sd-bus.h>

#include <functional>
#include <string>

namespace nubrik {

// Shows a user notification at once. Whoever posts ignores failures: a notification that could
// not be shown changes nothing else the app does.
class NotificationPoster {
 public:
  virtual ~NotificationPoster() = default;
  // True when the notification service accepted it.
  virtual bool post(const std::string& title, const std::string& body,
                    const std::string& identifier) = 0;
};

// Notifications through the desktop's notification service (org.freedesktop.Notifications on the
// user's session bus), each over a connection of its own. The identifier travels as the
// "x-nubrik-id" hint, and "desktop-entry" names the app so the desktop shows its name and icon.
//
// post() blocks its caller, for at most about twice `timeoutSeconds` (connecting, then the call),
// and never longer: a desktop without a notification service, or one that does not answer, costs
// that bound and a false result. The app calls it from its bus thread, or accepts that short
// bound where it calls it from the main thread.
class DesktopNotificationPoster final : public NotificationPoster {
 public:
  static constexpr double defaultTimeoutSeconds = 2.0;
  static constexpr const char* identifierHint = "x-nubrik-id";
  static constexpr const char* desktopEntry = "tamsel";
  static constexpr const char* appName = "Tamsel";

  // Opens a connection that is not yet started: its address is set, nothing more.
  using BusOpener = std::function<int(sd_bus** bus)>;

  // The user's session bus (DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus).
  explicit DesktopNotificationPoster(double timeoutSeconds = defaultTimeoutSeconds);
  DesktopNotificationPoster(BusOpener openBus, double timeoutSeconds);
  // The session bus at this address.
  static DesktopNotificationPoster atAddressForTest(std::string address, double timeoutSeconds);

  bool post(const std::string& title, const std::string& body,
            const std::string& identifier) override;

 private:
  BusOpener openBus_;
  double timeoutSeconds_;
};

}  // namespace nubrik
