#include "helper/transaction/helper_transaction.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "core/posix_file.hpp"
#include "core/public_status.hpp"
#include "core/uuid.hpp"
#include "helper/log/log.hpp"
#include "helper/transaction/state_file_lock.hpp"

namespace nubrik {

namespace {

// Above this the next odd and even numbers would come close to wrapping, so a new epoch begins.
constexpr std::uint64_t lastSequenceOfEpoch = std::numeric_limits<std::uint64_t>::max() - 3;

std::string describeTransactionError(HelperTransactionError::Kind kind, const std::string& path) {
  const char* name = kind == HelperTransactionError::Kind::lockUnavailable ? "lockUnavailable"
                                                                           : "acquisitionFailed";
  return std::string(name) + "(path: \"" + path + "\")";
}

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

// Said once for as long as the same trouble lasts: a tick runs every few seconds.
void diagnoseOnce(std::optional<std::string>& last, const std::string& message) {
  if (last == message) return;
  last = message;
  diagnose(message);
}

// Without a fresh odd generation the old status would pass for current: it is removed instead,
// and readers report the status as missing (honestly unavailable) rather than a frozen countdown.
// Removing needs no free space, so this works on a full file system; on a read-only one there is
// nothing more to do.
void withdrawStatus(const std::string& statusPath, const std::exception& cause,
                    std::optional<std::string>& lastWithdrawal) {
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

Transaction::Transaction(const StatePaths& paths, const Clock& clock, const LogOperation& log,
                         StatusSnapshot snapshot)
    : snapshot_(snapshot), sessions_(paths, snapshot_, clock, log), schedules_(paths, clock, log) {}

TransactionRunner::TransactionRunner(StatePaths paths, Clock clock, LogOperation log)
    : paths_(std::move(paths)), clock_(std::move(clock)), log_(std::move(log)) {}

Transaction& TransactionRunner::current() {
  // The owner is checked first: only the thread running the body may look at it.
  if (owner_.load() != std::this_thread::get_id() || current_ == nullptr) {
    throw std::logic_error("no helper transaction is running");
  }
  return *current_;
}

void TransactionRunner::runBody(Transaction& transaction,
                                const std::function<void(Transaction&)>& body) {
  struct Scope {
    TransactionRunner& runner;
    Scope(TransactionRunner& r, Transaction& t) : runner(r) {
      runner.current_ = &t;
      runner.owner_.store(std::this_thread::get_id());
    }
    ~Scope() {
      runner.owner_.store(std::thread::id());
      runner.current_ = nullptr;
    }
  } scope(*this, transaction);
  body(transaction);
}

void TransactionRunner::run(StatusEffect effect, const std::function<void(Transaction&)>& body,
                            WhenUnwritable whenUnwritable) {
  if (owner_.load() == std::this_thread::get_id() && current_ != nullptr) {
    body(*current_);
    return;
  }
  const std::lock_guard serial(serial_);
  enter(effect, body, whenUnwritable);
}

void TransactionRunner::enter(StatusEffect effect, const std::function<void(Transaction&)>& body,
                              WhenUnwritable whenUnwritable) {
  const std::string& path = paths_.stateLockFile;
  const bool proceed = whenUnwritable == WhenUnwritable::proceed;

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
    diagnoseOnce(lastLockFallback_, std::string("state lock file unusable (") +
                                        fileLockFailure->what() +
                                        "); serialised by the state directory's lock instead");
  } else {
    lastLockFallback_.reset();
  }

  protectLegacyLockFile(path);

  if (effect == StatusEffect::neutral) {
    Transaction transaction(paths_, clock_, log_, StatusSnapshot::publishable(false));
    runBody(transaction, body);
    return;
  }

  const std::string& generationPath = paths_.generationFile;
  std::optional<StatusGeneration> previous;
  try {
    previous = StatusGeneration::read(generationPath);
  } catch (...) {
    // A missing or unreadable generation starts a new epoch.
  }
  const StatusGeneration inProgress = inProgressGeneration(previous);
  try {
    replaceFileAtomically(encodeGeneration(inProgress), generationPath, 0644);
  } catch (const std::exception& error) {
    if (!proceed) throw;
    withdrawStatus(paths_.statusFile, error, lastWithdrawal_);
    Transaction transaction(paths_, clock_, log_, StatusSnapshot::withheld());
    runBody(transaction, body);
    return;
  }

  lastWithdrawal_.reset();

  // Readers may only trust the status once this transaction has published it last, so an even
  // generation is written only when the status file is final: published by the body, or
  // untouched since an earlier transaction finished with it (a body that changed nothing, such
  // as a refused start, leaves the snapshot as final as it found it).
  Transaction transaction(paths_, clock_, log_,
                          StatusSnapshot::publishable(previous && previous->sequence % 2 == 0));
  const auto finish = [&] {
    if (!transaction.statusFinal()) return;
    try {
      replaceFileAtomically(
          encodeGeneration(StatusGeneration{inProgress.epoch, inProgress.sequence + 1}),
          generationPath, 0644);
    } catch (...) {
      // The generation stays odd and readers report busy until a later publication.
    }
  };
  try {
    runBody(transaction, body);
  } catch (...) {
    finish();
    throw;
  }
  finish();
}

}  // namespace nubrik
