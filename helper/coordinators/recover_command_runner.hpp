#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/session.hpp"
#include "helper/coordinators/recovery_reporting.hpp"
#include "helper/store/session_load_result.hpp"

namespace nubrik {

// How a recovery put the network back: from the saved session, or by fail-open.
enum class RecoveredKind { restored, failOpen };

struct RecoverCommandResult {
  enum class Kind { recovered, nothingToDo, failed };
  RecoverCommandResult() = default;
  RecoverCommandResult(Kind kindValue, RecoveredKind recovered = RecoveredKind::restored,
                       std::vector<std::string> causeLines = {})
      : kind(kindValue), recoveredKind(recovered), causes(std::move(causeLines)) {}

  Kind kind = Kind::nothingToDo;
  RecoveredKind recoveredKind = RecoveredKind::restored;  // meaningful for Kind::recovered
  // For a failure, what went wrong, in the words of the log lines that said so.
  std::vector<std::string> causes;
  bool operator==(const RecoverCommandResult&) const = default;
};

class RecoverCommandRunner {
 public:
  std::function<SessionLoadResult()> loadState;
  std::function<bool(const OfflineSession&)> restoreValid;
  std::function<bool()> recoverFailOpen;
  std::function<void()> publishIdle;
  std::function<void(const std::string&)> log;
  // The failure lines logged during the run, taken out by run() for its result; may be empty.
  std::function<std::vector<std::string>()> takeFailureLines;

  RecoverCommandResult run() const;
};

struct RecoverCommandOptions {
  std::function<void()> publishIdle;            // default: the store's idle publication
  std::function<void()> publishPending;         // default: the store's pending publication
  std::function<void()> notifyRestored;         // required
  std::function<void(const std::string&)> log;  // default: the helper log
};

// A runner over the helper's network.
RecoverCommandRunner recoverCommandRunner(Helper& helper, RecoverCommandOptions options);

}  // namespace nubrik
