#include "helper/transaction/helper_transaction.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <limits>
#include <mutex>

#include "core/posix_file.hpp"
#include "core/public_status.hpp"
#include "core/state_location.hpp"
#include "core/uuid.hpp"
#include "helper/log/log.hpp"
#include "helper/transaction/helper_state_executor.hpp"
#include "helper/transaction/state_file_lock.hpp"

namespace nubrik {

namespace {

// Above this the next odd and even numbers would come close to wrapping, so a new epoch begins.
constexpr std::uint64_t lastSequenceOfEpoch = std::numeric_limits<std::uint64_t>::max() - 3;

std::atomic<bool> snapshotPublished{false};
std::atomic<bool> publicationWithdrawn{false};
// Only touched on the state executor, which admits one thread at a time.
bool inTransaction = false;

std::string describeTransactionError(HelperTransactionError::Kind kind, const std::string& path) {
  const char* name = kind == HelperTransactionError::Kind::lockUnavailable ? "lockUnavailable"
                                                                           : "acquisitionFailed";
  return std::string(name) + "(path: \"" + path + "\")";
}

class InTransactionScope {
 public:
  InTransactionScope() { inTransaction = true; }
  ~InTransactionScope() {
    inTransaction = false;
    publicationWithdrawn.store(false);
  }
  InTransactionScope(const InTransactionScope&) = delete;
  InTransactionScope& operator=(const InTransactionScope&) = delete;
};

// A lock file named "state.lock" beside ours belongs to the helper as well and must not stay
// readable by others. A symbolic link there is left alone: following it would let the link choose
// which file root re-protects.
void protectLegacyLockFile(const std::string& lockPath) {
  const std::string legacy = joinPath(parentDirectory(lockPath), "state.lock");
  // Opened without following a link and protected through the descriptor, so nothing swapped in
  // at the path between a check and the change can redirect it.
  const UniqueFd fd = openNoFollow(AT_FDCWD, legacy, O_RDONLY | O_NONBLOCK);
  if (!fd.valid()) {
    if (errno == ENOENT || errno == ELOOP) return;
    throw systemError(errno, "open " + legacy);
  }
  struct stat info {};
  const bool regular = ::fstat(fd.get(), &info) == 0 && S_ISREG(info.st_mode);
  if (regular && ::fchmod(fd.get(), 0600) != 0) throw systemError(errno, "chmod " + legacy);
}

StatusGeneration inProgressGeneration(const std::optional<StatusGeneration>& previous) {
  if (!previous || previous->sequence > lastSequenceOfEpoch) return {newUUIDString(), 1};
  const std::uint64_t step = previous->sequence % 2 == 0 ? 1 : 2;
  return {previous->epoch, previous->sequence + step};
}

// Without a fresh odd generation the old status would pass for current: it is removed instead,
// and readers report the status as missing (honestly unavailable) rather than a frozen countdown.
// Removing needs no free space, so this works on a full file system; on a read-only one there is
// nothing more to do.
// Said once for as long as the same trouble lasts: a tick runs every few seconds.
void diagnoseOnce(std::optional<std::string>& last, const std::string& message) {
  if (last == message) return;
  last = message;
  diagnose(message);
}
std::optional<std::string> lastWithdrawal;
std::optional<std::string> lastLockFallback;

void withdrawStatus(const std::string& statusPath, const std::exception& cause) {
  publicationWithdrawn.store(true);
  const bool removed = ::unlink(statusPath.c_str()) == 0 || errno == ENOENT;
  diagnoseOnce(lastWithdrawal,
               std::string("status files cannot be written (") + cause.what() + "); " +
                   (removed ? "status withdrawn" : "stale status could not be withdrawn") +
                   "; network decisions continue");
}

std::optional<StateFileLockError> takeFileLock(StateFileLock& lock) {
  try {
    if (!lock.acquire(false)) {
      throw HelperTransactionError(HelperTransactionError::Kind::lockUnavailable, lock.path());
    }
  } catch (const StateFileLockError& error) {
    return error;
  }
  return std::nullopt;
}

}  // namespace

HelperTransactionError::HelperTransactionError(Kind kind, std::string path, int error)
    : std::runtime_error(describeTransactionError(kind, path)),
      kind_(kind),
      path_(std::move(path)),
      error_(error) {}

std::string HelperTransaction::lockPath() {
  return StateLocation::stateLockFile();
}

bool HelperTransaction::finalSnapshotPublished() {
  return snapshotPublished.load();
}

void HelperTransaction::markSnapshotPublished() {
  snapshotPublished.store(true);
}

void HelperTransaction::invalidateSnapshot() {
  snapshotPublished.store(false);
}

bool HelperTransaction::publicationAllowed() {
  return !publicationWithdrawn.load();
}

void HelperTransaction::run(const std::function<void()>& body, StatusEffect effect,
                            std::optional<std::string> lockPathArgument,
                            WhenUnwritable whenUnwritable) {
  const bool lockPathGiven = lockPathArgument.has_value();
  const std::string path = lockPathGiven ? *lockPathArgument : lockPath();
  const bool proceed = whenUnwritable == WhenUnwritable::proceed;

  HelperStateExecutor::shared().sync([&] {
    if (inTransaction) {
      body();
      return;
    }

    StateFileLock::ensureParentDirectory(path);
    StateFileLock lock(path);
    const std::optional<StateFileLockError> fileLockFailure = takeFileLock(lock);
    if (fileLockFailure && !proceed) {
      throw HelperTransactionError(HelperTransactionError::Kind::acquisitionFailed, path,
                                   fileLockFailure->error());
    }
    StateDirectoryLock directoryLock(parentDirectory(path));
    try {
      if (!directoryLock.acquire()) {
        throw HelperTransactionError(HelperTransactionError::Kind::lockUnavailable, path);
      }
    } catch (const StateFileLockError& error) {
      // Without either lock nothing may run: another process could be changing the state.
      throw HelperTransactionError(HelperTransactionError::Kind::acquisitionFailed, path,
                                   fileLockFailure ? fileLockFailure->error() : error.error());
    }
    if (fileLockFailure) {
      diagnoseOnce(lastLockFallback, std::string("state lock file unusable (") +
                                         fileLockFailure->what() +
                                         "); serialised by the state directory's lock instead");
    } else {
      lastLockFallback.reset();
    }

    if (path == StateLocation::stateLockFile()) protectLegacyLockFile(path);

    if (effect == StatusEffect::neutral) {
      InTransactionScope scope;
      body();
      return;
    }

    const bool productionFiles = !lockPathGiven;
    const std::string generationPath = productionFiles
                                           ? StateLocation::generationFile()
                                           : joinPath(parentDirectory(path), "generation.json");
    const std::string statusPath = productionFiles ? StateLocation::statusFile()
                                                   : joinPath(parentDirectory(path), "status.json");
    std::optional<StatusGeneration> previous;
    try {
      previous = StatusGeneration::read(generationPath);
    } catch (...) {
      // A missing or unreadable generation starts a new epoch.
    }
    const StatusGeneration inProgress = inProgressGeneration(previous);
    bool advanced = true;
    try {
      replaceFileAtomically(encodeGeneration(inProgress), generationPath, 0644);
    } catch (const std::exception& error) {
      if (!proceed) throw;
      advanced = false;
      InTransactionScope scope;
      withdrawStatus(statusPath, error);
      invalidateSnapshot();
      body();
      return;
    }

    lastWithdrawal.reset();

    // Readers may only trust the status once this transaction has published it last, so an
    // even generation is written only when the status file is final: published by the body, or
    // untouched since an earlier transaction finished with it (a body that changed nothing, such
    // as a refused start, leaves the snapshot as final as it found it).
    const auto finish = [&] {
      if (!advanced || !finalSnapshotPublished()) return;
      try {
        replaceFileAtomically(
            encodeGeneration(StatusGeneration{inProgress.epoch, inProgress.sequence + 1}),
            generationPath, 0644);
      } catch (...) {
        // The generation stays odd and readers report busy until a later publication.
      }
    };

    if (previous && previous->sequence % 2 == 0) {
      markSnapshotPublished();
    } else {
      invalidateSnapshot();
    }
    InTransactionScope scope;
    try {
      body();
    } catch (...) {
      finish();
      throw;
    }
    finish();
  });
}

}  // namespace nubrik
