#include <sysexits.h>

#include <clocale>
#include <exception>
#include <iostream>
#include <memory>

#include "helper/cli/arguments.hpp"
#include "helper/cli/commands.hpp"
#include "helper/daemon/daemon.hpp"
#include "helper/service/helper_xpc_service.hpp"
#include "helper/service/notification_signal.hpp"

namespace {

// Made before the arguments are looked at and kept for the life of the process; only the daemon
// mode starts it.
std::unique_ptr<nubrik::HelperXPCListenerOwner> listenerOwner;

void startListener(sd_event* event) {
  try {
    listenerOwner->start(event);
  } catch (const std::exception& error) {
    // Without the bus the app cannot reach the daemon, but the session on disk is still
    // enforced and restored by the ticks, so the daemon goes on.
    std::cerr << "xpc: listener could not start: " << error.what() << "\n";
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Only the time style follows the user's locale; numbers keep the C grammar.
  std::setlocale(LC_TIME, "");
  try {
    listenerOwner = nubrik::HelperXPCService::productionOwner();
    // The commands' notifications go out on a connection of their own; the daemon's listener,
    // once started, sends them on its bus connection instead.
    nubrik::setNotificationSink(nubrik::systemBusNotificationSink());
    const int status =
        nubrik::execute(nubrik::parseArguments(argc, argv), nubrik::CommandContext::standard(),
                        [] { return nubrik::runDaemon(startListener); });
    // Released while the notification sink it installed can still be removed.
    listenerOwner.reset();
    return status;
  } catch (...) {
    return EX_SOFTWARE;
  }
}
