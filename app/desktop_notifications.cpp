#include "app/desktop_notifications.hpp"

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <string>
#include <utility>

#include "app/bus_address.hpp"
#include "core/sd_handles.hpp"

namespace nubrik {

namespace {

constexpr const char* notificationsService = "org.freedesktop.Notifications";
constexpr const char* notificationsPath = "/org/freedesktop/Notifications";
constexpr const char* notificationsInterface = "org.freedesktop.Notifications";

std::uint64_t monotonicMicroseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000u +
         static_cast<std::uint64_t>(now.tv_nsec) / 1000u;
}

std::uint64_t microseconds(double seconds) {
  return seconds > 0 ? static_cast<std::uint64_t>(seconds * 1e6) : 1;
}

// The user's own session bus. The environment is read as it stands even though tamsel runs
// setgid (where sd-bus's own lookup refuses it): the address only names the user's session, and
// nothing sent there is protected by the group.
int openUserBus(sd_bus** result) {
  if (const char* address = ::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) {
    return openBusAtAddress(address, result);
  }
  const char* runtime = ::getenv("XDG_RUNTIME_DIR");
  const std::string directory = runtime && *runtime && runtime[0] == '/'
                                    ? std::string(runtime)
                                    : "/run/user/" + std::to_string(::getuid());
  return openBusAtAddress("unix:path=" + directory + "/bus", result);
}

// Completes the connection's handshake by the deadline; sd-bus alone would wait far longer for a
// bus that accepted the socket and then went quiet.
int waitUntilReady(sd_bus* bus, std::uint64_t deadline) {
  for (;;) {
    int r = sd_bus_is_ready(bus);
    if (r != 0) return r < 0 ? r : 0;
    r = sd_bus_process(bus, nullptr);
    if (r < 0) return r;
    if (r > 0) continue;
    const std::uint64_t now = monotonicMicroseconds();
    if (now >= deadline) return -ETIMEDOUT;
    r = sd_bus_wait(bus, deadline - now);
    if (r < 0) return r;
  }
}

int appendStringHint(sd_bus_message* message, const char* key, const std::string& value) {
  return sd_bus_message_append(message, "{sv}", key, "s", value.c_str());
}

int notify(sd_bus* bus, const std::string& title, const std::string& body,
           const std::string& identifier, std::uint64_t timeout) {
  BusMessageHandle message;
  int r = sd_bus_message_new_method_call(bus, out(message), notificationsService, notificationsPath,
                                         notificationsInterface, "Notify");
  sd_bus_message* const call = message.get();
  if (r < 0) return r;
  // Notify(app_name, replaces_id, app_icon, summary, body, actions, hints, expire_timeout): a new
  // notification with no actions, expiring when the desktop decides.
  if ((r = sd_bus_message_append(call, "susss", DesktopNotificationPoster::appName, 0u, "",
                                 title.c_str(), body.c_str())) >= 0 &&
      (r = sd_bus_message_append(call, "as", 0)) >= 0 &&
      (r = sd_bus_message_open_container(call, 'a', "{sv}")) >= 0 &&
      (r = appendStringHint(call, "desktop-entry", DesktopNotificationPoster::desktopEntry)) >= 0 &&
      (r = appendStringHint(call, DesktopNotificationPoster::identifierHint, identifier)) >= 0 &&
      (r = sd_bus_message_close_container(call)) >= 0 &&
      (r = sd_bus_message_append(call, "i", -1)) >= 0) {
    sd_bus_error error{};
    r = sd_bus_call(bus, call, timeout, &error, nullptr);
    sd_bus_error_free(&error);
  }
  return r;
}

}  // namespace

DesktopNotificationPoster::DesktopNotificationPoster(double timeoutSeconds)
    : DesktopNotificationPoster(openUserBus, timeoutSeconds) {}

DesktopNotificationPoster::DesktopNotificationPoster(BusOpener openBus, double timeoutSeconds)
    : openBus_(std::move(openBus)), timeoutSeconds_(timeoutSeconds) {}

DesktopNotificationPoster DesktopNotificationPoster::atAddressForTest(std::string address,
                                                                      double timeoutSeconds) {
  return DesktopNotificationPoster(
      [address = std::move(address)](sd_bus** bus) { return openBusAtAddress(address, bus); },
      timeoutSeconds);
}

bool DesktopNotificationPoster::post(const std::string& title, const std::string& body,
                                     const std::string& identifier) {
  if (!openBus_) return false;
  ClosingBusHandle bus;
  const int opened = openBus_(out(bus));
  if (opened < 0 || bus == nullptr) return false;
  const std::uint64_t timeout = microseconds(timeoutSeconds_);
  int r = waitUntilReady(bus.get(), monotonicMicroseconds() + timeout);
  if (r >= 0) r = notify(bus.get(), title, body, identifier, timeout);
  return r >= 0;
}

}  // namespace nubrik
