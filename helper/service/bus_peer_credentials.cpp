#include "helper/service/bus_peer_credentials.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "core/sd_handles.hpp"
#include "core/unique_fd.hpp"

namespace nubrik {

namespace {

constexpr const char* busService = "org.freedesktop.DBus";
constexpr const char* busPath = "/org/freedesktop/DBus";
constexpr const char* busInterface = "org.freedesktop.DBus";

class ErrorScope {
 public:
  ErrorScope() = default;
  ~ErrorScope() { sd_bus_error_free(&error_); }
  ErrorScope(const ErrorScope&) = delete;
  ErrorScope& operator=(const ErrorScope&) = delete;
  sd_bus_error* get() { return &error_; }

 private:
  sd_bus_error error_{};
};

struct Credentials {
  std::optional<pid_t> pid;
  std::optional<uid_t> uid;
  std::optional<std::vector<gid_t>> groups;
  UniqueFd processFd;  // a duplicate of our own, when the bus offers one
};

// The kernel's limit on supplementary groups, plus the effective group.
constexpr std::size_t maxGroupIDs = 65536 + 1;

// The value of "UnixGroupIDs", positioned at its variant: an array of uint32 and nothing else.
// Returns false only when the message cannot be read on; a value of another type is skipped and
// leaves the groups unknown.
bool readGroupIDs(sd_bus_message* reply, std::optional<std::vector<gid_t>>& groups) {
  char type = 0;
  const char* contents = nullptr;
  if (sd_bus_message_peek_type(reply, &type, &contents) <= 0 || type != 'v') return false;
  if (contents == nullptr || std::strcmp(contents, "au") != 0 || groups) {
    return sd_bus_message_skip(reply, "v") >= 0;
  }
  if (sd_bus_message_enter_container(reply, 'v', "au") <= 0) return false;
  const void* data = nullptr;
  size_t size = 0;
  if (sd_bus_message_read_array(reply, 'u', &data, &size) < 0) return false;
  if (size % sizeof(uint32_t) == 0 && size / sizeof(uint32_t) <= maxGroupIDs) {
    std::vector<gid_t> ids(size / sizeof(uint32_t));
    for (std::size_t i = 0; i < ids.size(); ++i) {
      uint32_t id = 0;
      std::memcpy(&id, static_cast<const char*>(data) + i * sizeof id, sizeof id);
      ids[i] = static_cast<gid_t>(id);
    }
    groups = std::move(ids);
  }
  return sd_bus_message_exit_container(reply) >= 0;
}

// One uint32 answer of the bus daemon about the sender.
std::optional<uint32_t> askUint32(sd_bus* bus, const char* member, const std::string& sender) {
  ErrorScope error;
  BusMessageHandle reply;
  if (sd_bus_call_method(bus, busService, busPath, busInterface, member, error.get(), out(reply),
                         "s", sender.c_str()) < 0)
    return std::nullopt;
  uint32_t value = 0;
  if (sd_bus_message_read(reply.get(), "u", &value) < 0) return std::nullopt;
  return value;
}

// GetConnectionCredentials: a{sv} with "ProcessID" (u), "UnixUserID" (u), "UnixGroupIDs" (au)
// and, on newer bus daemons, "ProcessFD" (h). sd-bus's own credential queries give no groups from
// dbus-daemon (and fill them in from /proc when asked to augment, which is the process as it is
// now, not as it connected), so the reply is read here.
std::optional<Credentials> askCredentials(sd_bus* bus, const std::string& sender) {
  ErrorScope error;
  BusMessageHandle reply;
  if (sd_bus_call_method(bus, busService, busPath, busInterface, "GetConnectionCredentials",
                         error.get(), out(reply), "s", sender.c_str()) < 0)
    return std::nullopt;
  std::optional<Credentials> result;
  Credentials& credentials = result.emplace();
  if (sd_bus_message_enter_container(reply.get(), 'a', "{sv}") < 0) return std::nullopt;
  for (;;) {
    const int entered = sd_bus_message_enter_container(reply.get(), 'e', "sv");
    if (entered < 0) return std::nullopt;
    if (entered == 0) break;
    const char* key = nullptr;
    if (sd_bus_message_read(reply.get(), "s", &key) < 0) return std::nullopt;
    uint32_t number = 0;
    int fd = -1;
    if (std::strcmp(key, "ProcessID") == 0 &&
        sd_bus_message_read(reply.get(), "v", "u", &number) >= 0) {
      credentials.pid = static_cast<pid_t>(number);
    } else if (std::strcmp(key, "UnixUserID") == 0 &&
               sd_bus_message_read(reply.get(), "v", "u", &number) >= 0) {
      credentials.uid = static_cast<uid_t>(number);
    } else if (std::strcmp(key, "UnixGroupIDs") == 0) {
      if (!readGroupIDs(reply.get(), credentials.groups)) return std::nullopt;
    } else if (std::strcmp(key, "ProcessFD") == 0 &&
               sd_bus_message_read(reply.get(), "v", "h", &fd) >= 0) {
      // The message owns its descriptor; keep our own copy.
      if (!credentials.processFd.valid())
        credentials.processFd.reset(::fcntl(fd, F_DUPFD_CLOEXEC, 3));
    } else if (sd_bus_message_skip(reply.get(), "v") < 0) {
      return std::nullopt;
    }
    if (sd_bus_message_exit_container(reply.get()) < 0) return std::nullopt;
  }
  if (sd_bus_message_exit_container(reply.get()) < 0) return std::nullopt;
  return result;
}

int pidfdOpen(pid_t pid) {
#ifdef SYS_pidfd_open
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
#else
  (void)pid;
  errno = ENOSYS;
  return -1;
#endif
}

// A process descriptor becomes readable when its process exits. Polling it needs no permission
// over the process, unlike sending it signal 0, which the kernel refuses for another user's
// process unless the daemon holds CAP_KILL (and its unit does not grant it).
bool pidfdAlive(int pidfd) {
  pollfd watched{pidfd, POLLIN, 0};
  int ready;
  do {
    ready = ::poll(&watched, 1, 0);
  } while (ready < 0 && errno == EINTR);
  return ready == 0;
}

}  // namespace

XPCCaller callerFromBus(sd_bus* bus, const std::string& sender) {
  XPCCaller caller;
  caller.sender = sender;
  std::optional<Credentials> credentials = askCredentials(bus, sender);
  if (!credentials) {
    // Bus daemons before GetConnectionCredentials answer the two single questions.
    credentials.emplace();
    if (auto pid = askUint32(bus, "GetConnectionUnixProcessID", sender)) credentials->pid = *pid;
    if (auto uid = askUint32(bus, "GetConnectionUnixUser", sender)) credentials->uid = *uid;
  }
  auto pinned = std::make_shared<UniqueFd>(std::move(credentials->processFd));
  if (credentials->pid && pinned->get() < 0 && *credentials->pid > 0) {
    pinned = std::make_shared<UniqueFd>(pidfdOpen(*credentials->pid));
  }
  if (!credentials->pid || *credentials->pid <= 0 || pinned->get() < 0) return caller;
  caller.pid = credentials->pid;
  caller.uid = credentials->uid;
  caller.groups = std::move(credentials->groups);
  const pid_t pid = *credentials->pid;
  caller.stillSamePeer = [bus, sender, pid, pinned] {
    // The pinned process is still alive, so its pid has not been handed to another process, and
    // the sender's connection still belongs to that pid.
    if (!pidfdAlive(pinned->get())) return false;
    const auto current = askUint32(bus, "GetConnectionUnixProcessID", sender);
    return current && static_cast<pid_t>(*current) == pid;
  };
  return caller;
}

}  // namespace nubrik
