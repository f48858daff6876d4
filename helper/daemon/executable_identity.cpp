#include "helper/daemon/executable_identity.hpp"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace nubrik {

namespace {

constexpr const char* selfExecutable = "/proc/self/exe";

}  // namespace

std::optional<RunningExecutable> runningExecutable() {
  char buffer[PATH_MAX];
  const ssize_t length = ::readlink(selfExecutable, buffer, sizeof buffer);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer) return std::nullopt;
  std::string path(buffer, static_cast<size_t>(length));
  // The kernel marks a file that is no longer at its path: replaced already, before the daemon
  // came this far. What lies at the path now is then the new executable.
  constexpr std::string_view deleted = " (deleted)";
  if (path.ends_with(deleted)) path.resize(path.size() - deleted.size());
  if (path.empty() || path.front() != '/') return std::nullopt;

  // The link leads to the file the process was started from, whatever now lies at its path.
  struct stat running {};
  if (::stat(selfExecutable, &running) != 0) return std::nullopt;
  return RunningExecutable{std::move(path), {running.st_dev, running.st_ino}};
}

std::optional<FileIdentity> regularFileIdentity(const std::string& path) {
  struct stat status {};
  if (::fstatat(AT_FDCWD, path.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  if (!S_ISREG(status.st_mode)) return std::nullopt;
  return FileIdentity{status.st_dev, status.st_ino};
}

}  // namespace nubrik
