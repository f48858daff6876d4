#pragma once

#include <stdexcept>
#include <string>

#include "core/unique_fd.hpp"

namespace nubrik {

// The lock file could not be opened, protected or locked. what() is the default textual form,
// e.g. acquisitionFailed(path: "/var/lib/nubrik/transaction.lock", errno: 13).
class StateFileLockError : public std::runtime_error {
 public:
  enum class Kind { acquisitionFailed };
  static StateFileLockError acquisitionFailed(std::string path, int error);

  Kind kind() const { return Kind::acquisitionFailed; }
  const std::string& path() const { return path_; }
  int error() const { return error_; }

 private:
  StateFileLockError(std::string path, int error);
  std::string path_;
  int error_;
};

// One exclusive advisory lock (flock) on a file that admits a single holder across processes.
// Destroying the object releases the lock.
class StateFileLock {
 public:
  explicit StateFileLock(std::string path);
  ~StateFileLock();
  StateFileLock(const StateFileLock&) = delete;
  StateFileLock& operator=(const StateFileLock&) = delete;

  // Takes the lock, waiting for it only when `blocking`. Returns false when another holder has
  // it; throws StateFileLockError when the file cannot be opened, protected or locked.
  bool acquire(bool blocking);
  // Unlocks and closes; harmless when not held.
  void release();

  const std::string& path() const { return path_; }
  // The descriptor holding the lock, or -1.
  int fileDescriptor() const { return fd_.get(); }

  // Creates the directory that holds the path when it is missing; ignores failure.
  static void ensureParentDirectory(const std::string& path);

 private:
  std::string path_;
  UniqueFd fd_;
};

// An exclusive advisory lock on the directory that holds the state. Every transaction takes it
// beside the lock file, and it still works where the lock file cannot be created or opened (a
// read-only or full file system, something else planted at the lock's path), so that the
// network work that must go on then stays serialised across processes.
class StateDirectoryLock {
 public:
  explicit StateDirectoryLock(std::string directory);
  ~StateDirectoryLock();
  StateDirectoryLock(const StateDirectoryLock&) = delete;
  StateDirectoryLock& operator=(const StateDirectoryLock&) = delete;

  // Never waits. False when another holder has it; throws StateFileLockError when the directory
  // cannot be opened or locked.
  bool acquire();
  void release();

 private:
  std::string directory_;
  UniqueFd fd_;
};

}  // namespace nubrik
