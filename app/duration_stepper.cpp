#include "app/duration_stepper.hpp"

#include "app/duration.hpp"

namespace nubrik {

int DurationStepper::stepsForStreak(int streak) {
  if (streak < 9) return 1;
  if (streak < 21) return 2;
  return 4;
}

int DurationStepper::press(int minutes, bool increase, Date now) {
  // A clock that stepped back counts as a quick press, like any other short interval.
  const bool quick = lastPress_ && secondsBetween(*lastPress_, now) < quickPressSeconds;
  if (quick) {
    if (streak_ < 21) ++streak_;  // beyond 21 the steps no longer grow
  } else {
    streak_ = 0;
  }
  lastPress_ = now;
  int result = minutes;
  for (int step = stepsForStreak(streak_); step > 0; --step) {
    result = steppedDuration(result, increase);
  }
  return result;
}

}  // namespace nubrik
