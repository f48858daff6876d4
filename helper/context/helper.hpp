#pragma once

#include <systemd/sd-event.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "core/calendar.hpp"
#include "core/date.hpp"
#include "core/paths.hpp"
#include "core/posix_file.hpp"
#include "core/state_paths.hpp"
#include "helper/log/log.hpp"
#include "helper/log/repeat_summary.hpp"
#include "helper/net/network_switches.hpp"
#include "helper/transaction/helper_transaction.hpp"

namespace nubrik {

// Receives the daemon's user notifications; the bus service installs one that emits them as a
// signal for the desktop application to show.
using NotificationSink = std::function<void(const std::string& title, const std::string& message)>;

// What the last tick found, for the changes that come between ticks.
struct TickFinding {
  enum class State {
    unknown,    // no tick yet, a tick that could not run, or a change made since
    idle,       // nothing stored: nothing to enforce
    enforcing,  // a session enforced
  };
  State state = State::unknown;
  // While enforcing: the stored record the tick judged, and when the session ends on the wall
  // clock. A change between ticks is acted on directly only while the record is the same and the
  // session has not ended.
  std::optional<FileStamp> record;
  Date until{};
};

// What a helper is made of; every part left empty is the production one.
struct HelperParts {
  std::unique_ptr<NetworkSwitches> network = nullptr;
  // Where log lines go instead of the log file; lines handed here are neither summed up nor
  // bounded.
  LogOperation log = nullptr;
  std::string logFile = NubrikPaths::logFile;
  std::optional<StatePaths> paths = std::nullopt;
  Clock clock = nullptr;                               // the wall clock
  std::shared_ptr<const Calendar> calendar = nullptr;  // the system's, following its zone
};

// The helper process's resources, made once in main and handed to everything that needs them:
// the one network backend (its kernel socket and bus connection live as long as the process),
// the state files and the one transaction runner over them, the clock and calendar, the log, the
// lifecycle, where notifications go, and how to ask the running loop for a tick.
class Helper {
 public:
  using LogOperation = nubrik::LogOperation;

  explicit Helper(HelperParts parts = {});
  // Writes the counts of repeated log lines not yet written.
  ~Helper();
  Helper(const Helper&) = delete;
  Helper& operator=(const Helper&) = delete;

  NetworkSwitches& network() { return *network_; }
  const StatePaths& paths() const { return transactions_.paths(); }
  const Clock& clock() const { return clock_; }
  Date now() const { return clock_(); }
  const std::shared_ptr<const Calendar>& calendar() const { return calendar_; }

  TransactionRunner& transactions() { return transactions_; }
  // The transaction running now, for the operations that coordinators are built with; throws
  // outside a transaction, so that no state file is touched without one.
  Transaction& transaction() { return transactions_.current(); }
  SessionStore& sessions() { return transaction().sessions(); }
  const ScheduleStore& schedules() { return transaction().schedules(); }

  // Writes one log line; never fails visibly. The log file is bounded (appendLogLine).
  void log(const std::string& message) const;
  // The same for the lines of a correction, which something outside can make happen thousands of
  // times (a link that keeps coming back): in the log file, a line repeated within a short window
  // is written once and then counted (RepeatSummary).
  void logCorrection(const std::string& message) const;
  LogOperation correctionLogOperation() const;
  // Writes the counts of repeat bursts whose window has passed; the daemon calls it every tick.
  void closeEndedLogBursts() const;
  // The same as an operation for the coordinators; valid as long as the helper.
  LogOperation logOperation() const;

  // Once a restart for an update has been accepted the process is about to exit, so no new
  // session may start in it; the flag never goes back.
  bool isRestarting() const;
  void markRestarting();

  // Replaces where notifications go; an empty sink drops them.
  void setNotificationSink(NotificationSink sink);
  // Hands a user notification to the sink. Never fails visibly: with no sink, or when the sink
  // fails, the notification is dropped.
  void notify(const std::string& title, const std::string& message) const;

  // The running loop, while there is one; set and cleared by the daemon.
  void attachLoop(sd_event* event, std::function<void()> requestTick);
  void detachLoop();
  sd_event* event() const { return event_; }
  // Asks the running loop for a tick on its next iteration, so that a change made outside a tick
  // (a bus request) is enforced at once; until it runs, what the last tick found no longer holds.
  // Does nothing else without a loop. Loop thread only.
  void requestTick();

  // What the last tick found; set by the tick, read by the loop between ticks. Loop thread only.
  const TickFinding& tickFinding() const { return finding_; }
  void noteTickFinding(TickFinding finding) { finding_ = std::move(finding); }

 private:
  std::unique_ptr<NetworkSwitches> network_;
  LogOperation log_;
  std::string logFile_;
  // Guards the summary and keeps the log's lines in the order they were admitted.
  mutable std::mutex logMutex_;
  mutable RepeatSummary repeats_;
  Clock clock_;
  std::shared_ptr<const Calendar> calendar_;
  TransactionRunner transactions_;

  // Bus handlers and the tick may ask at the same moment as a restart is accepted; one lock makes
  // them all see the same answer. Notifications come from ticks and bus requests alike.
  mutable std::mutex mutex_;
  bool restarting_ = false;
  std::shared_ptr<const NotificationSink> sink_;

  sd_event* event_ = nullptr;
  std::function<void()> requestTick_;
  TickFinding finding_;
};

}  // namespace nubrik
