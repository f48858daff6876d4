#pragma once

#include <functional>
#include <ostream>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "app/helper_setup_state.hpp"
#include "core/recurring_schedule.hpp"

namespace nubrik {

// What the app's start at login needs: added, removed, or left as it is.
enum class LoginItemAction { none, registerItem, unregisterItem };

std::string_view describe(LoginItemAction action);
std::ostream& operator<<(std::ostream& out, LoginItemAction action);

// A change of the app's start at login that did not happen.
class LoginItemError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The app's own start at login. registerItem and unregisterItem throw LoginItemError.
struct LoginItemDependencies {
  std::function<RegistrationStatus()> status;
  std::function<void()> registerItem;
  std::function<void()> unregisterItem;
};

// The app must start at login while any schedule is enabled, or a schedule could not begin.
bool loginItemIsWanted(const std::vector<RecurringSchedule>& schedules);

// Wanted and not registered (or not found) -> registerItem; not wanted and enabled ->
// unregisterItem; anything else, including an item waiting for the user's approval, -> none.
LoginItemAction loginItemAction(bool wanted, RegistrationStatus status);

// Brings the start at login in line with the schedules and returns what it did. A failed change
// is ignored: the next synchronisation tries again.
LoginItemAction applyLoginItem(const std::vector<RecurringSchedule>& schedules,
                               const LoginItemDependencies& dependencies);

}  // namespace nubrik
