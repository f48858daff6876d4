#include "app/helper_setup_actions.hpp"

namespace nubrik {

std::ostream& operator<<(std::ostream& out, HelperSetupAction action) {
  switch (action) {
    case HelperSetupAction::install:
      return out << "install";
    case HelperSetupAction::tryAgain:
      return out << "tryAgain";
    case HelperSetupAction::update:
      return out << "update";
    case HelperSetupAction::repair:
      return out << "repair";
    case HelperSetupAction::openLoginItems:
      return out << "openLoginItems";
    case HelperSetupAction::checkAgain:
      return out << "checkAgain";
    case HelperSetupAction::done:
      return out << "done";
  }
  return out << "unknown";
}

std::ostream& operator<<(std::ostream& out, const HelperSetupActionButton& button) {
  return out << button.action << " \"" << button.title << "\""
             << (button.enabled ? "" : " (disabled)");
}

std::vector<HelperSetupActionButton> helperSetupActions(const HelperSetupState& state,
                                                        bool isWorking, const GuiStatus& status,
                                                        Date now) {
  using Kind = HelperSetupState::Kind;
  using Action = HelperSetupAction;
  // The controller does not change the state while an operation works, so the state names the
  // operation: install from notInstalled or registrationFailed, update from helperUpdateAvailable,
  // repair from healthCheckFailed.
  const auto operation = [isWorking](Action action, const char* title, const char* working) {
    return HelperSetupActionButton{action, isWorking ? working : title, !isWorking};
  };
  const HelperSetupActionButton checkAgain{Action::checkAgain, "Check Again", !isWorking};

  switch (state.kind) {
    case Kind::notInstalled:
      return {operation(Action::install, "Install Helper", "Installing…")};
    case Kind::registrationFailed:
      return {operation(Action::tryAgain, "Try Again", "Installing…")};
    case Kind::approvalRequired:
      return {{Action::openLoginItems, "Open Login Items", !isWorking}, checkAgain};
    case Kind::helperUpdateAvailable:
      return {operation(Action::update, "Update Helper", "Updating…"), checkAgain};
    case Kind::healthCheckFailed:
      if (isWorking || helperRepairIsAllowed(state, status, now)) {
        return {operation(Action::repair, "Repair Helper", "Repairing…"), checkAgain};
      }
      return {checkAgain};
    case Kind::versionIncompatible:
    case Kind::appUpdateRequired:
      return {checkAgain};
    case Kind::installedReady:
      return {{Action::done, "Done", true}};
  }
  return {checkAgain};
}

}  // namespace nubrik
