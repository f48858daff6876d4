#include "app/command_line.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <utility>

#include "app/blocking_session_client.hpp"
#include "app/desktop_launch.hpp"
#include "app/duration.hpp"
#include "app/session_client.hpp"
#include "core/helper_status.hpp"
#include "core/session.hpp"
#include "core/unique_fd.hpp"

namespace nubrik {

namespace {

constexpr std::string_view invalidDurationMessage = "Enter 5 minutes to 24 hours, like 1:15 or 90";

std::string unavailableText() {
  return std::string(xpcDefaultMessage(XPCStartResultCode::helperUnavailable));
}

int usageError(std::ostream& err, std::string_view text) {
  err << "error: " << text << "\nRun \"tamsel --help\" for usage.\n";
  return tamselExitUsage;
}

int refused(std::ostream& err, std::string_view text) {
  err << "error: " << text << "\n";
  return tamselExitRefused;
}

int unavailable(std::ostream& err) {
  err << "error: " << unavailableText() << "\n";
  return tamselExitUnavailable;
}

// "14:59" below an hour, "1:05:00" from an hour on.
std::string countdown(std::int64_t seconds) {
  char text[32];
  if (seconds < 3600) {
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(seconds / 60),
                  static_cast<long long>(seconds % 60));
  } else {
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                  static_cast<long long>(seconds % 3600 / 60),
                  static_cast<long long>(seconds % 60));
  }
  return text;
}

// Whole seconds until the expiration, truncated, never below 0.
std::int64_t remainingSeconds(Date expiration, Date now) {
  const double seconds = std::trunc(secondsBetween(now, expiration));
  return seconds > 0 ? static_cast<std::int64_t>(seconds) : 0;
}

int health(const CommandLineDependencies& dependencies, std::ostream& out, std::ostream& err) {
  const HealthProbeResult result = dependencies.probeHealth();
  switch (result.kind) {
    case HealthProbeResult::Kind::ready:
      out << "The helper is ready (version " << result.version << ").\n";
      return tamselExitSuccess;
    case HealthProbeResult::Kind::versionMismatch:
      return refused(err,
                     "The helper speaks protocol version " + std::to_string(result.helperVersion) +
                         ", but this app needs version " + std::to_string(result.expected) + ".");
    case HealthProbeResult::Kind::failed:
      break;
  }
  return unavailable(err);
}

int status(const CommandLineDependencies& dependencies, bool asJSON, std::ostream& out) {
  const PublicStatusResult result = dependencies.readStatus();
  const int exitStatus = result.isUnavailable() ? tamselExitUnavailable : tamselExitSuccess;
  if (asJSON) {
    out << result.json << "\n";
    return exitStatus;
  }
  switch (result.state.kind) {
    case PublicStatusState::Kind::unavailable:
      out << "Status unavailable (" << rawString(result.state.reason) << ").\n";
      return exitStatus;
    case PublicStatusState::Kind::confirmedIdle:
      out << "Online.\n";
      return exitStatus;
    case PublicStatusState::Kind::confirmedActive:
      break;
  }
  HelperStatus helperStatus;
  try {
    helperStatus = decodeStatus(result.json);
  } catch (const std::exception&) {
    out << "Status unavailable (" << rawString(PublicStatusUnavailableReason::malformed) << ").\n";
    return tamselExitUnavailable;
  }
  if (!helperStatus.expirationDate) {
    out << "Status unavailable (" << rawString(PublicStatusUnavailableReason::pending) << ").\n";
    return tamselExitUnavailable;
  }
  const Date expiration = *helperStatus.expirationDate;
  const std::int64_t remaining = remainingSeconds(expiration, dependencies.now());
  const std::string until = dependencies.timeString(expiration);
  if (remaining > 0) {
    out << "Offline for " << countdown(remaining) << " more (until " << until << ").\n";
  } else {
    out << "Offline; the session ended at " << until << " and the network is being restored.\n";
  }
  if (helperStatus.earlyUnlockPending.value_or(false)) out << "Early unlock in progress.\n";
  return exitStatus;
}

int start(const CommandLineDependencies& dependencies, const std::vector<std::string>& words,
          std::ostream& out, std::ostream& err) {
  if (words.empty()) return usageError(err, "start needs a DURATION, like 90, 1:15 or 1h30m");
  // "tamsel start 1h 30m" arrives as two words; the grammar allows blanks between its parts.
  std::string text;
  for (const auto& word : words) text += (text.empty() ? "" : " ") + word;
  const std::optional<int> minutes = parseDuration(text);
  if (!minutes) return usageError(err, invalidDurationMessage);

  const XPCStartOutcome outcome = dependencies.requestStart(*minutes * 60.0);
  switch (outcome.kind) {
    case XPCStartOutcome::Kind::started:
      out << "Offline session started.";
      if (outcome.expiration) {
        out << " Back online at " << dependencies.timeString(*outcome.expiration) << ".";
      }
      out << "\n";
      return tamselExitSuccess;
    case XPCStartOutcome::Kind::activationPending:
      out << xpcDefaultMessage(XPCStartResultCode::activationPending) << "\n";
      return tamselExitSuccess;
    case XPCStartOutcome::Kind::failed:
      // The helper never sends the unavailable code; this text comes from the client itself
      // when it would not connect (no Team ID of its own).
      if (outcome.message == unavailableText()) return unavailable(err);
      return refused(err, outcome.message);
    case XPCStartOutcome::Kind::helperUnavailable:
      break;
  }
  err << "error: " << message(outcome).value_or(unavailableText()) << "\n";
  return tamselExitUnavailable;
}

int earlyUnlock(const EarlyUnlockOutcome& outcome, std::ostream& out, std::ostream& err) {
  switch (outcome.kind) {
    case EarlyUnlockOutcome::Kind::done:
      out << outcome.message << "\n";
      return tamselExitSuccess;
    case EarlyUnlockOutcome::Kind::refused:
      return refused(err, outcome.message);
    case EarlyUnlockOutcome::Kind::helperUnavailable:
      break;
  }
  return unavailable(err);
}

int showSchedules(const CommandLineDependencies& dependencies, std::ostream& out,
                  std::ostream& err) {
  const ScheduleLoadOutcome outcome = dependencies.fetchSchedules();
  switch (outcome.kind) {
    case ScheduleLoadOutcome::Kind::loaded:
      out << encodeSchedules(outcome.schedules) << "\n";
      return tamselExitSuccess;
    case ScheduleLoadOutcome::Kind::failed:
      return refused(err, outcome.message);
    case ScheduleLoadOutcome::Kind::helperUnavailable:
      break;
  }
  return unavailable(err);
}

int setSchedules(const CommandLineDependencies& dependencies, const std::string& path,
                 std::ostream& out, std::ostream& err) {
  const std::string name = path == "-" ? "standard input" : path;
  std::string bytes;
  try {
    bytes = dependencies.readInput(path);
  } catch (const std::exception& error) {
    return usageError(err, "cannot read " + name + ": " + error.what());
  }
  std::vector<RecurringSchedule> schedules;
  try {
    schedules = decodeSchedules(bytes);
  } catch (const std::exception& error) {
    return usageError(err, name + " does not hold a JSON array of schedules: " + error.what());
  }
  const ScheduleSaveOutcome outcome = dependencies.saveSchedules(schedules);
  switch (outcome.kind) {
    case ScheduleSaveOutcome::Kind::saved:
      out << scheduleDefaultMessage(ScheduleResultCode::accepted) << "\n";
      return tamselExitSuccess;
    case ScheduleSaveOutcome::Kind::refused:
      return refused(err, outcome.message);
    case ScheduleSaveOutcome::Kind::helperUnavailable:
      break;
  }
  return unavailable(err);
}

int dispatch(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
             const CommandLineDependencies& dependencies) {
  for (const auto& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      out << tamselUsage();
      return tamselExitSuccess;
    }
  }
  // Without a command, tamsel is the desktop app.
  if (arguments.empty()) return dependencies.launchDesktop(err);
  const std::string& command = arguments.front();
  const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  auto extra = [&](std::size_t allowed) -> std::optional<int> {
    if (rest.size() <= allowed) return std::nullopt;
    return usageError(err, "unexpected argument \"" + rest[allowed] + "\" for " + command);
  };

  if (command == "help") {
    out << tamselUsage();
    return tamselExitSuccess;
  }
  if (command == "gui") {
    if (auto failed = extra(0)) return *failed;
    return dependencies.launchDesktop(err);
  }
  if (command == "health") {
    if (auto failed = extra(0)) return *failed;
    return health(dependencies, out, err);
  }
  if (command == "status") {
    const bool asJSON = !rest.empty() && rest.front() == "--json";
    if (auto failed = extra(asJSON ? 1 : 0)) return *failed;
    return status(dependencies, asJSON, out);
  }
  if (command == "start") return start(dependencies, rest, out, err);
  if (command == "unlock") {
    if (auto failed = extra(0)) return *failed;
    return earlyUnlock(dependencies.requestEarlyUnlock(), out, err);
  }
  if (command == "cancel-unlock") {
    if (auto failed = extra(0)) return *failed;
    return earlyUnlock(dependencies.cancelEarlyUnlock(), out, err);
  }
  if (command == "schedules") {
    if (rest.empty()) return showSchedules(dependencies, out, err);
    if (rest.front() != "set") {
      return usageError(err, "unknown schedules command \"" + rest.front() + "\"");
    }
    if (rest.size() < 2)
      return usageError(err, "schedules set needs a FILE, or - for standard input");
    if (rest.size() > 2)
      return usageError(err, "unexpected argument \"" + rest[2] + "\" for schedules set");
    return setSchedules(dependencies, rest[1], out, err);
  }
  return usageError(err, "unknown command \"" + command + "\"");
}

std::string readAll(int fd) {
  std::string bytes;
  char buffer[16384];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error(std::generic_category().message(errno));
    }
    if (got == 0) return bytes;
    bytes.append(buffer, static_cast<std::size_t>(got));
    if (bytes.size() > tamselMaxInputBytes) throw std::runtime_error("file too large");
  }
}

std::string readInputFile(const std::string& path) {
  if (path == "-") return readAll(STDIN_FILENO);
  // The user names this file and tamsel runs with the user's rights, so a symbolic link is
  // followed like in any other command.
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.valid()) throw std::runtime_error(std::generic_category().message(errno));
  return readAll(fd.get());
}

std::string localTimeString(Date date) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(date);
  std::tm local{};
  if (!::localtime_r(&seconds, &local)) return "--:--";
  char text[16];
  if (std::strftime(text, sizeof text, "%H:%M", &local) == 0) return "--:--";
  return text;
}

// The helper marks the status busy while a change is under way, which lasts milliseconds. A person
// asking once should see the settled status, so a busy reading is retried briefly.
PublicStatusResult readSettledPublicStatus() {
  constexpr int attempts = 20;
  constexpr auto pause = std::chrono::milliseconds(25);
  PublicStatusResult result = readPublicStatus();
  for (int attempt = 1; attempt < attempts; ++attempt) {
    if (result.state != PublicStatusState{PublicStatusState::Kind::unavailable,
                                          PublicStatusUnavailableReason::busy}) {
      break;
    }
    std::this_thread::sleep_for(pause);
    result = readPublicStatus();
  }
  return result;
}

}  // namespace

CommandLineDependencies CommandLineDependencies::production() {
  // One client for the process, made only when a command talks to the helper.
  auto holder = std::make_shared<std::unique_ptr<BlockingSessionClient>>();
  return withClient([holder]() -> BlockingSessionClient& {
    if (!*holder) *holder = std::make_unique<BlockingSessionClient>();
    return **holder;
  });
}

CommandLineDependencies CommandLineDependencies::withClient(
    std::function<BlockingSessionClient&()> client) {
  return CommandLineDependencies{
      [client] { return client().probeHealth(); },
      [client](double seconds) { return client().requestStart(seconds); },
      [client] { return client().requestEarlyUnlock(); },
      [client] { return client().cancelEarlyUnlock(); },
      [client] { return client().fetchSchedules(); },
      [client](const std::vector<RecurringSchedule>& schedules) {
        return client().saveSchedules(schedules);
      },
      readSettledPublicStatus,
      readInputFile,
      [] { return std::chrono::system_clock::now(); },
      localTimeString,
      [](std::ostream& err) {
        return nubrik::launchDesktop(err, DesktopLaunchDependencies::production());
      },
  };
}

int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   const CommandLineDependencies& dependencies) {
  try {
    return dispatch(arguments, out, err, dependencies);
  } catch (const std::exception& error) {
    // Only the machinery fails this way (no event loop, no memory): the request never went out.
    err << "error: " << error.what() << "\n";
    return tamselExitUnavailable;
  }
}

std::string tamselUsage() {
  return R"(Usage: tamsel [COMMAND [ARGUMENTS]]

Takes this computer offline for a chosen time. The com.nubrik.helper service does the work;
tamsel asks it over the system bus and reads the status it publishes.

Commands:
  gui                  Open the desktop app. This is what tamsel does without a command.
  health               Check that the helper is running and speaks this version's protocol.
  status [--json]      Show whether an offline session is running and how long it lasts.
                       --json prints the published status as JSON instead.
  start DURATION       Start an offline session. DURATION is 5 minutes to 24 hours, written as
                       minutes (90), hours:minutes (1:30), or with the units h and m (1h30m,
                       1h 30, 45m). A session cannot be stopped; see unlock.
  unlock               Request an early unlock: the network is restored after a 15-minute
                       cooldown unless the request is cancelled.
  cancel-unlock        Cancel a pending early unlock. The session continues.
  schedules            Print the saved weekly schedules as a JSON array.
  schedules set FILE   Replace the weekly schedules with the JSON array in FILE (- reads standard
                       input). Each schedule is an object with "id" (text), "weekdays" (1 =
                       Sunday ... 7 = Saturday), "startMinute" (minutes after midnight, 0-1439),
                       "durationMinutes" (5-1440) and "isEnabled" (true or false); at most 20.
  help, --help, -h     Show this help.

Exit status:
  0  success
  1  the helper refused the request (its reason is printed on standard error)
  2  usage error: unknown command, invalid duration, unreadable or malformed schedules file
  3  the helper is unavailable (not installed, not running, not trusted, or no answer within
     15 seconds), or the published status cannot be read
  4  the desktop app could not be started
)";
}

}  // namespace nubrik
