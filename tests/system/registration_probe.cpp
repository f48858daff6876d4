// Registers, unregisters and reports the helper's service exactly as the app's setup does, over
// systemd's bus API with polkit deciding. Copied into the system tests' container and run there
// as an ordinary user.
//
//   nubrik-system-registration-probe status       prints the registration status
//   nubrik-system-registration-probe register     registers; on failure prints the app's message
//   nubrik-system-registration-probe unregister   the same for unregistering
//
// Exit status 0 on success, 1 when the request failed (the message on standard output), 2 on
// usage errors.

#include <iostream>
#include <optional>
#include <string_view>

#include "app/helper_setup_systemd.hpp"
#include "app/systemd_units.hpp"

namespace {

int report(const std::optional<nubrik::HelperRegistrationError>& error) {
  if (!error) {
    std::cout << "ok\n";
    return 0;
  }
  std::cout << error->message << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " status|register|unregister\n";
    return 2;
  }
  const std::string_view command = argv[1];
  const nubrik::SystemdUnits units = nubrik::systemdBusUnits({});
  if (command == "status") {
    std::cout << nubrik::describe(nubrik::helperServiceStatus(units)) << "\n";
    return 0;
  }
  if (command == "register") return report(nubrik::registerHelperService(units));
  if (command == "unregister") return report(nubrik::unregisterHelperService(units));
  std::cerr << "usage: " << argv[0] << " status|register|unregister\n";
  return 2;
}
