#include "helper/net/linux/network_manager_switch.hpp"

#if defined(__linux__)

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "helper/net/network_errors.hpp"

namespace nubrik {

namespace {

constexpr const char* defaultSystemBusAddress = "unix:path=/run/dbus/system_bus_socket";
constexpr const char* managerName = "org.freedesktop.NetworkManager";
constexpr const char* managerPath = "/org/freedesktop/NetworkManager";
constexpr const char* managerInterface = "org.freedesktop.NetworkManager";
constexpr const char* alreadyInStateError =
    "org.freedesktop.NetworkManager.AlreadyEnabledOrDisabled";
// A daemon pass must not hang on a wedged bus peer.
constexpr uint64_t methodTimeoutMicroseconds = 5 * 1000 * 1000;

struct BusError {
  sd_bus_error error = SD_BUS_ERROR_NULL;
  ~BusError() { sd_bus_error_free(&error); }
};

struct MessageReference {
  sd_bus_message* message = nullptr;
  ~MessageReference() { sd_bus_message_unref(message); }
};

// Errors after which the connection is no longer worth keeping.
bool isConnectionLost(int error) {
  return error == ENOTCONN || error == ECONNRESET || error == EPIPE || error == ECHILD ||
         error == ESHUTDOWN;
}

}  // namespace

struct NetworkManagerSwitch::Connection {
  sd_bus* bus = nullptr;
  pid_t owner = 0;
  ~Connection() { sd_bus_flush_close_unref(bus); }
};

NetworkManagerSwitch::NetworkManagerSwitch(std::string busAddress)
    : busAddress_(std::move(busAddress)) {}

NetworkManagerSwitch::~NetworkManagerSwitch() = default;

NetworkManagerSwitch::Connection* NetworkManagerSwitch::connection() {
  // sd-bus connections must not be used across fork, and a closed one never reopens by itself.
  if (connection_ && (connection_->owner != ::getpid() || sd_bus_is_open(connection_->bus) <= 0)) {
    connection_.reset();
  }
  if (connection_) return connection_.get();

  // The address is resolved as sd_bus_open_system() does, but the connection is set up by hand
  // so that the time-out also bounds the handshake, not only the calls after it.
  std::string address = busAddress_;
  if (address.empty()) {
    const char* fromEnvironment = ::secure_getenv("DBUS_SYSTEM_BUS_ADDRESS");
    address = fromEnvironment != nullptr ? fromEnvironment : defaultSystemBusAddress;
  }
  auto fresh = std::make_unique<Connection>();
  int result = sd_bus_new(&fresh->bus);
  if (result >= 0) result = sd_bus_set_address(fresh->bus, address.c_str());
  if (result >= 0) result = sd_bus_set_bus_client(fresh->bus, 1);
  if (result >= 0) result = sd_bus_set_method_call_timeout(fresh->bus, methodTimeoutMicroseconds);
  if (result >= 0) result = sd_bus_start(fresh->bus);
  if (result < 0) {
    // No socket, or nobody listening on it: a machine without a system bus has no services.
    if (result == -ENOENT || result == -ECONNREFUSED) return nullptr;
    throw NetworkSystemError::systemCallFailed("sd_bus_start", -result);
  }
  fresh->owner = ::getpid();
  connection_ = std::move(fresh);
  return connection_.get();
}

bool NetworkManagerSwitch::present() {
  std::lock_guard lock(mutex_);
  Connection* open = connection();
  if (open == nullptr) return false;
  BusError error;
  MessageReference reply;
  int result = sd_bus_call_method(open->bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "NameHasOwner", &error.error,
                                  &reply.message, "s", managerName);
  int owned = 0;
  if (result >= 0) result = sd_bus_message_read(reply.message, "b", &owned);
  if (result < 0) {
    if (isConnectionLost(-result)) connection_.reset();
    throw NetworkSystemError::systemCallFailed("NameHasOwner", -result);
  }
  return owned != 0;
}

bool NetworkManagerSwitch::networkingEnabled() {
  std::lock_guard lock(mutex_);
  Connection* open = connection();
  if (open == nullptr) throw NetworkSystemError::systemCallFailed("NetworkingEnabled", ENOENT);
  BusError error;
  int enabled = 0;
  const int result =
      sd_bus_get_property_trivial(open->bus, managerName, managerPath, managerInterface,
                                  "NetworkingEnabled", &error.error, 'b', &enabled);
  if (result < 0) {
    if (isConnectionLost(-result)) connection_.reset();
    throw NetworkSystemError::systemCallFailed("NetworkingEnabled", -result);
  }
  return enabled != 0;
}

bool NetworkManagerSwitch::setNetworkingEnabled(bool on) {
  bool alreadyInState = false;
  try {
    std::lock_guard lock(mutex_);
    Connection* open = connection();
    if (open == nullptr) return false;
    BusError error;
    const int result = sd_bus_call_method(open->bus, managerName, managerPath, managerInterface,
                                          "Enable", &error.error, nullptr, "b", on ? 1 : 0);
    if (result >= 0) return true;
    if (isConnectionLost(-result)) connection_.reset();
    alreadyInState = sd_bus_error_has_name(&error.error, alreadyInStateError) != 0;
  } catch (...) {
    return false;
  }
  // NetworkManager refuses to switch to the state it is already in. That state is what was
  // asked for, so it counts as done once the switch reads back as requested; otherwise a
  // restoration to "disabled" could never complete.
  if (!alreadyInState) return false;
  try {
    return networkingEnabled() == on;
  } catch (...) {
    return false;
  }
}

}  // namespace nubrik

#endif  // __linux__
