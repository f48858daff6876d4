#include "helper/transaction/helper_transaction.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <limits>
#include <mutex>

#include "core/public_status.hpp"
#include "core/state_location.hpp"
#include "core/uuid.hpp"
#include "helper/transaction/atomic_public_file.hpp"
#include "helper/transaction/helper_state_executor.hpp"
#include "helper/transaction/posix_file.hpp"
#include "helper/transaction/state_file_lock.hpp"

namespace nubrik {

namespace {

// Above this the next odd and even numbers would come close to wrapping, so a new epoch begins.
constexpr std::uint64_t lastSequenceOfEpoch = std::numeric_limits<std::uint64_t>::max() - 3;

std::mutex testLockPathMutex;
std::optional<std::string> testLockPathValue;

std::atomic<bool> snapshotPublished{false};
// Only touched on the state executor, which admits one thread at a time.
bool inTransaction = false;

std::optional<std::string> currentTestLockPath() {
  std::lock_guard<std::mutex> guard(testLockPathMutex);
  return testLockPathValue;
}

std::string describeTransactionError(HelperTransactionError::Kind kind, const std::string& path) {
  const char* name = kind == HelperTransactionError::Kind::lockUnavailable ? "lockUnavailable"
                                                                           : "acquisitionFailed";
  return std::string(name) + "(path: \"" + path + "\")";
}

class InTransactionScope {
 public:
  InTransactionScope() { inTransaction = true; }
  ~InTransactionScope() { inTransaction = false; }
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
  const int fd = ::open(legacy.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ELOOP) return;
    throw systemError(errno, "open " + legacy);
  }
  struct stat info {};
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  if (regular && ::fchmod(fd, 0600) != 0) {
    const int error = errno;
    ::close(fd);
    throw systemError(error, "chmod " + legacy);
  }
  ::close(fd);
}

StatusGeneration inProgressGeneration(const std::optional<StatusGeneration>& previous) {
  if (!previous || previous->sequence > lastSequenceOfEpoch) return {newUUIDString(), 1};
  const std::uint64_t step = previous->sequence % 2 == 0 ? 1 : 2;
  return {previous->epoch, previous->sequence + step};
}

}  // namespace

HelperTransactionError::HelperTransactionError(Kind kind, std::string path)
    : std::runtime_error(describeTransactionError(kind, path)),
      kind_(kind),
      path_(std::move(path)) {}

std::string HelperTransaction::lockPath() {
  if (auto test = currentTestLockPath()) return *test;
  return StateLocation::stateLockFile();
}

void HelperTransaction::setTestLockPathForTest(std::optional<std::string> path) {
  std::lock_guard<std::mutex> guard(testLockPathMutex);
  testLockPathValue = std::move(path);
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

void HelperTransaction::run(const std::function<void()>& body, bool statusNeutral,
                            std::optional<std::string> lockPathArgument) {
  const bool lockPathGiven = lockPathArgument.has_value();
  const std::string path = lockPathGiven ? *lockPathArgument : lockPath();

  HelperStateExecutor::shared().sync([&] {
    if (inTransaction) {
      body();
      return;
    }

    StateFileLock::ensureParentDirectory(path);
    StateFileLock lock(path);
    bool acquired = false;
    try {
      acquired = lock.acquire(false);
    } catch (const std::exception&) {
      throw HelperTransactionError(HelperTransactionError::Kind::acquisitionFailed, path);
    }
    if (!acquired)
      throw HelperTransactionError(HelperTransactionError::Kind::lockUnavailable, path);

    if (path == StateLocation::stateLockFile()) protectLegacyLockFile(path);

    if (statusNeutral) {
      InTransactionScope scope;
      body();
      return;
    }

    const std::string generationPath = !lockPathGiven && !currentTestLockPath()
                                           ? StateLocation::generationFile()
                                           : joinPath(parentDirectory(path), "generation.json");
    std::optional<StatusGeneration> previous;
    try {
      previous = StatusGeneration::read(generationPath);
    } catch (...) {
      // A missing or unreadable generation starts a new epoch.
    }
    const StatusGeneration inProgress = inProgressGeneration(previous);
    AtomicPublicFile::write(encodeGeneration(inProgress), generationPath);

    // Readers may only trust the status once this transaction has published it last, so an
    // even generation is written only when the body's final act was a publication.
    const auto finish = [&] {
      if (!finalSnapshotPublished()) return;
      try {
        AtomicPublicFile::write(
            encodeGeneration(StatusGeneration{inProgress.epoch, inProgress.sequence + 1}),
            generationPath);
      } catch (...) {
        // The generation stays odd and readers report busy until a later publication.
      }
    };

    invalidateSnapshot();
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
