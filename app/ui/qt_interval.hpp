#pragma once

namespace nubrik {

// A delay in seconds as the whole milliseconds a Qt timer takes: rounded up, so that a timer
// never fires before the delay has passed, and held within what the timer can count.
int qtTimerMilliseconds(double seconds);

}  // namespace nubrik
