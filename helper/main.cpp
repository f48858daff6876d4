#include <sysexits.h>

#include <clocale>
#include <exception>
#include <iostream>
#include <memory>

#include "helper/cli/arguments.hpp"
#include "helper/cli/commands.hpp"
#include "helper/context/helper.hpp"
#include "helper/daemon/daemon.hpp"
#include "helper/service/helper_xpc_service.hpp"
#include "helper/service/notification_signal.hpp"

namespace {

// The daemon mode: the loop, with the bus service attached after the first tick for as long as
// the loop runs.
int runDaemonWithListener(nubrik::Helper& helper) {
  const std::unique_ptr<nubrik::HelperXPCListenerOwner> listener =
      nubrik::HelperXPCService::productionOwner(helper);
  return nubrik::runDaemon(helper, [&](sd_event* event) {
    try {
      listener->start(event);
    } catch (const std::exception& error) {
      // Without the bus the app cannot reach the daemon, but the session on disk is still
      // enforced and restored by the ticks, so the daemon goes on.
      std::cerr << "xpc: listener could not start: " << error.what() << "\n";
    }
  });
}

}  // namespace

int main(int argc, char** argv) {
  // Only the time style follows the user's locale; numbers keep the C grammar.
  std::setlocale(LC_TIME, "");
  try {
    nubrik::Helper helper;
    // The commands' notifications go out on a connection of their own; the daemon's listener,
    // once started, sends them on its bus connection instead.
    helper.setNotificationSink(nubrik::systemBusNotificationSink());
    return nubrik::execute(nubrik::parseArguments(argc, argv), nubrik::CommandContext::standard(),
                           helper, [&helper] { return runDaemonWithListener(helper); });
  } catch (...) {
    return EX_SOFTWARE;
  }
}
