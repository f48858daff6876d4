#pragma once

#include <functional>
#include <memory>

#include "app/repeating_timer.hpp"

namespace nubrik {

// A repeating timer on the Qt event loop of the thread that makes it (the GUI thread, where it
// must also be cancelled and destroyed). A firing may cancel or destroy its own timer.
std::unique_ptr<RepeatingTimer> qtRepeatingTimer(double interval, std::function<void()> fire);

// The factory of qtRepeatingTimer, for the logic that takes a RepeatingTimerFactory.
RepeatingTimerFactory qtRepeatingTimers();

}  // namespace nubrik
