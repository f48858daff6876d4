#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "app/gui_status.hpp"
#include "app/helper_setup_state.hpp"
#include "core/date.hpp"

namespace nubrik {

// What a button of the helper-setup sheet does: install, update and repair run the controller's
// operations of those names (tryAgain installs once more), checkAgain refreshes, openLoginItems
// shows where the user allows services, done closes the sheet.
enum class HelperSetupAction {
  install,
  tryAgain,
  update,
  repair,
  openLoginItems,
  checkAgain,
  done
};

std::ostream& operator<<(std::ostream& out, HelperSetupAction action);

struct HelperSetupActionButton {
  HelperSetupAction action;
  std::string title;
  bool enabled = true;

  bool operator==(const HelperSetupActionButton&) const = default;
};

std::ostream& operator<<(std::ostream& out, const HelperSetupActionButton& button);

// The action buttons the sheet offers for `state`, in order, the first the main one. While an
// operation is working its button reads "Installing…", "Updating…" or "Repairing…" and no action
// can be pressed (the controller would ignore it). Repair is offered only while
// helperRepairIsAllowed holds for `status`, read at `now`, or while it is the operation working.
std::vector<HelperSetupActionButton> helperSetupActions(const HelperSetupState& state,
                                                        bool isWorking, const GuiStatus& status,
                                                        Date now);

}  // namespace nubrik
