#include "app/package_kit_bus.hpp"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "app/bus_address.hpp"
#include "app/bus_wait.hpp"
#include "core/sd_handles.hpp"

namespace nubrik {

namespace {

constexpr const char* serviceName = "org.freedesktop.PackageKit";
constexpr const char* servicePath = "/org/freedesktop/PackageKit";
constexpr const char* serviceInterface = "org.freedesktop.PackageKit";
constexpr const char* transactionInterface = "org.freedesktop.PackageKit.Transaction";

// The signals of one transaction, from PackageKit's own connection only: anyone may send a
// signal with the transaction's path.
struct Collector {
  PackageKitTransaction& result;
  bool ended = false;

  static int onSignal(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto& self = *static_cast<Collector*>(userdata);
    if (self.ended) return 0;
    if (sd_bus_message_is_signal(message, transactionInterface, "Package")) {
      uint32_t info = 0;
      const char* id = nullptr;
      const char* summary = nullptr;
      if (sd_bus_message_read(message, "uss", &info, &id, &summary) >= 0) {
        self.result.packages.push_back({info, id, summary});
      }
    } else if (sd_bus_message_is_signal(message, transactionInterface, "ErrorCode")) {
      uint32_t code = 0;
      const char* details = nullptr;
      if (sd_bus_message_read(message, "us", &code, &details) >= 0 && !self.result.errorCode) {
        self.result.errorCode = PackageKitErrorCode{code, details};
      }
    } else if (sd_bus_message_is_signal(message, transactionInterface, "Finished")) {
      uint32_t exit = 0;
      uint32_t runtime = 0;
      if (sd_bus_message_read(message, "uu", &exit, &runtime) >= 0) self.result.exit = exit;
      self.ended = true;
    } else if (sd_bus_message_is_signal(message, transactionInterface, "Destroy")) {
      self.ended = true;
    }
    return 0;
  }

  // PackageKit's connection closed: nothing more will come.
  static int onOwnerGone(sd_bus_message*, void* userdata, sd_bus_error*) {
    static_cast<Collector*>(userdata)->ended = true;
    return 0;
  }
};

// One transaction on a connection of its own.
class TransactionRun {
 public:
  TransactionRun(const PackageKitBusOptions& options, double timeoutSeconds)
      : options_(options),
        deadline_(monotonicMicroseconds() + static_cast<uint64_t>(timeoutSeconds * 1e6)) {}

  using Append = std::function<int(sd_bus_message*)>;
  struct Call {
    const char* member;
    Append append;
  };

  // Creates the transaction, listens to it, makes the calls in order and collects the signals
  // until Finished.
  PackageKitTransaction run(const std::vector<Call>& calls) {
    int r = options_.address.empty() ? sd_bus_open_system(out(bus_))
                                     : openBusAtAddress(options_.address, out(bus_));
    if (r < 0) {
      result_.busMissing = true;
      result_.transportError = -r;
      return std::move(result_);
    }
    // polkit may then ask the user (through the desktop's agent) instead of refusing outright.
    (void)sd_bus_set_allow_interactive_authorization(bus_.get(), 1);

    BusMessageHandle created;
    if (!call(serviceName, servicePath, serviceInterface, "CreateTransaction", {}, created)) {
      return std::move(result_);
    }
    const char* path = nullptr;
    const char* owner = sd_bus_message_get_sender(created.get());
    if ((r = sd_bus_message_read(created.get(), "o", &path)) < 0 || owner == nullptr) {
      result_.transportError = r < 0 ? -r : EBADMSG;
      return std::move(result_);
    }
    // The transaction's name and owner outlive `created` in these copies.
    const std::string transaction = path;
    const std::string sender = owner;

    Collector collector{result_};
    BusSlotHandle signals;
    BusSlotHandle ownerGone;
    const std::string ownerRule =
        "type='signal',sender='org.freedesktop.DBus',path='/org/freedesktop/DBus',"
        "interface='org.freedesktop.DBus',member='NameOwnerChanged',arg0='" +
        sender + "'";
    if ((r = sd_bus_match_signal(bus_.get(), out(signals), sender.c_str(), transaction.c_str(),
                                 transactionInterface, nullptr, Collector::onSignal, &collector)) <
            0 ||
        (r = sd_bus_add_match(bus_.get(), out(ownerGone), ownerRule.c_str(), Collector::onOwnerGone,
                              &collector)) < 0) {
      result_.transportError = -r;
      return std::move(result_);
    }
    for (const Call& step : calls) {
      BusMessageHandle reply;
      if (!call(sender.c_str(), transaction.c_str(), transactionInterface, step.member, step.append,
                reply)) {
        return std::move(result_);
      }
    }
    if ((r = wait([&collector] { return collector.ended; })) < 0) result_.transportError = -r;
    return std::move(result_);
  }

 private:
  // One method call; false (with the failure in the result) unless it was answered with success.
  bool call(const char* destination, const char* path, const char* interface, const char* member,
            const Append& append, BusMessageHandle& reply) {
    BusMessageHandle message;
    int r = sd_bus_message_new_method_call(bus_.get(), out(message), destination, path, interface,
                                           member);
    if (r >= 0 && append) r = append(message.get());
    PendingReply pending;
    BusSlotHandle slot;
    if (r >= 0) {
      const uint64_t now = monotonicMicroseconds();
      r = sd_bus_call_async(bus_.get(), out(slot), message.get(), PendingReply::onReply, &pending,
                            deadline_ > now ? deadline_ - now : 1);
    }
    if (r >= 0) r = wait([&pending] { return pending.done; });
    // Nothing may call into `pending` once this returns, answered or not.
    slot.reset();
    if (r < 0) {
      result_.transportError = -r;
      return false;
    }
    if (sd_bus_message_is_method_error(pending.reply.get(), nullptr)) {
      const sd_bus_error* error = sd_bus_message_get_error(pending.reply.get());
      result_.errorName = error && error->name ? error->name : "org.freedesktop.DBus.Error.Failed";
      result_.errorMessage = error && error->message ? error->message : "";
      return false;
    }
    reply = std::move(pending.reply);
    return true;
  }

  // Processes the bus until `done` holds, the deadline passes (-ETIMEDOUT) or the stop
  // descriptor fires (-ECANCELED). A negative errno on failure.
  int wait(const std::function<bool()>& done) {
    return processBusUntil(bus_.get(), done, options_.stopFd, deadline_);
  }

  const PackageKitBusOptions& options_;
  const uint64_t deadline_;
  PackageKitTransaction result_;
  // Closed at once when the run ends: a transaction still going on is PackageKit's own then.
  ClosingBusHandle bus_;
};

}  // namespace

PackageKitClient packageKitBusClient(PackageKitBusOptions options) {
  auto shared = std::make_shared<const PackageKitBusOptions>(std::move(options));
  PackageKitClient client;
  client.getUpdates = [shared] {
    return TransactionRun(*shared, shared->checkTimeoutSeconds)
        .run({{"GetUpdates", [](sd_bus_message* message) {
                 return sd_bus_message_append(message, "t", packagekit::filterNone);
               }}});
  };
  client.updatePackage = [shared](const std::string& packageId) {
    return TransactionRun(*shared, shared->installTimeoutSeconds)
        .run({{"SetHints",
               [](sd_bus_message* message) {
                 return sd_bus_message_append(message, "as", 1, "interactive=true");
               }},
              {"UpdatePackages", [&packageId](sd_bus_message* message) {
                 return sd_bus_message_append(
                     message, "tas", packagekit::transactionFlagOnlyTrusted, 1, packageId.c_str());
               }}});
  };
  return client;
}

}  // namespace nubrik
