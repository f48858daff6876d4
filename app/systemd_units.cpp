#include "app/systemd_units.hpp"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <memory>
#include <utility>

#include "app/bus_address.hpp"
#include "app/bus_wait.hpp"
#include "core/sd_handles.hpp"

namespace nubrik {

namespace {

constexpr const char* managerName = "org.freedesktop.systemd1";
constexpr const char* managerPath = "/org/freedesktop/systemd1";
constexpr const char* managerInterface = "org.freedesktop.systemd1.Manager";

uint64_t microseconds(double seconds) {
  return static_cast<uint64_t>(seconds * 1e6);
}

// One connection to the manager's bus, used from one thread at a time.
class ManagerConnection {
 public:
  explicit ManagerConnection(SystemdBusOptions options) : options_(std::move(options)) {}
  ManagerConnection(const ManagerConnection&) = delete;
  ManagerConnection& operator=(const ManagerConnection&) = delete;

  using Append = std::function<int(sd_bus_message* message)>;
  using Read = std::function<int(sd_bus_message* reply, SystemdCallResult& result)>;

  SystemdCallResult call(const char* member, double timeoutSeconds, const Append& append,
                         const Read& read = {}) {
    if (const int opened = open(); opened < 0) return SystemdCallResult::transportFailure(-opened);
    BusMessageHandle message;
    int r = sd_bus_message_new_method_call(bus_.get(), out(message), managerName, managerPath,
                                           managerInterface, member);
    if (r >= 0 && append) r = append(message.get());
    PendingReply pending;
    BusSlotHandle slot;
    if (r >= 0) {
      r = sd_bus_call_async(bus_.get(), out(slot), message.get(), PendingReply::onReply, &pending,
                            microseconds(timeoutSeconds));
    }
    message.reset();
    if (r >= 0) r = wait(pending);
    // Nothing may call into `pending` once this returns, answered or not.
    slot.reset();
    if (r < 0) {
      // A broken or abandoned connection is not used again.
      close();
      return SystemdCallResult::transportFailure(-r);
    }

    SystemdCallResult result;
    if (sd_bus_message_is_method_error(pending.reply.get(), nullptr)) {
      const sd_bus_error* error = sd_bus_message_get_error(pending.reply.get());
      result.errorName = error && error->name ? error->name : "org.freedesktop.DBus.Error.Failed";
      result.errorMessage = error && error->message ? error->message : "";
      return result;
    }
    if (read) {
      if (const int readResult = read(pending.reply.get(), result); readResult < 0) {
        return SystemdCallResult::transportFailure(-readResult);
      }
    }
    return result;
  }

 private:
  int open() {
    if (bus_) return 0;
    FlushingBusHandle bus;
    int r = options_.address.empty() ? sd_bus_open_system(out(bus))
                                     : openBusAtAddress(options_.address, out(bus));
    // polkit may then ask the user (through the desktop's agent) instead of refusing outright.
    if (r >= 0) r = sd_bus_set_allow_interactive_authorization(bus.get(), 1);
    if (r < 0) return r;
    bus_ = std::move(bus);
    return 0;
  }

  void close() { bus_.reset(); }

  // Processes the bus until the reply (or sd-bus's own time-out error) is in, or the stop
  // descriptor fires. A negative errno on failure.
  int wait(const PendingReply& pending) {
    return processBusUntil(
        bus_.get(), [&pending] { return pending.done; }, options_.stopFd);
  }

  SystemdBusOptions options_;
  FlushingBusHandle bus_;
};

int appendUnitList(sd_bus_message* message, const std::string& unit) {
  return sd_bus_message_append(message, "as", 1, unit.c_str());
}

}  // namespace

SystemdCallResult SystemdCallResult::unitFileState(std::string state) {
  SystemdCallResult result;
  result.state = std::move(state);
  return result;
}

SystemdCallResult SystemdCallResult::error(std::string name, std::string message) {
  SystemdCallResult result;
  result.errorName = std::move(name);
  result.errorMessage = std::move(message);
  return result;
}

SystemdCallResult SystemdCallResult::transportFailure(int error) {
  SystemdCallResult result;
  result.transportError = error;
  return result;
}

SystemdUnits systemdBusUnits(SystemdBusOptions options) {
  const double query = options.queryTimeoutSeconds;
  const double change = options.changeTimeoutSeconds;
  auto connection = std::make_shared<ManagerConnection>(std::move(options));

  SystemdUnits units;
  units.getUnitFileState = [connection, query](const std::string& unit) {
    return connection->call(
        "GetUnitFileState", query,
        [&unit](sd_bus_message* message) {
          return sd_bus_message_append(message, "s", unit.c_str());
        },
        [](sd_bus_message* reply, SystemdCallResult& result) {
          const char* state = nullptr;
          const int r = sd_bus_message_read(reply, "s", &state);
          if (r >= 0 && state) result.state = state;
          return r < 0 ? r : 0;
        });
  };
  units.enableUnitFiles = [connection, change](const std::string& unit) {
    return connection->call(
        "EnableUnitFiles", change,
        [&unit](sd_bus_message* message) {
          int r = appendUnitList(message, unit);
          if (r >= 0) r = sd_bus_message_append(message, "bb", 0, 0);
          return r;
        },
        [](sd_bus_message* reply, SystemdCallResult& result) {
          int carries = 1;
          const int r = sd_bus_message_read(reply, "b", &carries);
          result.carriesInstallInfo = carries != 0;
          return r < 0 ? r : 0;
        });
  };
  units.disableUnitFiles = [connection, change](const std::string& unit) {
    return connection->call("DisableUnitFiles", change, [&unit](sd_bus_message* message) {
      int r = appendUnitList(message, unit);
      if (r >= 0) r = sd_bus_message_append(message, "b", 0);
      return r;
    });
  };
  units.reload = [connection, change] { return connection->call("Reload", change, {}); };
  units.startUnit = [connection, change](const std::string& unit) {
    return connection->call("StartUnit", change, [&unit](sd_bus_message* message) {
      return sd_bus_message_append(message, "ss", unit.c_str(), "replace");
    });
  };
  units.stopUnit = [connection, change](const std::string& unit) {
    return connection->call("StopUnit", change, [&unit](sd_bus_message* message) {
      return sd_bus_message_append(message, "ss", unit.c_str(), "replace");
    });
  };
  return units;
}

}  // namespace nubrik
