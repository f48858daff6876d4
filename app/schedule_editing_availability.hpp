#pragma once

#include "app/helper_setup_state.hpp"

namespace nubrik {

// Schedules are read from and saved to the helper, so the sheet offers them only while the helper
// is installed and ready; otherwise it shows a note in place of the list.
inline bool scheduleEditingIsAvailable(const HelperSetupState& setup) {
  return setup.kind == HelperSetupState::Kind::installedReady;
}

}  // namespace nubrik
