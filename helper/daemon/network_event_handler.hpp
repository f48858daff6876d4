#pragma once

#include <functional>
#include <string>

#include "helper/context/helper.hpp"
#include "helper/coordinators/enforcement_coordinator.hpp"
#include "helper/daemon/change_source.hpp"

namespace nubrik {

struct NetworkEventDependencies {
  // What the last tick found.
  std::function<TickFinding()> finding;
  // The stored record's stamp now (none while nothing is stored), and the wall clock.
  std::function<std::optional<FileStamp>()> sessionStamp;
  std::function<Date()> now;
  // Runs the body under the helper's state lock; false when the lock cannot be had now.
  std::function<bool(const std::function<void()>& body)> runLocked;
  // Brings down the links given as up, logging as the enforcement pass does.
  std::function<EnforcementOutcome(const SwitchReadings& links)> enforceLinks;
  std::function<void(const std::string&)> log;
  std::function<void()> requestTick;

  static NetworkEventDependencies production(Helper& helper, std::function<void()> requestTick);
};

// What the daemon does about a change between ticks. While a session is enforced, a link the
// kernel announces as up is brought down at once, from the announcement alone; the full pass is
// left to the timer and to what the announcements cannot tell (lost messages, a radio switched
// on, a stored record that changed). The daemon's own changes (links going down) cost nothing,
// and while nothing is stored, nothing is done at all.
class NetworkEventHandler {
 public:
  explicit NetworkEventHandler(NetworkEventDependencies dependencies);
  void handle(const ChangeBatch& batch) const;

 private:
  NetworkEventDependencies dependencies_;
};

}  // namespace nubrik
