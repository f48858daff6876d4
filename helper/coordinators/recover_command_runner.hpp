#pragma once

#include <functional>
#include <string>

#include "core/session.hpp"
#include "helper/coordinators/recover_command_network.hpp"

namespace nubrik {

struct RecoverCommandResult {
  enum class Kind { recovered, nothingToDo, failed };
  Kind kind = Kind::nothingToDo;
  RecoveredKind recoveredKind = RecoveredKind::restored;  // meaningful for Kind::recovered
  bool operator==(const RecoverCommandResult&) const = default;
};

class RecoverCommandRunner {
 public:
  std::function<SessionLoadResult()> loadState;
  std::function<bool(const OfflineSession&)> restoreValid;
  std::function<bool()> recoverFailOpen;
  std::function<void()> publishIdle;
  std::function<void(const std::string&)> log;

  RecoverCommandResult run() const;
};

struct RecoverCommandOptions {
  RecoverCommandNetwork network = RecoverCommandNetwork::production();
  std::function<void()> publishIdle;            // default: the store's idle publication
  std::function<void()> publishPending;         // default: the store's pending publication
  std::function<void()> notifyRestored;         // required
  std::function<void(const std::string&)> log;  // default: the helper log
};

RecoverCommandRunner recoverCommandRunner(RecoverCommandOptions options);

}  // namespace nubrik
