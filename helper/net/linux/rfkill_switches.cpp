#include "helper/net/linux/rfkill_switches.hpp"

#if defined(__linux__)

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <linux/rfkill.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "core/posix_file.hpp"
#include "helper/net/network_errors.hpp"

namespace nubrik {

namespace {

constexpr const char* rfkillCommand = "rfkill";
// sysfs attributes are one page at most; a bigger file is not an attribute.
constexpr size_t maximumAttributeBytes = 4096;
constexpr size_t maximumNameBytes = 255;

NetworkStateError garbled() {
  return NetworkStateError::malformedOutput(rfkillCommand);
}

[[noreturn]] void throwSystemError(const std::string& operation) {
  throw NetworkSystemError::systemCallFailed(operation, errno);
}

std::string trimmed(std::string_view text) {
  constexpr std::string_view space = " \t\n\r\v\f";
  const size_t begin = text.find_first_not_of(space);
  if (begin == std::string_view::npos) return {};
  const size_t end = text.find_last_not_of(space);
  return std::string(text.substr(begin, end - begin + 1));
}

// N of a directory entry named "rfkillN" (decimal, no leading zeros), or nullopt for any other
// entry, which the listing ignores.
std::optional<uint32_t> switchIndex(std::string_view entry) {
  constexpr std::string_view prefix = "rfkill";
  if (entry.substr(0, prefix.size()) != prefix) return std::nullopt;
  const std::string_view digits = entry.substr(prefix.size());
  if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) {
    return std::nullopt;
  }
  uint64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(value);
}

std::string entryName(uint32_t index) {
  return "rfkill" + std::to_string(index);
}

// Opens the root directory; an invalid descriptor (errno ENOENT) when there is none.
UniqueFd openRoot(const std::string& root) {
  UniqueFd fd(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!fd.valid() && errno != ENOENT) throwSystemError("open " + root);
  return fd;
}

std::vector<uint32_t> listIndexes(int rootFd, const std::string& root) {
  UniqueFd listingFd(::fcntl(rootFd, F_DUPFD_CLOEXEC, 0));
  if (!listingFd.valid()) throwSystemError("open " + root);
  DIR* directory = ::fdopendir(listingFd.get());
  if (directory == nullptr) throwSystemError("open " + root);
  // The listing owns the descriptor from here; closedir closes it.
  (void)listingFd.release();
  std::vector<uint32_t> indexes;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(directory);
    if (entry == nullptr) break;
    if (const std::optional<uint32_t> index = switchIndex(entry->d_name)) {
      indexes.push_back(*index);
    }
  }
  const int readError = errno;
  ::closedir(directory);
  if (readError != 0) {
    errno = readError;
    throwSystemError("read " + root);
  }
  std::sort(indexes.begin(), indexes.end());
  return indexes;
}

// Reads one attribute file of an entry: only a regular file that is not a symbolic link, and
// never blocking (a FIFO planted in a test tree must not hang the daemon).
std::string readAttribute(int entryFd, const std::string& entry, const char* file) {
  const std::string operation = "read " + entry + "/" + file;
  UniqueFd fd(::openat(entryFd, file, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) throwSystemError(operation);
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0) throwSystemError(operation);
  if (!S_ISREG(status.st_mode)) throw garbled();
  std::string content;
  char buffer[512];
  for (;;) {
    const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      throwSystemError(operation);
    }
    if (n == 0) break;
    content.append(buffer, static_cast<size_t>(n));
    if (content.size() > maximumAttributeBytes) throw garbled();
  }
  return content;
}

bool isUsableName(std::string_view name) {
  if (name.empty() || name.size() > maximumNameBytes) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

std::optional<RfkillSwitch> readSwitch(int rootFd, uint32_t index) {
  const std::string entry = entryName(index);
  // Under the kernel's tree every entry is a symbolic link to its device directory.
  UniqueFd entryFd(::openat(rootFd, entry.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (!entryFd.valid()) throwSystemError("open " + entry);
  if (trimmed(readAttribute(entryFd.get(), entry, "type")) != "wlan") return std::nullopt;
  std::string name = trimmed(readAttribute(entryFd.get(), entry, "name"));
  if (!isUsableName(name)) throw garbled();
  const std::string soft = trimmed(readAttribute(entryFd.get(), entry, "soft"));
  if (soft != "0" && soft != "1") throw garbled();
  return RfkillSwitch{index, std::move(name), soft == "1"};
}

std::vector<RfkillSwitch> readSwitches(int rootFd, const std::string& root) {
  std::vector<RfkillSwitch> switches;
  std::set<std::string> names;
  for (const uint32_t index : listIndexes(rootFd, root)) {
    std::optional<RfkillSwitch> found = readSwitch(rootFd, index);
    if (!found) continue;
    // Devices are addressed by name, so two switches of one name cannot be told apart.
    if (!names.insert(found->name).second) throw garbled();
    switches.push_back(std::move(*found));
  }
  return switches;
}

bool isKernelSysfs(int fd) {
  struct statfs filesystem {};
  return ::fstatfs(fd, &filesystem) == 0 && filesystem.f_type == SYSFS_MAGIC;
}

enum class ControlWrite { written, failed, noDevice };

ControlWrite writeThroughControlDevice(const std::string& device, uint32_t index, bool on) {
  UniqueFd fd(::open(device.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return errno == ENOENT ? ControlWrite::noDevice : ControlWrite::failed;
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || !S_ISCHR(status.st_mode)) return ControlWrite::failed;
  rfkill_event event{};
  event.idx = index;
  event.type = RFKILL_TYPE_WLAN;
  event.op = RFKILL_OP_CHANGE;
  event.soft = on ? 0 : 1;
  const std::string_view bytes(reinterpret_cast<const char*>(&event), sizeof event);
  return writeAll(fd.get(), bytes) == 0 ? ControlWrite::written : ControlWrite::failed;
}

// Writes the entry's "soft" file. Outside the kernel's sysfs the entry must be a real directory
// inside the root, so that a link planted in the tree can never redirect the write elsewhere.
bool writeSoftFile(int rootFd, bool kernelTree, uint32_t index, bool on) {
  const std::string entry = entryName(index);
  const int entryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | (kernelTree ? 0 : O_NOFOLLOW);
  UniqueFd entryFd(::openat(rootFd, entry.c_str(), entryFlags));
  if (!entryFd.valid()) return false;
  UniqueFd fd(
      ::openat(entryFd.get(), "soft", O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
  if (!fd.valid()) return false;
  struct stat status {};
  if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
  const std::string_view value = on ? "0\n" : "1\n";
  return writeAll(fd.get(), value) == 0;
}

}  // namespace

RfkillSwitches::RfkillSwitches(std::string sysfsRoot, std::string controlDevice)
    : sysfsRoot_(std::move(sysfsRoot)), controlDevice_(std::move(controlDevice)) {}

std::vector<RfkillSwitch> RfkillSwitches::wlanSwitches() const {
  const UniqueFd rootFd = openRoot(sysfsRoot_);
  if (!rootFd.valid()) return {};  // no rfkill support at all: a machine without Wi-Fi
  return readSwitches(rootFd.get(), sysfsRoot_);
}

std::vector<std::string> RfkillSwitches::deviceNames() const {
  std::vector<std::string> names;
  for (RfkillSwitch& entry : wlanSwitches()) names.push_back(std::move(entry.name));
  return names;
}

bool RfkillSwitches::powered(const std::string& device) const {
  for (const RfkillSwitch& entry : wlanSwitches()) {
    if (entry.name == device) return !entry.softBlocked;
  }
  throw NetworkSystemError::noSuchObject(device);
}

bool RfkillSwitches::setPowered(const std::string& device, bool on) const {
  try {
    const UniqueFd rootFd = openRoot(sysfsRoot_);
    if (!rootFd.valid()) return false;
    std::optional<uint32_t> index;
    for (const RfkillSwitch& entry : readSwitches(rootFd.get(), sysfsRoot_)) {
      if (entry.name == device) index = entry.index;
    }
    if (!index) return false;

    const bool kernelTree = isKernelSysfs(rootFd.get());
    ControlWrite control = ControlWrite::noDevice;
    if (kernelTree) control = writeThroughControlDevice(controlDevice_, *index, on);
    if (control == ControlWrite::failed) return false;
    if (control == ControlWrite::noDevice && !writeSoftFile(rootFd.get(), kernelTree, *index, on)) {
      return false;
    }
    // A driver may refuse the change; only the state read back tells.
    const std::optional<RfkillSwitch> after = readSwitch(rootFd.get(), *index);
    return after && after->name == device && after->softBlocked == !on;
  } catch (...) {
    return false;
  }
}

}  // namespace nubrik

#endif  // __linux__
