#pragma once

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "core/date.hpp"
#include "core/session.hpp"
#include "core/state_paths.hpp"
#include "helper/cli/arguments.hpp"
#include "helper/coordinators/recover_command_runner.hpp"

namespace nubrik {

class Helper;

// Exit statuses of the administrative commands.
namespace exit_status {
inline constexpr int success = 0;
inline constexpr int notRoot = 3;
inline constexpr int startFailed = 5;
inline constexpr int recoverUnconfirmed = 6;
inline constexpr int recoverFailed = 8;
inline constexpr int transactionUnavailable = 11;
}  // namespace exit_status

// Where a command writes and what it may ask of the process; tests substitute every part.
struct CommandContext {
  std::ostream& out;
  std::ostream& err;
  std::function<bool()> isRoot;
  std::function<std::optional<std::string>(const std::string& name)> environment;

  // Standard output and error, the effective user id and the process environment.
  static CommandContext standard();
};

// True when the effective user id is 0.
bool isRoot();

// The date as the current locale's short time, without a date part ("16:51" in the C locale).
std::string formattedTime(Date date);
// The locale's time format (nl_langinfo(T_FMT) style) without its seconds.
std::string shortTimeFormat(std::string_view localeTimeFormat);

struct StartCommandOperations {
  // Runs the body as one helper transaction; throws when the transaction cannot be entered.
  std::function<void(const std::function<void()>&)> runTransaction;
  // Throws SessionStartError or the store's error.
  std::function<OfflineSession(double duration)> startSession;
  std::function<void(const OfflineSession&)> publishStatus;
  std::function<void(const std::string&)> log;
  std::function<void(const std::string& title, const std::string& message)> notify;
  std::function<std::string(Date)> formattedTime;

  static StartCommandOperations production(Helper& helper);
};

struct RecoverCommandOperations {
  std::function<void(const std::function<void()>&)> runTransaction;
  std::function<RecoverCommandResult()> runRecovery;

  static RecoverCommandOperations production(Helper& helper);
};

// The commands; each returns the process's exit status.
int doStart(double duration, const CommandContext& context,
            const StartCommandOperations& operations);
int doStatus(const CommandContext& context, const StatePaths& paths);
int doRecover(const CommandContext& context, const RecoverCommandOperations& operations);

// Runs what the command line asked for with the helper's resources; the daemon mode calls
// runDaemon.
int execute(const ParsedCommand& command, const CommandContext& context, Helper& helper,
            const std::function<int()>& runDaemon);

}  // namespace nubrik
