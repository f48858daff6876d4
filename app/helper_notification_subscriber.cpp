#include "app/helper_notification_subscriber.hpp"

#include <system_error>
#include <utility>

#include "app/bus_address.hpp"
#include "core/nubrik_xpc.hpp"
#include "core/uuid.hpp"

namespace nubrik {

namespace {

void check(int result, const char* what) {
  if (result < 0) throw std::system_error(-result, std::generic_category(), what);
}

}  // namespace

HelperNotificationSubscriber::HelperNotificationSubscriber(
    std::shared_ptr<NotificationPoster> poster, BusOpener openBus)
    : poster_(std::move(poster)), openBus_(std::move(openBus)) {
  if (!openBus_) openBus_ = sd_bus_open_system;
}

HelperNotificationSubscriber::BusOpener HelperNotificationSubscriber::busAtAddressForTest(
    std::string address) {
  return
      [address = std::move(address)](sd_bus** result) { return openBusAtAddress(address, result); };
}

HelperNotificationSubscriber::~HelperNotificationSubscriber() {
  stop();
}

void HelperNotificationSubscriber::start(sd_event* event) {
  if (bus_ != nullptr) return;
  FlushingBusHandle bus;
  check(openBus_(out(bus)), "open bus");
  BusSlotHandle match;
  check(sd_bus_attach_event(bus.get(), event, SD_EVENT_PRIORITY_NORMAL), "sd_bus_attach_event");
  // Installed without waiting for the bus's answer, which arrives on the loop.
  check(sd_bus_match_signal_async(bus.get(), out(match), NubrikXPC::busName, NubrikXPC::objectPath,
                                  NubrikXPC::interfaceName, NubrikXPC::notificationSignal,
                                  onNotification, onRuleInstalled, this),
        "sd_bus_match_signal_async");
  bus_ = std::move(bus);
  match_ = std::move(match);
}

void HelperNotificationSubscriber::stop() {
  if (bus_ == nullptr) return;
  match_.reset();
  subscribed_ = false;
  sd_bus_detach_event(bus_.get());
  bus_.reset();
}

std::string HelperNotificationSubscriber::uniqueNameForTest() const {
  const char* name = nullptr;
  if (bus_ == nullptr || sd_bus_get_unique_name(bus_.get(), &name) < 0 || name == nullptr)
    return {};
  return name;
}

int HelperNotificationSubscriber::onRuleInstalled(sd_bus_message* reply, void* userdata,
                                                  sd_bus_error*) {
  // A rule the bus refused leaves the app without the helper's notifications, and nothing else.
  static_cast<HelperNotificationSubscriber*>(userdata)->subscribed_ =
      !sd_bus_message_is_method_error(reply, nullptr);
  return 0;
}

int HelperNotificationSubscriber::onNotification(sd_bus_message* message, void* userdata,
                                                 sd_bus_error*) {
  auto* self = static_cast<HelperNotificationSubscriber*>(userdata);
  // The sender rule filters broadcasts only; anyone may address a signal to us directly, and
  // sd-bus's own check of a well-known sender cannot tell the owner from anyone else.
  if (sd_bus_message_get_destination(message) != nullptr) return 0;
  const char* title = nullptr;
  const char* text = nullptr;
  if (sd_bus_message_read(message, "ss", &title, &text) < 0) return 0;
  if (!self->poster_) return 0;
  try {
    (void)self->poster_->post(title, text, identifierPrefix + newUUIDString());
  } catch (...) {
  }
  return 0;
}

}  // namespace nubrik
