#include "app/helper_bus_connection.hpp"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>
#include <exception>
#include <list>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "core/nubrik_xpc.hpp"
#include "core/sd_handles.hpp"

namespace nubrik {

namespace {

constexpr const char* busDaemonName = "org.freedesktop.DBus";
constexpr const char* busDaemonPath = "/org/freedesktop/DBus";
constexpr const char* busDaemonInterface = "org.freedesktop.DBus";

std::string errnoText(int negativeErrno) {
  return std::generic_category().message(-negativeErrno);
}

uint64_t microseconds(double seconds) {
  if (!(seconds > 0)) return 0;
  constexpr double ceiling = 1e15;
  const double usec = seconds * 1e6;
  return static_cast<uint64_t>(usec < ceiling ? usec : ceiling);
}

std::string errorText(sd_bus_message* reply) {
  const sd_bus_error* error = sd_bus_message_get_error(reply);
  if (!error || !error->name) return "error reply";
  std::string text = error->name;
  if (error->message) text += std::string(": ") + error->message;
  return text;
}

// One request of the helper's protocol, waiting to be sent.
struct Call {
  const HelperXPCMethod* method = nullptr;
  // Appends the arguments; a negative errno on failure.
  std::function<int(sd_bus_message* message)> appendArguments;
  // Reads a reply of the method's signature and hands it on; false when it cannot be read.
  std::function<bool(sd_bus_message* reply)> readReply;
};

}  // namespace

class HelperBusConnection::Impl : public std::enable_shared_from_this<Impl> {
 public:
  Impl(EventLoop& loop, HelperConnectionOptions options, HelperOwnerCheck ownerCheck,
       BusOpener openBus)
      : loop_(loop),
        options_(std::move(options)),
        ownerCheck_(std::move(ownerCheck)),
        openBus_(std::move(openBus)) {}

  ~Impl() { teardown(); }

  // Everything below runs on the loop's thread.

  void setInterruptionHandler(ConnectionErrorHandler handler) {
    if (state_ != State::closed) interruption_ = std::move(handler);
  }
  void setInvalidationHandler(ConnectionErrorHandler handler) {
    if (state_ != State::closed) invalidation_ = std::move(handler);
  }
  void setRequestErrorHandler(ConnectionErrorHandler handler) {
    if (state_ != State::closed) requestError_ = std::move(handler);
  }

  void resume() {
    if (state_ != State::created) return;
    state_ = State::resolving;
    // An open connection keeps itself alive until it is closed, whoever drops it meanwhile.
    self_ = shared_from_this();
    int result = openBus_ ? openBus_(out(bus_)) : sd_bus_open_system(out(bus_));
    if (result < 0) {
      close({"cannot connect to the system bus: " + errnoText(result)});
      return;
    }
    sd_bus_set_exit_on_disconnect(bus_.get(), 0);
    sd_bus_set_close_on_exit(bus_.get(), 0);
    result = sd_bus_attach_event(bus_.get(), loop_.event(), SD_EVENT_PRIORITY_NORMAL);
    if (result >= 0) result = sd_bus_add_filter(bus_.get(), out(filter_), onFilter, this);
    if (result >= 0) {
      result = callBusDaemon("GetNameOwner", NubrikXPC::busName,
                             [this](sd_bus_message* reply) { onNameOwner(reply); });
    }
    if (result < 0) close({"cannot use the system bus: " + errnoText(result)});
  }

  void invalidate() { close({"connection invalidated"}); }

  void send(Call call) {
    switch (state_) {
      case State::created:
      case State::resolving:
        // Nothing goes out before the owner of the name has been judged.
        queued_.push_back(std::move(call));
        return;
      case State::ready:
        issue(call);
        return;
      case State::closed:
        return;
    }
  }

 private:
  enum class State { created, resolving, ready, closed };

  struct Pending {
    Impl* impl = nullptr;
    std::function<void(sd_bus_message* reply)> handler;
    BusSlotHandle slot;
  };

  int callAsync(sd_bus_message* message, std::function<void(sd_bus_message* reply)> handler) {
    auto pending = std::make_unique<Pending>();
    pending->impl = this;
    pending->handler = std::move(handler);
    const int result =
        sd_bus_call_async(bus_.get(), out(pending->slot), message, onReply, pending.get(),
                          microseconds(options_.methodTimeoutSeconds));
    if (result >= 0) pending_.push_back(std::move(pending));
    return result;
  }

  int callBusDaemon(const char* member, const std::string& argument,
                    std::function<void(sd_bus_message* reply)> handler) {
    BusMessageHandle message;
    int result = sd_bus_message_new_method_call(bus_.get(), out(message), busDaemonName,
                                                busDaemonPath, busDaemonInterface, member);
    if (result >= 0) result = sd_bus_message_append(message.get(), "s", argument.c_str());
    if (result >= 0) result = callAsync(message.get(), std::move(handler));
    return result;
  }

  void onNameOwner(sd_bus_message* reply) {
    if (sd_bus_message_is_method_error(reply, nullptr)) {
      close({"the helper is not on the bus: " + errorText(reply)});
      return;
    }
    const char* owner = nullptr;
    if (sd_bus_message_read(reply, "s", &owner) < 0 || !owner || !*owner) {
      close({"the bus daemon did not name the helper's owner"});
      return;
    }
    const std::string unique = owner;
    const int result =
        callBusDaemon("GetConnectionCredentials", unique,
                      [this, unique](sd_bus_message* answer) { onCredentials(unique, answer); });
    if (result < 0) close({"cannot ask for the helper's credentials: " + errnoText(result)});
  }

  void onCredentials(const std::string& unique, sd_bus_message* reply) {
    if (sd_bus_message_is_method_error(reply, nullptr)) {
      close({"the helper's credentials are unavailable: " + errorText(reply)});
      return;
    }
    std::optional<uint32_t> pid;
    std::optional<uint32_t> uid;
    if (!readCredentials(reply, pid, uid) || !pid || !uid) {
      close({"the bus daemon did not report the helper's credentials"});
      return;
    }
    PeerAuthorization authorization = PeerAuthorization::rejected("the identity check failed");
    try {
      authorization = ownerCheck_(static_cast<pid_t>(*pid), static_cast<uid_t>(*uid));
    } catch (const std::exception&) {
      // Nothing may unwind through the bus library; a check that cannot finish rejects.
    }
    if (!authorization.isAuthorized()) {
      close({"the helper's bus name is owned by an untrusted process: " + authorization.reason});
      return;
    }
    owner_ = unique;
    state_ = State::ready;
    std::vector<Call> queued = std::move(queued_);
    queued_.clear();
    for (const Call& call : queued) {
      if (state_ != State::ready) break;
      issue(call);
    }
  }

  static bool readCredentials(sd_bus_message* reply, std::optional<uint32_t>& pid,
                              std::optional<uint32_t>& uid) {
    if (sd_bus_message_enter_container(reply, 'a', "{sv}") < 0) return false;
    for (;;) {
      const int entered = sd_bus_message_enter_container(reply, 'e', "sv");
      if (entered < 0) return false;
      if (entered == 0) break;
      const char* key = nullptr;
      if (sd_bus_message_read(reply, "s", &key) < 0 || !key) return false;
      const std::string name = key;
      if (name == "ProcessID" || name == "UnixUserID") {
        uint32_t value = 0;
        if (sd_bus_message_read(reply, "v", "u", &value) < 0) return false;
        (name == "ProcessID" ? pid : uid) = value;
      } else if (sd_bus_message_skip(reply, "v") < 0) {
        return false;
      }
      if (sd_bus_message_exit_container(reply) < 0) return false;
    }
    return sd_bus_message_exit_container(reply) >= 0;
  }

  void issue(const Call& call) {
    const std::string member = call.method->member;
    BusMessageHandle message;
    // Addressed to the unique name that was judged, not to the well-known name.
    int result = sd_bus_message_new_method_call(bus_.get(), out(message), owner_.c_str(),
                                                NubrikXPC::objectPath, NubrikXPC::interfaceName,
                                                call.method->member);
    if (result >= 0 && call.appendArguments) result = call.appendArguments(message.get());
    if (result >= 0) {
      result = callAsync(message.get(),
                         [this, call](sd_bus_message* reply) { onMethodReply(call, reply); });
    }
    message.reset();
    if (result < 0) requestFailed({"cannot send " + member + ": " + errnoText(result)});
  }

  void onMethodReply(const Call& call, sd_bus_message* reply) {
    const std::string member = call.method->member;
    if (sd_bus_message_is_method_error(reply, nullptr)) {
      requestFailed({member + " failed: " + errorText(reply)});
      return;
    }
    const char* sender = sd_bus_message_get_sender(reply);
    if (!sender || owner_ != sender) {
      requestFailed({member + " was answered by someone other than the helper"});
      return;
    }
    if (sd_bus_message_has_signature(reply, call.method->outSignature) <= 0 ||
        !call.readReply(reply)) {
      requestFailed({member + " returned a reply of the wrong type"});
    }
  }

  void requestFailed(const ConnectionError& error) {
    const ConnectionErrorHandler handler = requestError_;
    if (handler) handler(error);
  }

  void close(const ConnectionError& reason) {
    if (state_ == State::closed) return;
    state_ = State::closed;
    ConnectionErrorHandler invalidation = std::move(invalidation_);
    // Dropping every handler breaks the cycles through the request that owns this connection.
    invalidation_ = nullptr;
    interruption_ = nullptr;
    requestError_ = nullptr;
    queued_.clear();
    for (auto& pending : pending_) pending->handler = nullptr;
    // The bus itself goes later, outside whatever bus callback led here.
    std::shared_ptr<Impl> keep = self_ ? std::move(self_) : shared_from_this();
    self_.reset();
    loop_.post([keep] { keep->teardown(); });
    if (invalidation) invalidation(reason);
  }

  void teardown() {
    for (auto& pending : pending_) pending->slot.reset();
    filter_.reset();
    bus_.reset();
  }

  static int onReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
    auto* pending = static_cast<Pending*>(userdata);
    Impl* impl = pending->impl;
    if (impl->state_ == State::closed) return 0;
    const std::shared_ptr<Impl> keep = impl->shared_from_this();
    // Taken out first: the handler may close the connection, which clears every handler.
    auto handler = std::move(pending->handler);
    pending->handler = nullptr;
    if (handler) handler(reply);
    return 0;
  }

  static int onFilter(sd_bus_message* message, void* userdata, sd_bus_error*) {
    auto* impl = static_cast<Impl*>(userdata);
    if (impl->state_ != State::closed &&
        sd_bus_message_is_signal(message, "org.freedesktop.DBus.Local", "Disconnected") > 0) {
      const std::shared_ptr<Impl> keep = impl->shared_from_this();
      const ConnectionError error{"the bus connection was lost"};
      ConnectionErrorHandler interruption = std::move(impl->interruption_);
      impl->interruption_ = nullptr;
      if (interruption) interruption(error);
      impl->close(error);
    }
    return 0;
  }

  EventLoop& loop_;
  const HelperConnectionOptions options_;
  const HelperOwnerCheck ownerCheck_;
  const BusOpener openBus_;
  State state_ = State::created;
  ClosingBusHandle bus_;
  BusSlotHandle filter_;
  // The unique name of the judged owner; replies from anyone else are not trusted.
  std::string owner_;
  std::vector<Call> queued_;
  std::list<std::unique_ptr<Pending>> pending_;
  ConnectionErrorHandler interruption_;
  ConnectionErrorHandler invalidation_;
  ConnectionErrorHandler requestError_;
  std::shared_ptr<Impl> self_;
};

namespace {

std::function<bool(sd_bus_message*)> readCodeAndMessage(
    std::function<void(std::int64_t, std::string)> reply) {
  return [reply = std::move(reply)](sd_bus_message* answer) {
    int64_t code = 0;
    const char* text = nullptr;
    if (sd_bus_message_read(answer, "xs", &code, &text) < 0) return false;
    reply(code, text ? text : "");
    return true;
  };
}

std::function<bool(sd_bus_message*)> readEarlyUnlock(EarlyUnlockReplyHandler reply) {
  return [reply = std::move(reply)](sd_bus_message* answer) {
    int64_t code = 0;
    double expiration = 0;
    const char* text = nullptr;
    if (sd_bus_message_read(answer, "xds", &code, &expiration, &text) < 0) return false;
    reply(code, expiration, text ? text : "");
    return true;
  };
}

void submit(EventLoop& loop, const std::shared_ptr<HelperBusConnection::Impl>& impl, Call call) {
  loop.post([impl, call = std::move(call)]() mutable { impl->send(std::move(call)); });
}

}  // namespace

HelperOwnerCheck helperOwnerCheck(std::string expectedTeamID, CodeIdentity identity,
                                  bool clientIsPrivileged) {
  return [expectedTeamID = std::move(expectedTeamID), identity = std::move(identity),
          clientIsPrivileged](pid_t pid, uid_t uid) {
    if (uid != 0) return PeerAuthorization::rejected(std::string(ownerNotRootReason));
    const auto executable = identity.executableOfProcess(pid);
    PeerIdentity owner = executable ? identity.identityOfExecutable(*executable) : PeerIdentity{};
    if (!executable && !clientIsPrivileged) {
      // The kernel shows a root process's executable only to privileged readers. The system bus
      // lets nobody but root own the helper's name, so a root owner stands for this
      // installation's helper, provided that helper lies where it must, in a trusted tree.
      if (const auto prefix = identity.installationPrefix()) {
        owner = identity.identityOfExecutable(*prefix + std::string(helperExecutableInstallPath));
      }
    }
    return authorizePeer(owner, NubrikXPC::helperIdentifier, expectedTeamID);
  };
}

HelperOwnerCheck productionHelperOwnerCheck(std::string expectedTeamID) {
  return helperOwnerCheck(std::move(expectedTeamID), CodeIdentity::production(), ::geteuid() == 0);
}

HelperBusConnection::HelperBusConnection(EventLoop& loop, HelperConnectionOptions options,
                                         HelperOwnerCheck ownerCheck, BusOpener openBus)
    : loop_(loop),
      impl_(std::make_shared<Impl>(loop, std::move(options), std::move(ownerCheck),
                                   std::move(openBus))) {}

HelperBusConnection::~HelperBusConnection() {
  loop_.post([impl = impl_] { impl->invalidate(); });
}

void HelperBusConnection::setInterruptionHandler(ConnectionErrorHandler handler) {
  loop_.post([impl = impl_, handler = std::move(handler)]() mutable {
    impl->setInterruptionHandler(std::move(handler));
  });
}

void HelperBusConnection::setInvalidationHandler(ConnectionErrorHandler handler) {
  loop_.post([impl = impl_, handler = std::move(handler)]() mutable {
    impl->setInvalidationHandler(std::move(handler));
  });
}

void HelperBusConnection::setRequestErrorHandler(ConnectionErrorHandler handler) {
  loop_.post([impl = impl_, handler = std::move(handler)]() mutable {
    impl->setRequestErrorHandler(std::move(handler));
  });
}

void HelperBusConnection::resume() {
  loop_.post([impl = impl_] { impl->resume(); });
}

void HelperBusConnection::invalidate() {
  loop_.post([impl = impl_] { impl->invalidate(); });
}

void HelperBusConnection::startSession(double durationSeconds, StartReplyHandler reply) {
  submit(loop_, impl_,
         Call{&NubrikXPC::startSessionWithDuration,
              [durationSeconds](sd_bus_message* message) {
                return sd_bus_message_append(message, "d", durationSeconds);
              },
              [reply = std::move(reply)](sd_bus_message* answer) {
                int64_t code = 0;
                double expiration = 0;
                const char* text = nullptr;
                if (sd_bus_message_read(answer, "xds", &code, &expiration, &text) < 0) return false;
                reply(code, expiration, text ? text : "");
                return true;
              }});
}

void HelperBusConnection::healthCheck(HealthReplyHandler reply) {
  submit(loop_, impl_,
         Call{&NubrikXPC::healthCheck, {}, [reply = std::move(reply)](sd_bus_message* answer) {
                int64_t protocolVersion = 0;
                const char* helperVersion = nullptr;
                int64_t readyCode = 0;
                if (sd_bus_message_read(answer, "xsx", &protocolVersion, &helperVersion,
                                        &readyCode) < 0) {
                  return false;
                }
                reply(protocolVersion, helperVersion ? helperVersion : "", readyCode);
                return true;
              }});
}

void HelperBusConnection::prepareRestart(RestartReplyHandler reply) {
  submit(loop_, impl_, Call{&NubrikXPC::prepareRestart, {}, readCodeAndMessage(std::move(reply))});
}

void HelperBusConnection::requestEarlyUnlock(EarlyUnlockReplyHandler reply) {
  submit(loop_, impl_, Call{&NubrikXPC::requestEarlyUnlock, {}, readEarlyUnlock(std::move(reply))});
}

void HelperBusConnection::cancelEarlyUnlock(EarlyUnlockReplyHandler reply) {
  submit(loop_, impl_, Call{&NubrikXPC::cancelEarlyUnlock, {}, readEarlyUnlock(std::move(reply))});
}

void HelperBusConnection::setSchedules(std::string payload, ScheduleSetReplyHandler reply) {
  submit(loop_, impl_,
         Call{&NubrikXPC::setSchedules,
              [payload = std::move(payload)](sd_bus_message* message) {
                return sd_bus_message_append_array(message, 'y', payload.data(), payload.size());
              },
              readCodeAndMessage(std::move(reply))});
}

void HelperBusConnection::getSchedules(ScheduleGetReplyHandler reply) {
  submit(loop_, impl_,
         Call{&NubrikXPC::getSchedules, {}, [reply = std::move(reply)](sd_bus_message* answer) {
                int64_t code = 0;
                const void* bytes = nullptr;
                size_t size = 0;
                const char* text = nullptr;
                if (sd_bus_message_read(answer, "x", &code) < 0 ||
                    sd_bus_message_read_array(answer, 'y', &bytes, &size) < 0 ||
                    sd_bus_message_read(answer, "s", &text) < 0) {
                  return false;
                }
                std::string payload(static_cast<const char*>(bytes), bytes ? size : 0);
                reply(code, std::move(payload), text ? text : "");
                return true;
              }});
}

}  // namespace nubrik
