#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/gui_status.hpp"

namespace nubrik {

// Where the app remembers that the person has seen how it works.
inline constexpr std::string_view nubrikOnboardingSeenKey = "nubrik.onboardingSeen.v1";

// One point of the "How Tamsel works" sheet.
struct OnboardingPoint {
  std::string symbolName;
  std::string title;
  std::string body;

  bool operator==(const OnboardingPoint&) const = default;
};

// The four points, in the order shown.
std::vector<OnboardingPoint> onboardingPoints();

// The one run-time flag of the app's own: whether the onboarding sheet has been dismissed.
class OnboardingStore {
 public:
  virtual ~OnboardingStore() = default;
  virtual bool hasSeenOnboarding() const = 0;
  virtual void markOnboardingSeen() = 0;
};

// Whether the onboarding sheet opens by itself: never once seen, and never over a session
// confirmed running, not even on the first launch (it waits for a later reading).
bool shouldShowOnboarding(bool seen, const GuiStatus& status);

}  // namespace nubrik
