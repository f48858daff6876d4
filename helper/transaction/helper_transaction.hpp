#pragma once

#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

namespace nubrik {

// The transaction could not be entered. what() is the default textual form.
class HelperTransactionError : public std::runtime_error {
 public:
  enum class Kind { lockUnavailable, acquisitionFailed };
  HelperTransactionError(Kind kind, std::string path);
  Kind kind() const { return kind_; }
  const std::string& path() const { return path_; }

 private:
  Kind kind_;
  std::string path_;
};

// One read-modify-write of the helper's state: serialised in the process, exclusive across
// processes through a non-blocking file lock, and bracketed by an odd and an even generation.
class HelperTransaction {
 public:
  // Runs the body as a transaction; a body that calls run() again runs inline.
  // Throws HelperTransactionError, a generation write failure, or the body's own error.
  static void run(const std::function<void()>& body, bool statusNeutral = false,
                  std::optional<std::string> lockPath = std::nullopt);

  template <typename Body>
  static auto runReturning(Body&& body, bool statusNeutral = false,
                           std::optional<std::string> lockPath = std::nullopt) {
    using Result = decltype(body());
    std::optional<Result> result;
    run([&] { result.emplace(body()); }, statusNeutral, std::move(lockPath));
    return std::move(*result);
  }

  static std::string lockPath();
  static void setTestLockPathForTest(std::optional<std::string> path);

  // Whether the status file has been published since the last change of state.
  static bool finalSnapshotPublished();
  static void markSnapshotPublished();
  static void invalidateSnapshot();
};

}  // namespace nubrik
