#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

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

// One read-modify-write of the helper's state: serialised in the process, exclusive across
// processes through non-blocking locks, and bracketed by an odd and an even generation.
class HelperTransaction {
 public:
  // Runs the body as a transaction; a body that calls run() again runs inline.
  // Throws HelperTransactionError, a generation write failure, or the body's own error.
  static void run(const std::function<void()>& body, StatusEffect effect = StatusEffect::publishes,
                  std::optional<std::string> lockPath = std::nullopt,
                  WhenUnwritable whenUnwritable = WhenUnwritable::refuse);

  template <typename Body>
  static auto runReturning(Body&& body, StatusEffect effect = StatusEffect::publishes,
                           std::optional<std::string> lockPath = std::nullopt) {
    using Result = decltype(body());
    std::optional<Result> result;
    run([&] { result.emplace(body()); }, effect, std::move(lockPath));
    return std::move(*result);
  }

  static std::string lockPath();

  // Whether the status file has been published since the last change of state.
  static bool finalSnapshotPublished();
  static void markSnapshotPublished();
  static void invalidateSnapshot();

  // False while a transaction runs without having advanced the generation (it could not be
  // written): a status published then could not be told from a torn one, so none is.
  static bool publicationAllowed();
};

}  // namespace nubrik
