#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "app/schedule_outcomes.hpp"
#include "core/date.hpp"
#include "core/public_status.hpp"
#include "core/recurring_schedule.hpp"
#include "core/xpc_result_codes.hpp"

namespace nubrik {

class BlockingSessionClient;

// Exit statuses of `tamsel`.
inline constexpr int tamselExitSuccess = 0;
// The helper refused the request; its message went to standard error.
inline constexpr int tamselExitRefused = 1;
inline constexpr int tamselExitUsage = 2;
// The helper could not be reached or trusted, or did not answer in time; or the status is
// unavailable.
inline constexpr int tamselExitUnavailable = 3;
// The desktop app could not be started.
inline constexpr int tamselExitDesktopUnavailable = 4;

// What the command line needs of the world. Each request operation blocks until its outcome.
struct CommandLineDependencies {
  std::function<HealthProbeResult()> probeHealth;
  std::function<XPCStartOutcome(double durationSeconds)> requestStart;
  std::function<EarlyUnlockOutcome()> requestEarlyUnlock;
  std::function<EarlyUnlockOutcome()> cancelEarlyUnlock;
  std::function<ScheduleLoadOutcome()> fetchSchedules;
  std::function<ScheduleSaveOutcome(const std::vector<RecurringSchedule>& schedules)> saveSchedules;
  std::function<PublicStatusResult()> readStatus;
  // The whole content of a file, or of standard input for "-"; throws std::runtime_error saying
  // why it cannot be read.
  std::function<std::string(const std::string& path)> readInput;
  std::function<Date()> now;
  // A time of day in the local time zone, like "16:05".
  std::function<std::string(Date date)> timeString;
  // Replaces the process with the desktop app; returns only when it cannot, with the exit status,
  // having said why on err.
  std::function<int(std::ostream& err)> launchDesktop;

  // The helper over the system bus (one client made on first use), the public status files, the
  // file system, the wall clock, the local time zone and the desktop app behind its bus broker.
  static CommandLineDependencies production();
  // The same, with the requests going through the client that `client` returns.
  static CommandLineDependencies withClient(std::function<BlockingSessionClient&()> client);
};

// The largest schedules file `tamsel schedules set` reads.
inline constexpr std::size_t tamselMaxInputBytes = 1 << 20;

// Runs `tamsel` with its arguments (without the program name); returns the exit status. Never
// throws.
int runCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   const CommandLineDependencies& dependencies);

// The text of `tamsel --help`.
std::string tamselUsage();

}  // namespace nubrik
