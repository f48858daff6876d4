#pragma once

#include <optional>

#include "core/date.hpp"

namespace nubrik {

// The main window's minus and plus buttons: a run of quick presses moves the duration faster, so
// that a day is a few seconds of holding away rather than hundreds of clicks.
class DurationStepper {
 public:
  // Presses closer together than this continue a run.
  static constexpr double quickPressSeconds = 0.3;

  // Records a press at `now` and returns `minutes` moved by this press's number of 5-minute steps,
  // each step kept within the session bounds.
  int press(int minutes, bool increase, Date now);

  // The number of 5-minute steps a press makes after `streak` quick presses before it.
  static int stepsForStreak(int streak);

 private:
  std::optional<Date> lastPress_;
  int streak_ = 0;
};

}  // namespace nubrik
