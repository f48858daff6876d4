#pragma once

#include <functional>
#include <string>

#include "app/gui_status.hpp"
#include "app/helper_setup.hpp"
#include "app/main_queue.hpp"
#include "app/session_client.hpp"
#include "app/systemd_units.hpp"

namespace nubrik {

struct HelperSetupProductionOptions {
  // The helper's system service.
  std::string unitName;
  // Where a hand-installed helper's unit would be.
  std::string developerUnitPath;
  // Where systemd is asked; the stop descriptor is the worker's own.
  SystemdBusOptions bus;

  // The helper's service on the system bus, the developer unit at its fixed path.
  static HelperSetupProductionOptions standard();
};

// The real operations: registration through systemd's manager on a worker thread of their own
// (one request at a time, answers on the main queue), the helper's health and restart through
// the session client, delays on the main queue, and the public status as the caller reads it.
// The worker stops (abandoning a request still waiting) when the last copy of the record goes;
// mainQueue must outlive it.
HelperSetupDependencies productionHelperSetupDependencies(
    MainQueue& mainQueue, SessionClient client, std::function<GuiStatus()> publicStatus,
    HelperSetupProductionOptions options = HelperSetupProductionOptions::standard());

}  // namespace nubrik
