#pragma once

#include <functional>
#include <string>

namespace nubrik {

class Helper;

// How a restore reports its outcome: the published status and the log.
struct RecoveryReporting {
  std::function<void()> publishIdle;
  std::function<void()> publishPending;
  std::function<void(const std::string&)> log;

  // The store's idle and pending publications and the helper's log.
  static RecoveryReporting production(Helper& helper);
};

}  // namespace nubrik
