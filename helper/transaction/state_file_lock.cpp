#include "helper/transaction/state_file_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "core/posix_file.hpp"

namespace nubrik {

namespace {

// flock without waiting unless asked, resuming after signals; 0 or the errno.
int lockExclusively(int fd, bool blocking) {
  int result;
  do {
    result = ::flock(fd, LOCK_EX | (blocking ? 0 : LOCK_NB));
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : errno;
}

std::string describeLockFailure(const std::string& path, int error) {
  return "acquisitionFailed(path: \"" + path + "\", errno: " + std::to_string(error) + ")";
}

}  // namespace

StateFileLockError::StateFileLockError(std::string path, int error)
    : std::runtime_error(describeLockFailure(path, error)), path_(std::move(path)), error_(error) {}

StateFileLockError StateFileLockError::acquisitionFailed(std::string path, int error) {
  return StateFileLockError(std::move(path), error);
}

StateFileLock::StateFileLock(std::string path) : path_(std::move(path)) {}

StateFileLock::~StateFileLock() {
  release();
}

void StateFileLock::ensureParentDirectory(const std::string& path) {
  const std::string parent = parentDirectory(path);
  if (parent.empty() || parent == path) return;
  (void)makeDirectories(parent);
}

bool StateFileLock::acquire(bool blocking) {
  if (fd_.valid()) return true;
  ensureParentDirectory(path_);

  UniqueFd fd = openNoFollow(AT_FDCWD, path_, O_RDWR | O_CREAT, 0600);
  if (!fd.valid()) throw StateFileLockError::acquisitionFailed(path_, errno);
  // An existing lock file may have been created with looser permissions; tighten it on every
  // acquisition.
  if (::fchmod(fd.get(), 0600) != 0) throw StateFileLockError::acquisitionFailed(path_, errno);

  if (const int error = lockExclusively(fd.get(), blocking); error != 0) {
    if (error == EWOULDBLOCK) return false;
    throw StateFileLockError::acquisitionFailed(path_, error);
  }
  fd_ = std::move(fd);
  return true;
}

void StateFileLock::release() {
  if (!fd_.valid()) return;
  (void)::flock(fd_.get(), LOCK_UN);
  fd_.reset();
}

StateDirectoryLock::StateDirectoryLock(std::string directory) : directory_(std::move(directory)) {}

StateDirectoryLock::~StateDirectoryLock() {
  release();
}

bool StateDirectoryLock::acquire() {
  if (fd_.valid()) return true;
  const std::string& path = directory_.empty() ? std::string(".") : directory_;
  // O_NOFOLLOW: a link planted in place of the directory must not choose what gets locked.
  UniqueFd fd = openNoFollow(AT_FDCWD, path, O_RDONLY | O_DIRECTORY);
  if (!fd.valid()) throw StateFileLockError::acquisitionFailed(path, errno);
  if (const int error = lockExclusively(fd.get(), false); error != 0) {
    if (error == EWOULDBLOCK) return false;
    throw StateFileLockError::acquisitionFailed(path, error);
  }
  fd_ = std::move(fd);
  return true;
}

void StateDirectoryLock::release() {
  if (!fd_.valid()) return;
  (void)::flock(fd_.get(), LOCK_UN);
  fd_.reset();
}

}  // namespace nubrik
