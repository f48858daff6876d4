#include "helper/coordinators/helper_lifecycle.hpp"

#include <mutex>

namespace nubrik {

namespace {

// Bus handlers and the tick may ask at the same moment as a restart is accepted; one lock makes
// them all see the same answer.
std::mutex lifecycleMutex;
bool restarting = false;

}  // namespace

bool HelperLifecycle::isRestarting() {
  std::lock_guard<std::mutex> guard(lifecycleMutex);
  return restarting;
}

void HelperLifecycle::markRestarting() {
  std::lock_guard<std::mutex> guard(lifecycleMutex);
  restarting = true;
}

void HelperLifecycle::resetForTest() {
  std::lock_guard<std::mutex> guard(lifecycleMutex);
  restarting = false;
}

}  // namespace nubrik
