#include "app/onboarding.hpp"

#include <cstdint>

#include "core/session.hpp"

namespace nubrik {

std::vector<OnboardingPoint> onboardingPoints() {
  const auto cooldownMinutes = static_cast<std::int64_t>(nubrikEarlyUnlockCooldownSeconds) / 60;
  return {
      {"timer", "Choose a duration",
       "Pick how long your computer stays offline, from 5 minutes to 24 hours."},
      {"lock", "No instant cancel",
       "Once a session starts you cannot end it right away. That is the point."},
      {"hourglass", "Early unlock",
       "If you truly must leave early, request an early unlock. Your computer stays offline for " +
           std::to_string(cooldownMinutes) +
           " more minutes first, and you can cancel the request until the countdown ends."},
      {"arrow.clockwise.circle", "Automatic return",
       "Internet access comes back by itself when the timer ends, even if you quit the app."},
  };
}

bool shouldShowOnboarding(bool seen, const GuiStatus& status) {
  return !seen && !status.isConfirmedActive();
}

}  // namespace nubrik
