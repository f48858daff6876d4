#include "app/login_item.hpp"

#include <algorithm>
#include <exception>

namespace nubrik {

std::string_view describe(LoginItemAction action) {
  switch (action) {
    case LoginItemAction::none:
      return "none";
    case LoginItemAction::registerItem:
      return "register";
    case LoginItemAction::unregisterItem:
      return "unregister";
  }
  return "none";
}

std::ostream& operator<<(std::ostream& out, LoginItemAction action) {
  return out << describe(action);
}

bool loginItemIsWanted(const std::vector<RecurringSchedule>& schedules) {
  return std::any_of(schedules.begin(), schedules.end(),
                     [](const RecurringSchedule& schedule) { return schedule.isEnabled; });
}

LoginItemAction loginItemAction(bool wanted, RegistrationStatus status) {
  if (wanted &&
      (status == RegistrationStatus::notRegistered || status == RegistrationStatus::notFound)) {
    return LoginItemAction::registerItem;
  }
  if (!wanted && status == RegistrationStatus::enabled) return LoginItemAction::unregisterItem;
  return LoginItemAction::none;
}

LoginItemAction applyLoginItem(const std::vector<RecurringSchedule>& schedules,
                               const LoginItemDependencies& dependencies) {
  const LoginItemAction action =
      loginItemAction(loginItemIsWanted(schedules), dependencies.status());
  try {
    switch (action) {
      case LoginItemAction::registerItem:
        dependencies.registerItem();
        break;
      case LoginItemAction::unregisterItem:
        dependencies.unregisterItem();
        break;
      case LoginItemAction::none:
        break;
    }
  } catch (const std::exception&) {
    // Left as it was; the next synchronisation tries again.
  }
  return action;
}

}  // namespace nubrik
