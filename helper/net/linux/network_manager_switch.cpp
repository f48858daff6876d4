#include "helper/net/linux/network_manager_switch.hpp"

#if defined(__linux__)

#include <fcntl.h>
#include <sys/stat.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "core/posix_file.hpp"
#include "core/sd_handles.hpp"
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
  sd_bus_error error{};
  ~BusError() { sd_bus_error_free(&error); }
};

// Errors after which the connection is no longer worth keeping.
bool isConnectionLost(int error) {
  return error == ENOTCONN || error == ECONNRESET || error == EPIPE || error == ECHILD ||
         error == ESHUTDOWN;
}

}  // namespace

struct NetworkManagerSwitch::Connection {
  FlushingBusHandle bus;
  pid_t owner = 0;
};

NetworkManagerSwitch::NetworkManagerSwitch(std::string busAddress)
    : busAddress_(std::move(busAddress)) {}

NetworkManagerSwitch::~NetworkManagerSwitch() = default;

NetworkManagerSwitch::Connection* NetworkManagerSwitch::connection() {
  // sd-bus connections must not be used across fork, and a closed one never reopens by itself.
  if (connection_ &&
      (connection_->owner != ::getpid() || sd_bus_is_open(connection_->bus.get()) <= 0)) {
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
  // Without the bus's socket there is nothing to connect to; asking the file system first keeps a
  // machine without a system bus from costing a socket on every pass.
  if (const std::string_view prefix = "unix:path="; address.starts_with(prefix)) {
    const std::string path = address.substr(prefix.size(), address.find_first_of(",;") -
                                                               prefix.size());
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 && errno == ENOENT) return nullptr;
  }
  auto fresh = std::make_unique<Connection>();
  int result = sd_bus_new(out(fresh->bus));
  if (result >= 0) result = sd_bus_set_address(fresh->bus.get(), address.c_str());
  if (result >= 0) result = sd_bus_set_bus_client(fresh->bus.get(), 1);
  if (result >= 0)
    result = sd_bus_set_method_call_timeout(fresh->bus.get(), methodTimeoutMicroseconds);
  if (result >= 0) result = sd_bus_start(fresh->bus.get());
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
  BusMessageHandle reply;
  int result = sd_bus_call_method(open->bus.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                  "org.freedesktop.DBus", "NameHasOwner", &error.error, out(reply),
                                  "s", managerName);
  int owned = 0;
  if (result >= 0) result = sd_bus_message_read(reply.get(), "b", &owned);
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
      sd_bus_get_property_trivial(open->bus.get(), managerName, managerPath, managerInterface,
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
    const int result =
        sd_bus_call_method(open->bus.get(), managerName, managerPath, managerInterface, "Enable",
                           &error.error, nullptr, "b", on ? 1 : 0);
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

namespace {

constexpr const char* stateFileName = "NetworkManager.state";
constexpr std::string_view stateGroup = "main";
constexpr std::string_view stateKey = "NetworkingEnabled";
// NetworkManager's state file is a few lines; anything this big is not one.
constexpr size_t maximumStateFileBytes = 64 * 1024;
constexpr mode_t newStateFileMode = 0644;
constexpr int temporaryNameAttempts = 16;

NetworkStateError garbledStateFile() {
  return NetworkStateError::malformedOutput(stateFileName);
}

// The state directory, or an invalid descriptor when there is none. The directory path is the
// administrator's (root-owned /var/lib), so a link there is followed, unlike one at the file.
UniqueFd openStateDirectory(const std::string& directory) {
  UniqueFd fd(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid() && errno != ENOENT && errno != ENOTDIR) {
    throw NetworkSystemError::systemCallFailed("open " + directory, errno);
  }
  return fd;
}

struct StateFileContent {
  std::string bytes;
  struct stat status {};
};

// The file's bytes, or nullopt when it does not exist. Throws NetworkSystemError when it exists
// but cannot be read; a symbolic link, a FIFO or an oversized file counts as unreadable.
std::optional<StateFileContent> readStateFile(int directoryFd, const std::string& path) {
  UniqueFd fd(::openat(directoryFd, stateFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) {
    if (errno == ENOENT) return std::nullopt;
    throw NetworkSystemError::systemCallFailed("open " + path, errno);
  }
  StateFileContent content;
  if (::fstat(fd.get(), &content.status) != 0) {
    throw NetworkSystemError::systemCallFailed("read " + path, errno);
  }
  if (!S_ISREG(content.status.st_mode)) {
    throw NetworkSystemError::systemCallFailed("read " + path, EINVAL);
  }
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw NetworkSystemError::systemCallFailed("read " + path, errno);
    }
    if (n == 0) break;
    content.bytes.append(buffer, static_cast<size_t>(n));
    if (content.bytes.size() > maximumStateFileBytes) {
      throw NetworkSystemError::systemCallFailed("read " + path, EFBIG);
    }
  }
  return content;
}

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view space = " \t\r\v\f";
  const size_t begin = text.find_first_not_of(space);
  if (begin == std::string_view::npos) return {};
  return text.substr(begin, text.find_last_not_of(space) - begin + 1);
}

// One line of a key file, read the way NetworkManager's parser reads it: white space around
// group names, keys and values does not count.
struct KeyFileLine {
  enum class Kind { ignored, group, entry, invalid };
  Kind kind = Kind::invalid;
  std::string_view name;  // the group's name, or the entry's key
  std::string_view value;
};

KeyFileLine classify(std::string_view line) {
  const std::string_view text = trimmed(line);
  if (text.empty() || text.front() == '#') return {KeyFileLine::Kind::ignored, {}, {}};
  if (text.front() == '[') {
    if (text.size() < 3 || text.back() != ']') return {};
    const std::string_view name = text.substr(1, text.size() - 2);
    if (name.find_first_of("[]") != std::string_view::npos) return {};
    return {KeyFileLine::Kind::group, name, {}};
  }
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) return {};
  const std::string_view key = trimmed(text.substr(0, equals));
  if (key.empty()) return {};
  return {KeyFileLine::Kind::entry, key, trimmed(text.substr(equals + 1))};
}

// Calls visit(line, classification, group) for every line; `group` is the group the line is in,
// nullopt before the first group header.
template <typename Visit>
void forEachLine(std::string_view bytes, Visit visit) {
  std::optional<std::string_view> group;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    const bool terminated = end != std::string_view::npos;
    if (!terminated) end = bytes.size();
    const std::string_view line = bytes.substr(start, end - start);
    const KeyFileLine classified = classify(line);
    if (classified.kind == KeyFileLine::Kind::group) group = classified.name;
    visit(line, terminated, classified, group);
    start = end + 1;
  }
}

bool isStateEntry(const KeyFileLine& line, const std::optional<std::string_view>& group) {
  return line.kind == KeyFileLine::Kind::entry && group == stateGroup && line.name == stateKey;
}

// The persisted switch; like NetworkManager, the last of repeated entries counts. Throws
// NetworkStateError for anything that is not a key file with a boolean value.
bool parseNetworkingEnabled(std::string_view bytes) {
  if (bytes.find('\0') != std::string_view::npos) throw garbledStateFile();
  std::optional<bool> enabled;
  forEachLine(bytes, [&](std::string_view, bool, const KeyFileLine& line,
                         const std::optional<std::string_view>& group) {
    if (line.kind == KeyFileLine::Kind::invalid) throw garbledStateFile();
    if (line.kind == KeyFileLine::Kind::entry && !group) throw garbledStateFile();
    if (!isStateEntry(line, group)) return;
    if (line.value == "true" || line.value == "1") {
      enabled = true;
    } else if (line.value == "false" || line.value == "0") {
      enabled = false;
    } else {
      throw garbledStateFile();
    }
  });
  return enabled.value_or(true);
}

// `bytes` with every entry of the key in group "main" replaced by the new value, or, when there
// is none, the entry added right after the first "[main]" header (the group appended when it is
// missing). Every other byte stays as it was. Works on any text, garbled or not.
std::string withNetworkingEnabled(std::string_view bytes, bool on) {
  const std::string entry = std::string(stateKey) + "=" + (on ? "true" : "false");
  std::string result;
  result.reserve(bytes.size() + entry.size() + 8);
  bool replaced = false;
  std::optional<size_t> afterGroupHeader;
  forEachLine(bytes, [&](std::string_view line, bool terminated, const KeyFileLine& classified,
                         const std::optional<std::string_view>& group) {
    if (isStateEntry(classified, group)) {
      result += entry;
      if (line.ends_with('\r')) result += '\r';
      replaced = true;
    } else {
      result += line;
    }
    if (terminated) result += '\n';
    if (classified.kind == KeyFileLine::Kind::group && group == stateGroup && !afterGroupHeader) {
      afterGroupHeader = result.size();
    }
  });
  if (replaced) return result;
  if (afterGroupHeader) {
    const bool headerTerminated = *afterGroupHeader > 0 && result[*afterGroupHeader - 1] == '\n';
    result.insert(*afterGroupHeader, headerTerminated ? entry + "\n" : "\n" + entry + "\n");
    return result;
  }
  if (!result.empty() && result.back() != '\n') result += '\n';
  if (!result.empty()) result += '\n';
  result += "[" + std::string(stateGroup) + "]\n" + entry + "\n";
  return result;
}

// A name for the new file that nothing else uses; O_EXCL settles any collision. Not random: at
// boot the entropy pool may not be ready, and only root can create files in this directory.
std::string temporaryName() {
  static std::atomic<uint64_t> counter{0};
  const auto clock = std::chrono::steady_clock::now().time_since_epoch().count();
  return "." + std::string(stateFileName) + "." + std::to_string(::getpid()) + "." +
         std::to_string(counter.fetch_add(1)) + "." + std::to_string(clock % 1000000007);
}

// Replaces the state file by a complete new one: a reader, NetworkManager starting up or a
// power cut, sees the old file or the new one, never a mixture.
bool replaceStateFile(int directoryFd, std::string_view bytes,
                      const std::optional<struct stat>& previous) {
  TemporaryFile file = createFreshFile(directoryFd, temporaryName, temporaryNameAttempts, 0600);
  if (!file.fd.valid()) return false;
  if (previous && (previous->st_uid != ::geteuid() || previous->st_gid != ::getegid())) {
    // Keeping the owner needs a capability the daemon may lack; NetworkManager runs as root and
    // reads a root-owned file just the same.
    (void)::fchown(file.fd.get(), previous->st_uid, previous->st_gid);
  }
  const mode_t mode = previous ? (previous->st_mode & 07777) : newStateFileMode;
  const auto failure = replaceWith(std::move(file), directoryFd, stateFileName, bytes, mode);
  // A directory not flushed still holds the new content; only the rename may not survive a crash.
  return !failure || failure->step == ReplaceStep::syncDirectory;
}

}  // namespace

NetworkManagerStateFile::NetworkManagerStateFile(std::string directory)
    : directory_(std::move(directory)) {}

bool NetworkManagerStateFile::installed() const {
  return openStateDirectory(directory_).valid();
}

bool NetworkManagerStateFile::networkingEnabled() const {
  const UniqueFd directory = openStateDirectory(directory_);
  if (!directory.valid()) throw NetworkSystemError::noSuchObject(directory_);
  const auto content = readStateFile(directory.get(), directory_ + "/" + stateFileName);
  return !content || parseNetworkingEnabled(content->bytes);
}

bool NetworkManagerStateFile::setNetworkingEnabled(bool on) const {
  try {
    const UniqueFd directory = openStateDirectory(directory_);
    if (!directory.valid()) return false;
    const auto content = readStateFile(directory.get(), directory_ + "/" + stateFileName);
    if (!content) return replaceStateFile(directory.get(), withNetworkingEnabled("", on), {});
    // Switching networking off needs a file that reads back as a valid state; switching it on
    // must work on any text, or a damaged file would keep the machine offline.
    if (!on) parseNetworkingEnabled(content->bytes);
    const std::string updated = withNetworkingEnabled(content->bytes, on);
    if (updated == content->bytes) return true;
    return replaceStateFile(directory.get(), updated, content->status);
  } catch (...) {
    return false;
  }
}

}  // namespace nubrik

#endif  // __linux__
