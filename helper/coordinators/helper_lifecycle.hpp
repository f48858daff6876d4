#pragma once

namespace nubrik {

// Process-wide lifecycle of the daemon. Once a restart for an update has been accepted the
// process is about to exit, so no new session may start in it; the flag never goes back.
class HelperLifecycle {
 public:
  static bool isRestarting();
  static void markRestarting();

  static void resetForTest();
};

}  // namespace nubrik
