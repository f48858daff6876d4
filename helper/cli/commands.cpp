#include "helper/cli/commands.hpp"

#include <langinfo.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <type_traits>
#include <variant>

#include "core/public_status.hpp"
#include "core/session_start_error.hpp"
#include "helper/context/helper.hpp"
#include "helper/coordinators/session_start_coordinator.hpp"
#include "helper/transaction/helper_transaction.hpp"

namespace nubrik {

namespace {

constexpr const char* notificationTitle = "Tamsel";
constexpr const char* restoredMessage = "Network access restored.";
constexpr const char* busyText = "error: another helper operation is in progress\n";

std::string describeUnknown(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& known) {
    return known.what();
  } catch (...) {
    return "unknown error";
  }
}

// The text of one recover result on standard output, or none for a failure.
std::optional<std::string> recoveredText(const RecoverCommandResult& result) {
  switch (result.kind) {
    case RecoverCommandResult::Kind::recovered:
      return result.recoveredKind == RecoveredKind::restored
                 ? "recovered: network state restored"
                 : "recovered: fail-open network restore completed";
    case RecoverCommandResult::Kind::nothingToDo:
      return "recovered: no session state present";
    case RecoverCommandResult::Kind::failed:
      break;
  }
  return std::nullopt;
}

}  // namespace

CommandContext CommandContext::standard() {
  return CommandContext{
      std::cout,
      std::cerr,
      [] { return nubrik::isRoot(); },
      [](const std::string& name) -> std::optional<std::string> {
        const char* value = ::getenv(name.c_str());
        if (value == nullptr) return std::nullopt;
        return std::string(value);
      },
  };
}

bool isRoot() {
  return ::geteuid() == 0;
}

std::string shortTimeFormat(std::string_view localeTimeFormat) {
  // Expand the composite conversions first so that their seconds can be dropped like any other.
  std::string expanded;
  for (size_t index = 0; index < localeTimeFormat.size(); ++index) {
    const char c = localeTimeFormat[index];
    if (c == '%' && index + 1 < localeTimeFormat.size()) {
      const char conversion = localeTimeFormat[index + 1];
      ++index;
      if (conversion == 'T') {
        expanded += "%H:%M:%S";
      } else if (conversion == 'r') {
        expanded += "%I:%M:%S %p";
      } else {
        expanded += c;
        expanded += conversion;
      }
      continue;
    }
    expanded += c;
  }

  // Drop every seconds conversion together with the separator in front of it.
  std::string result;
  for (size_t index = 0; index < expanded.size(); ++index) {
    if (expanded[index] == '%' && index + 1 < expanded.size()) {
      size_t conversion = index + 1;
      if ((expanded[conversion] == 'E' || expanded[conversion] == 'O') &&
          conversion + 1 < expanded.size()) {
        ++conversion;
      }
      if (expanded[conversion] == 'S') {
        if (!result.empty() && (result.back() == ':' || result.back() == '.')) result.pop_back();
        index = conversion;
        continue;
      }
      result.append(expanded, index, conversion + 1 - index);
      index = conversion;
      continue;
    }
    result += expanded[index];
  }
  return result.empty() ? "%H:%M" : result;
}

std::string formattedTime(Date date) {
  const time_t seconds = std::chrono::system_clock::to_time_t(date);
  struct tm local {};
  if (::localtime_r(&seconds, &local) == nullptr) return {};
  const char* localeFormat = ::nl_langinfo(T_FMT);
  const std::string format =
      shortTimeFormat(localeFormat != nullptr && *localeFormat != '\0' ? localeFormat : "%H:%M:%S");
  char buffer[128];
  const size_t length = ::strftime(buffer, sizeof buffer, format.c_str(), &local);
  return std::string(buffer, length);
}

StartCommandOperations StartCommandOperations::production(Helper& helper) {
  StartCommandOperations operations;
  operations.runTransaction = [&helper](const std::function<void()>& body) {
    helper.transactions().run(StatusEffect::publishes, [&body](Transaction&) { body(); });
  };
  operations.startSession = [&helper](double duration) {
    return SessionStartCoordinator(SessionStartDependencies::production(helper)).start(duration);
  };
  operations.publishStatus = [&helper](const OfflineSession& session) {
    helper.sessions().writeStatus(std::optional<OfflineSession>(session));
  };
  operations.log = helper.logOperation();
  operations.notify = [&helper](const std::string& title, const std::string& message) {
    helper.notify(title, message);
  };
  operations.formattedTime = [](Date date) { return nubrik::formattedTime(date); };
  return operations;
}

RecoverCommandOperations RecoverCommandOperations::production(Helper& helper) {
  RecoverCommandOperations operations;
  // The administrator's way back online must not depend on the helper's files being writable.
  operations.runTransaction = [&helper](const std::function<void()>& body) {
    helper.transactions().run(
        StatusEffect::publishes, [&body](Transaction&) { body(); }, WhenUnwritable::proceed);
  };
  operations.runRecovery = [&helper] {
    RecoverCommandOptions options;
    options.notifyRestored = [&helper] { helper.notify(notificationTitle, restoredMessage); };
    return recoverCommandRunner(helper, std::move(options)).run();
  };
  return operations;
}

int doStart(double duration, const CommandContext& context,
            const StartCommandOperations& operations) {
  if (!context.isRoot()) {
    context.err << "error: --start requires root\n";
    return exit_status::notRoot;
  }

  int status = exit_status::success;
  try {
    operations.runTransaction([&] {
      try {
        const OfflineSession session = operations.startSession(duration);
        operations.publishStatus(session);
        operations.log("session started id=" + session.id + " until " +
                       utcTimestampWithOffset(session.expirationDate));
        operations.notify(
            notificationTitle,
            "Offline until " + operations.formattedTime(session.expirationDate) + ".");
        status = exit_status::success;
      } catch (const SessionStartError& error) {
        if (error.kind() == SessionStartError::Kind::activationPending) {
          const std::string id = error.session() ? error.session()->id : std::string();
          operations.log("session started id=" + id +
                         " with activation pending; daemon will enforce shortly");
        }
        context.err << error.commandLineText();
        status = error.exitStatus();
      } catch (...) {
        context.err << "error: could not persist session: "
                    << describeUnknown(std::current_exception()) << "\n";
        status = exit_status::startFailed;
      }
    });
  } catch (const HelperTransactionError& error) {
    if (error.kind() == HelperTransactionError::Kind::lockUnavailable) {
      context.err << busyText;
    } else {
      context.err << "error: could not acquire helper state lock at " << error.path() << "\n";
    }
    return exit_status::transactionUnavailable;
  } catch (...) {
    context.err << "error: could not acquire helper state lock: "
                << describeUnknown(std::current_exception()) << "\n";
    return exit_status::transactionUnavailable;
  }
  return status;
}

int doStatus(const CommandContext& context, const StatePaths& paths) {
  const PublicStatusResult result = readPublicStatus(paths.statusFile, paths.generationFile);
  context.out << result.json << "\n";
  return result.isUnavailable() ? PublicStatusResult::unavailableExitCode : exit_status::success;
}

int doRecover(const CommandContext& context, const RecoverCommandOperations& operations) {
  if (!context.isRoot()) {
    context.err << "error: --recover requires root\n";
    return exit_status::notRoot;
  }
  if (context.environment("NUBRIK_FORCE") != std::optional<std::string>("YES")) {
    context.err << "refusing: set NUBRIK_FORCE=YES to confirm deliberate recovery (see "
                   "RECOVERY.md)\n";
    return exit_status::recoverUnconfirmed;
  }

  RecoverCommandResult result;
  try {
    operations.runTransaction([&] { result = operations.runRecovery(); });
  } catch (const HelperTransactionError& error) {
    if (error.kind() == HelperTransactionError::Kind::lockUnavailable || error.error() == 0) {
      context.err << busyText;
    } else {
      context.err << "error: could not acquire helper state lock at " << error.path() << ": "
                  << std::strerror(error.error()) << "\n";
    }
    return exit_status::transactionUnavailable;
  } catch (...) {
    context.err << "error: could not acquire helper state lock: "
                << describeUnknown(std::current_exception()) << "\n";
    return exit_status::transactionUnavailable;
  }

  if (const std::optional<std::string> text = recoveredText(result)) {
    context.out << *text << "\n";
    return exit_status::success;
  }
  context.err << "error: recovery failed; authoritative state retained, nothing cleared\n";
  for (const std::string& cause : result.causes) context.err << "cause: " << cause << "\n";
  return exit_status::recoverFailed;
}

int execute(const ParsedCommand& command, const CommandContext& context, Helper& helper,
            const std::function<int()>& runDaemon) {
  return std::visit(
      [&](const auto& mode) -> int {
        using Mode = std::decay_t<decltype(mode)>;
        if constexpr (std::is_same_v<Mode, RunDaemon>) {
          return runDaemon();
        } else if constexpr (std::is_same_v<Mode, StartSession>) {
          return doStart(mode.duration, context, StartCommandOperations::production(helper));
        } else if constexpr (std::is_same_v<Mode, PrintStatus>) {
          return doStatus(context, helper.paths());
        } else if constexpr (std::is_same_v<Mode, ForceRecovery>) {
          return doRecover(context, RecoverCommandOperations::production(helper));
        } else if constexpr (std::is_same_v<Mode, UsageError>) {
          context.err << usageText;
          return usageExitStatus;
        } else {
          context.err << missingDurationText;
          return missingDurationExitStatus;
        }
      },
      command);
}

}  // namespace nubrik
