#pragma once

#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <functional>
#include <memory>
#include <string>

#include "app/desktop_notifications.hpp"
#include "core/sd_handles.hpp"

namespace nubrik {

// Shows the helper's notifications on the desktop: every Notification(title, message) signal
// that the helper broadcasts on the system bus becomes a desktop notification, identified as
// "helper-notification-" followed by a fresh UUID.
//
// Only the helper is believed. The bus delivers a broadcast signal on this connection only when
// it matches the one rule installed here, which names the helper's well-known name as sender,
// and the bus resolves that name to its current owner (whom the bus policy lets only root be).
// A signal addressed to this connection directly passes no rule at all, so it is ignored. So is
// a one-off helper command's signal: it comes from a connection of the command's own, which does
// not own the name.
//
// Everything runs on the thread of the event loop it is attached to, the app's bus thread, which
// also bears the time a notification takes to post.
class HelperNotificationSubscriber {
 public:
  static constexpr const char* identifierPrefix = "helper-notification-";

  // Opens a started connection to the bus carrying the helper.
  using BusOpener = std::function<int(sd_bus** bus)>;

  // Empty openBus: the system bus (DBUS_SYSTEM_BUS_ADDRESS when set).
  explicit HelperNotificationSubscriber(std::shared_ptr<NotificationPoster> poster,
                                        BusOpener openBus = {});
  // The bus at this address, as a test's private system bus.
  static BusOpener busAtAddressForTest(std::string address);
  ~HelperNotificationSubscriber();
  HelperNotificationSubscriber(const HelperNotificationSubscriber&) = delete;
  HelperNotificationSubscriber& operator=(const HelperNotificationSubscriber&) = delete;

  // Connects and listens on `event`'s thread; nothing if already listening. Throws
  // std::system_error when the bus cannot be reached.
  void start(sd_event* event);
  // Stops listening and closes the connection; on the loop's thread (or with the loop stopped).
  void stop();
  bool isListening() const { return bus_ != nullptr; }
  // Whether the bus has confirmed the rule, so that the helper's signals reach this connection.
  bool isSubscribed() const { return subscribed_; }

  // This connection's unique name on the bus.
  std::string uniqueNameForTest() const;

 private:
  static int onNotification(sd_bus_message* message, void* userdata, sd_bus_error* error);
  static int onRuleInstalled(sd_bus_message* reply, void* userdata, sd_bus_error* error);

  std::shared_ptr<NotificationPoster> poster_;
  BusOpener openBus_;
  FlushingBusHandle bus_;
  BusSlotHandle match_;
  bool subscribed_ = false;
};

}  // namespace nubrik
