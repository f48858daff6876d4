#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/date.hpp"
#include "core/state_paths.hpp"
#include "helper/log/log.hpp"
#include "helper/store/schedule_store.hpp"
#include "helper/store/session_store.hpp"
#include "helper/store/status_snapshot.hpp"

namespace nubrik {

// The transaction could not be entered. what() is the default textual form; error() keeps the
// errno behind an acquisition failure (0 when there is none) so that callers can name the cause.
class HelperTransactionError : public std::runtime_error {
 public:
  enum class Kind { lockUnavailable, acquisitionFailed };
  HelperTransactionError(Kind kind, std::string path, int error = 0);
  Kind kind() const { return kind_; }
  const std::string& path() const { return path_; }
  int error() const { return error_; }

 private:
  Kind kind_;
  std::string path_;
  int error_;
};

// Whether a transaction's body changes the state that the public status shows. A body that does
// (a start, an early unlock, a tick) is bracketed by an odd and an even generation and must leave
// the status published; one that does not (a health check, a lookup, a clean-up) leaves the
// generation and status as they are.
enum class StatusEffect { publishes, neutral };

// What a transaction does when the helper's files cannot be written: the lock file cannot be
// opened, or the in-progress generation cannot be published.
enum class WhenUnwritable {
  // Nothing runs; the caller reports the failure (a start, an early unlock).
  refuse,
  // The body runs all the same, serialised by the state directory's lock, with the public status
  // withdrawn rather than left frozen. For the work that keeps the network decisions going (a
  // tick, the administrator's recovery): none of it may depend on publishing.
  proceed,
};

// One helper transaction under way, handed to its body: the state files through stores bound to
// it, so that the status bookkeeping (is the status on disk final, may it be published at all)
// follows from what the body does and nobody keeps it by hand.
class Transaction {
 public:
  Transaction(const StatePaths& paths, const Clock& clock, const LogOperation& log,
              StatusSnapshot snapshot);
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  const StatePaths& paths() const { return sessions_.paths(); }
  SessionStore& sessions() { return sessions_; }
  const ScheduleStore& schedules() const { return schedules_; }
  // Whether the status file has been published since the state last changed.
  bool statusFinal() const { return snapshot_.isFinal(); }

 private:
  StatusSnapshot snapshot_;
  SessionStore sessions_;
  ScheduleStore schedules_;
};

// Runs the helper's read-modify-writes, one at a time: serialised in the process, exclusive across
// processes through non-blocking locks, and bracketed by an odd and an even generation. The
// helper holds the one runner of the process.
class TransactionRunner {
 public:
  TransactionRunner(StatePaths paths, Clock clock, LogOperation log);
  TransactionRunner(const TransactionRunner&) = delete;
  TransactionRunner& operator=(const TransactionRunner&) = delete;

  const StatePaths& paths() const { return paths_; }

  // Runs the body as a transaction. A body that calls run() again (through an operation bound to
  // the helper) runs inline, in the same transaction. Throws HelperTransactionError, a generation
  // write failure, or the body's own error.
  void run(StatusEffect effect, const std::function<void(Transaction&)>& body,
           WhenUnwritable whenUnwritable = WhenUnwritable::refuse);

  // The transaction running on this thread, for operations bound before it began; throws
  // std::logic_error when none is.
  Transaction& current();

 private:
  void enter(StatusEffect effect, const std::function<void(Transaction&)>& body,
             WhenUnwritable whenUnwritable);
  void runBody(Transaction& transaction, const std::function<void(Transaction&)>& body);

  StatePaths paths_;
  Clock clock_;
  LogOperation log_;

  // Bus handlers and command-line runs must never overlap; the owner runs nested bodies inline.
  std::mutex serial_;
  std::atomic<std::thread::id> owner_{};
  Transaction* current_ = nullptr;
  // What was last said about unwritable files, so that it is said once while it lasts.
  std::optional<std::string> lastWithdrawal_;
  std::optional<std::string> lastLockFallback_;
};

}  // namespace nubrik
